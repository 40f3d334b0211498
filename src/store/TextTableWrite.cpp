// Writing a text table into the auction: created, filled and registered in one transaction on the writer.

#include <sqlite3.h>

#include <set>
#include <utility>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Value.h"
#include "engine/functions/JetFunctions.h"
#include "store/Auction.h"
#include "store/TextRecords.h"
#include "store/TextTableImport.h"

namespace corv::store {

namespace {

using namespace text;

constexpr std::size_t kRowsPerStep = 16384;

std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

FieldType FieldTypeOf(ColumnType type) {
    switch (type) {
        case ColumnType::WholeNumber:
            return FieldType::Long;
        case ColumnType::Number:
            return FieldType::Double;
        case ColumnType::Date:
            return FieldType::DateTime;
        case ColumnType::Text:
            break;
    }
    return FieldType::Text;
}

// The insert of one row at a time, prepared once.
class RowInsert {
  public:
    RowInsert(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) Fail();
    }
    ~RowInsert() { sqlite3_finalize(stmt_); }
    RowInsert(const RowInsert&) = delete;
    RowInsert& operator=(const RowInsert&) = delete;

    // A cell that does not read as its column's type goes in as the text it is.
    void Run(const std::vector<std::string>& cells, const std::vector<TextColumn>& columns) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const int at = static_cast<int>(c) + 1;
            const std::string& cell = cells[c];
            if (Trimmed(cell).empty() && columns[c].type != ColumnType::Text) {
                sqlite3_bind_null(stmt_, at);
                continue;
            }
            bool bound = false;
            if (columns[c].type == ColumnType::WholeNumber) {
                if (const auto v = WholeValue(cell)) bound = sqlite3_bind_int64(stmt_, at, *v) == SQLITE_OK;
            } else if (columns[c].type == ColumnType::Number) {
                if (const auto v = NumberValue(cell)) bound = sqlite3_bind_double(stmt_, at, *v) == SQLITE_OK;
            } else if (columns[c].type == ColumnType::Date) {
                if (const auto v = DateValue(cell))
                    bound = sqlite3_bind_text(stmt_, at, v->data(), static_cast<int>(v->size()),
                                              SQLITE_TRANSIENT) == SQLITE_OK;
            }
            if (!bound && cell.empty()) {
                sqlite3_bind_null(stmt_, at);
            } else if (!bound) {
                sqlite3_bind_text(stmt_, at, cell.data(), static_cast<int>(cell.size()), SQLITE_STATIC);
            }
        }
        if (sqlite3_step(stmt_) != SQLITE_DONE) Fail();
        sqlite3_reset(stmt_);
    }

  private:
    [[noreturn]] void Fail() { throw CorvError(err::EngineFailure, sqlite3_errmsg(db_)); }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void CheckColumns(const std::vector<TextColumn>& columns) {
    if (columns.empty()) throw CorvError(kTextFileEmpty, "The text holds no columns.");
    std::set<std::string> seen;
    for (const TextColumn& c : columns) {
        if (c.name.empty() || c.name != CleanColumnName(c.name))
            throw CorvError(err::InvalidName,
                            "'" + c.name +
                                "' cannot name a column: it must not be empty, begin or end "
                                "with a blank, or hold [ ] . ! ` or \".");
        if (!seen.insert(JetLowerText(c.name)).second)
            throw CorvError(err::InvalidName, "Two columns are named '" + c.name + "'.");
    }
}

void CheckTableName(Auction& auction, const std::string& name, bool replace) {
    if (name.empty() || name != CleanColumnName(name))
        throw CorvError(err::InvalidName, "'" + name +
                                              "' cannot name a table: it must not be empty, begin or end "
                                              "with a blank, or hold [ ] . ! ` or \".");
    switch (StatusOfTableName(auction, name)) {
        case TableNameStatus::Reserved:
            throw CorvError(kTableNameReserved, "The table '" + name +
                                                    "' comes with the round results files or belongs to the "
                                                    "program: it is never replaced. Choose another name.");
        case TableNameStatus::Exists:
            if (!replace) throw CorvError(err::TableExists, "The table '" + name + "' already exists.");
            break;
        case TableNameStatus::Free:
            break;
    }
}

}  // namespace

TableNameStatus StatusOfTableName(Auction& auction, const std::string& name) {
    if (IsProgramOwnTable(name)) return TableNameStatus::Reserved;
    const std::string folded = JetLowerText(name);
    for (const std::string& supplied : auction.SuppliedTables())
        if (JetLowerText(supplied) == folded) return TableNameStatus::Reserved;
    for (const TableDef& t : auction.Data().TableDefs())
        if (JetLowerText(t.Name) == folded) return TableNameStatus::Exists;
    return TableNameStatus::Free;
}

std::size_t WriteTextTable(Auction& auction, std::string_view text, const TextFormat& format,
                           const TextTableRequest& request, const TextProgress& progress) {
    if (auction.ReadOnly())
        throw CorvError(err::ReadOnlyDatabase,
                        "The auction database is in the Jet format and takes no tables: convert it first.");
    CheckColumns(request.columns);
    Database& db = auction.Data();
    db.BeginTrans();
    std::size_t written = 0;
    try {
        // Checked inside the transaction: no other program can take the name meanwhile.
        CheckTableName(auction, request.table, request.replace);
        if (StatusOfTableName(auction, request.table) == TableNameStatus::Exists) {
            db.Execute("DROP TABLE " + SqlName(request.table));
            db.Execute("DELETE [TableName] FROM [sysTables] WHERE [TableName] = " + SqlText(request.table));
        }
        std::string create = "CREATE TABLE " + Quoted(request.table) + " (";
        std::string insert = "INSERT INTO " + Quoted(request.table) + " VALUES (";
        for (std::size_t c = 0; c < request.columns.size(); ++c) {
            create += (c ? ", " : "") + Quoted(request.columns[c].name) + " " +
                      std::string(DeclaredType(FieldTypeOf(request.columns[c].type)));
            insert += c ? ", ?" : "?";
        }
        if (sqlite3_exec(db.Handle(), (create + ")").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw CorvError(err::EngineFailure, sqlite3_errmsg(db.Handle()));
        {
            RowInsert row(db.Handle(), insert + ")");
            RecordReader reader(text, format.delimiter);
            TextRecord record;
            bool first = true;
            std::size_t seen = 0;
            while (reader.Next(record)) {
                if (++seen % kRowsPerStep == 0 && progress && !progress(reader.Fraction()))
                    throw CorvError(err::Cancelled, "The import was cancelled; the auction is as it was.");
                if (std::exchange(first, false) && format.header) continue;
                if (record.fields.size() != request.columns.size()) {
                    if (request.skipRaggedRows) continue;
                    throw CorvError(kTextRowsRagged, "Line " + std::to_string(record.line) + " holds " +
                                                         std::to_string(record.fields.size()) +
                                                         " fields, not " +
                                                         std::to_string(request.columns.size()) + ".");
                }
                row.Run(record.fields, request.columns);
                ++written;
            }
        }
        db.Execute("INSERT INTO [sysTables] (TableName) VALUES (" + SqlText(request.table) + ")");
        db.CommitTrans();
    } catch (...) {
        db.Rollback();
        throw;
    }
    auction.NoteTableAdded(request.table);
    return written;
}

}  // namespace corv::store
