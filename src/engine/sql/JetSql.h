#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corv::jetsql {

enum class StatementKind {
    Select,      // SELECT without INTO
    SelectInto,  // SELECT ... INTO [new] ...
    Insert,      // INSERT INTO ... VALUES / SELECT
    Update,
    Delete,  // DELETE * FROM t, DELETE [col] FROM t WHERE ...
    CreateTable,
    DropTable,
    AlterTable,
    CreateIndex,
    DropIndex,
};

// What the schema looks like, for the parts of Jet SQL that need it (SELECT * expanded by column name in
// INSERT ... SELECT *). schema is "main" or an attachment alias. Returns nullopt for an unknown table.
using ColumnLookup = std::function<std::optional<std::vector<std::string>>(const std::string& schema,
                                                                           const std::string& table)>;
// Gives the schema alias under which an external file named with IN "path" is reachable.
using AttachResolver = std::function<std::string(const std::string& path)>;
// Runs an SQLite SELECT and gives its rows, each cell as text or nullopt for Null.
using RowReader = std::function<std::vector<std::vector<std::optional<std::string>>>(const std::string& sql)>;

struct Context {
    AttachResolver attach;  // required when the text names IN "path"
    ColumnLookup columns;   // optional
    RowReader rows;  // a TRANSFORM without IN takes its columns from the data; without this it has none
};

struct Translation {
    StatementKind kind = StatementKind::Select;
    // SQLite SQL, one statement, no trailing semicolon. For SelectInto: the SELECT alone (without INTO), so
    // the caller can read its column types and create the new table with them.
    std::string sql;
    std::string intoTable;                  // SelectInto: the new table's name, unbracketed
    std::string intoSchema = "main";        // SelectInto: schema alias of the new table
    std::string targetTable;                // the table written or dropped (Insert, Update, Delete, Drop,
                                            // Create, Alter), unbracketed
    std::string targetSchema = "main";      // its schema alias
    std::vector<std::string> sourceTables;  // tables read from the main schema, unbracketed, in order of
                                            // first appearance
    // TRANSFORM: its pivot columns start at pivotFirst. pivotTypeSql, when set, selects the column its
    // aggregate reads: Min, Max, First and Last keep that column's type, Sum and Avg only a Currency.
    int pivotFirst = -1;
    std::string pivotTypeSql;
    bool pivotTypeMoneyOnly = false;
};

// Translates one Jet SQL statement into SQLite SQL. A trailing ";" is allowed; any text after it, or a
// second statement, is refused. Syntax errors throw CorvError 3075 naming the offending token.
Translation Translate(std::string_view jet, const Context& ctx = {});

// A Jet condition (a record set's Filter) as an SQLite expression.
std::string TranslateCondition(std::string_view jetCondition);
// A Jet ORDER BY list (a record set's Sort) as an SQLite ORDER BY list, with case-insensitive text order.
std::string TranslateOrderList(std::string_view jetOrder);

// Quotes a name as an SQLite identifier: "a ""b""".
std::string QuoteIdentifier(std::string_view name);

}  // namespace corv::jetsql
