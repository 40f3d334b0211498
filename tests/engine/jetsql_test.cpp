#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Schema.h"
#include "engine/jetsql_support.h"
#include "engine/sql/JetSql.h"

using corv::CorvError;
using corv::FieldInfo;
using corv::FieldType;
namespace jetsql = corv::jetsql;

namespace {

using corv::jetsqltest::JetSqlDb;
using corv::jetsqltest::Rows;
using corv::jetsqltest::TranslateError;

// ------------------------------------------------------------------ statements the program generates

TEST_F(JetSqlDb, WizardStatementBuildsIntoPiecesAndSelectsTheRightRows) {
    auto t = jetsql::Translate(
        "SELECT [Market], [Bid Amount] INTO [Top Bids]  FROM [Markets and Bidders]  WHERE [Bid Amount] >500 "
        "AND "
        "[Round] = 7 ORDER BY [Bid Amount] DESC;",
        ctx_);
    EXPECT_EQ(t.kind, jetsql::StatementKind::SelectInto);
    EXPECT_EQ(t.intoTable, "Top Bids");
    EXPECT_EQ(t.intoSchema, "main");
    EXPECT_EQ(t.sourceTables, std::vector<std::string>{"Markets and Bidders"});
    EXPECT_EQ(t.sql.find("INTO"), std::string::npos);
    EXPECT_EQ(Query(t.sql), (Rows{{"A", "900"}, {"C", "600"}}));
}

TEST_F(JetSqlDb, QueryBuilderAndViewerStatements) {
    auto t = jetsql::Translate(
        "SELECT [Market], [Bid Amount] INTO NewBids FROM [Markets and Bidders] WHERE [Round] = 3;", ctx_);
    EXPECT_EQ(t.intoTable, "NewBids");
    EXPECT_EQ(Query(t.sql), (Rows{{"c", "700"}}));
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Round] = 2").size(), 1u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders]").size(), 8u);
}

TEST_F(JetSqlDb, CatalogStatementsRunInOrder) {
    const char* steps[] = {
        "CREATE TABLE [sysSuppliedTables] ([TableName] Text)",
        "INSERT INTO [sysSuppliedTables] (TableName) VALUES (\"Markets and Bidders\")",
        "INSERT INTO [sysSuppliedTables] (TableName) VALUES ('Round Statistics')",
        "CREATE TABLE [sysRounds] ([Round] Number)",
        "INSERT INTO [sysRounds] VALUES (1)",
        "CREATE TABLE [sysTables] ([TableName] Text)",
        "INSERT INTO [sysTables] SELECT * FROM [sysSuppliedTables]",
        "INSERT INTO sysRounds (Round) VALUES (3)",
    };
    for (const char* s : steps) Jet(s);
    EXPECT_EQ(Column(Jet("SELECT * FROM [sysTables]")),
              (std::vector<std::string>{"Markets and Bidders", "Round Statistics"}));
    EXPECT_EQ(Jet("Select Round From sysRounds Where Round = 3").size(), 1u);
    EXPECT_EQ(Jet("SELECT Round FROM sysRounds WHERE Round = 2").size(), 0u);
    // The catalog lookups quote the name in single quotes and compare without regard to case.
    EXPECT_EQ(
        Jet("SELECT [TableName] FROM [sysSuppliedTables] WHERE [TableName] = 'markets and bidders'").size(),
        1u);
    // A quote inside the name breaks the lookup instead of running something else.
    EXPECT_EQ(TranslateError("SELECT * FROM [sysSuppliedTables] WHERE [TableName] = 'O'Brien'"), 3075);

    Jet("DELETE [TableName] FROM [sysTables] WHERE [TableName] = 'round statistics'");
    EXPECT_EQ(Column(Jet("SELECT TableName FROM sysTables")),
              (std::vector<std::string>{"Markets and Bidders"}));
    Jet("DELETE * FROM [sysTables]");
    EXPECT_TRUE(Jet("SELECT * FROM sysTables").empty());
    Jet("DELETE FROM sysRounds WHERE Round > 1");
    EXPECT_EQ(Column(Jet("SELECT * FROM sysRounds")), (std::vector<std::string>{"1"}));
    Jet("DROP TABLE [sysTables]");
    EXPECT_FALSE(Columns("main", "sysTables").has_value());
}

TEST_F(JetSqlDb, DeclaredTypesOfCreatedTables) {
    auto t = jetsql::Translate(
        "create table [New T] ([a] Text(50), b NUMBER, [c] Memo, d Long, e Currency, f DateTime, g YesNo)",
        ctx_);
    EXPECT_EQ(t.kind, jetsql::StatementKind::CreateTable);
    EXPECT_EQ(t.targetTable, "New T");
    Query(t.sql);
    Rows r = Query("SELECT name, type FROM pragma_table_info('New T')");
    EXPECT_EQ(r, (Rows{{"a", "Text(50)"},
                       {"b", "NUMBER"},
                       {"c", "LongText"},
                       {"d", "Long"},
                       {"e", "Currency"},
                       {"f", "DateTime"},
                       {"g", "YesNo"}}));
    // Memo keeps digits as text; text columns ignore case.
    Jet("INSERT INTO [New T] (a, c) VALUES ('Abc', '007')");
    EXPECT_EQ(Jet("SELECT c FROM [New T] WHERE a = 'ABC'"), (Rows{{"007"}}));
    EXPECT_EQ(TranslateError("CREATE TABLE x (a Gizmo)"), 3292);
}

TEST_F(JetSqlDb, UpdateAlterAndIndexes) {
    Jet("UPDATE [Markets and Bidders] SET [Net Bid Amount] = [Bid Amount] - 1, [Markets and Bidders].Block = "
        "'X' "
        "WHERE [Bidder Name] = 'beta'");
    EXPECT_EQ(Jet("SELECT [Net Bid Amount], Block FROM [Markets and Bidders] WHERE [Bidder Name] = 'Beta'"),
              (Rows{{"<null>", "X"}}));
    Jet("ALTER TABLE [Markets and Bidders] ADD COLUMN [Note] Text");
    EXPECT_EQ(Jet("SELECT count(*) FROM [Markets and Bidders] WHERE [Note] IS NULL"), (Rows{{"8"}}));
    auto idx =
        jetsql::Translate("CREATE UNIQUE INDEX ix ON [Markets and Bidders] ([Round], [Market] DESC)", ctx_);
    EXPECT_EQ(idx.kind, jetsql::StatementKind::CreateIndex);
    EXPECT_EQ(idx.targetTable, "Markets and Bidders");
    EXPECT_THROW(Query(idx.sql), CorvError);  // rounds 7 hold "A" and "a": equal without regard to case
    Jet("CREATE INDEX ix ON [Markets and Bidders] ([Round])");
    auto drop = jetsql::Translate("DROP INDEX ix ON [Markets and Bidders]", ctx_);
    EXPECT_EQ(drop.kind, jetsql::StatementKind::DropIndex);
    Query(drop.sql);
}

// ------------------------------------------------------------------ letter case

TEST_F(JetSqlDb, TextComparisonOrderDistinctAndGroupingIgnoreCase) {
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Bidder Name] = 'abc WIRELESS'").size(), 3u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Bidder Name] <> 'abc WIRELESS'").size(), 5u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Market] IN ('a', 'C')").size(), 6u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Market] NOT IN ('a', 'C')").size(), 2u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Market] BETWEEN 'b' AND 'C'").size(), 4u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Market] >= 'b'").size(), 4u);
    EXPECT_EQ(Jet("SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders]").size(), 4u);
    // Expressions have no declared collation of their own.
    EXPECT_EQ(Jet("SELECT DISTINCT [Market] & 'x' FROM [Markets and Bidders]").size(), 3u);
    EXPECT_EQ(Jet("SELECT Max([Market] & '') FROM [Markets and Bidders] WHERE [Market] IN ('a', 'b')"),
              (Rows{{"B"}}));
    Rows g =
        Jet("SELECT [Market], Count(*) AS n FROM [Markets and Bidders] GROUP BY [Market] ORDER BY [Market]");
    EXPECT_EQ(Column(g, 1), (std::vector<std::string>{"4", "2", "2"}));
    Rows o = Jet("SELECT DISTINCT [Market] & '' AS m FROM [Markets and Bidders] ORDER BY [Market] & '' DESC");
    EXPECT_EQ(Column(o).size(), 3u);
    EXPECT_TRUE(o[0][0] == "c" || o[0][0] == "C");
    EXPECT_TRUE(o[2][0] == "A" || o[2][0] == "a");
}

// Whatever collation a text column was declared with, the dialect compares without letter case, and folds
// the Latin-1 letters as well as ASCII.
TEST_F(JetSqlDb, TextOfAnyCollationComparesWithoutCaseAccentedLettersToo) {
    Exec("CREATE TABLE [Plain] ([Name] TEXT, [Amount] Currency)");
    Exec(corv::CreateTableSql("", "Folded",
                              {{"Name", FieldType::Text, ""}, {"Amount", FieldType::Currency, ""}}));
    for (const char* t : {"Plain", "Folded"}) {
        Exec(std::string("INSERT INTO [") + t +
             "] VALUES ('alpha llc', 1), ('ALPHA LLC', 2), ('Élan', 3), ('élan', 4), ('Beta', 5), ('zeta', "
             "6)");
    }
    const std::pair<const char*, Rows> cases[] = {
        {"SELECT Count(*) FROM (SELECT DISTINCT [Name] FROM [T])", {{"4"}}},
        {"SELECT Count(*) FROM (SELECT [Name] FROM [T] UNION SELECT [Name] FROM [T] WHERE [Amount] > 2)",
         {{"4"}}},
        {"SELECT Count(*) FROM (SELECT DISTINCT [Name], Count(*) FROM [T] GROUP BY [Name], [Amount])",
         {{"4"}}},
        {"SELECT LCase([Name]), Count(*) FROM [T] GROUP BY [Name] ORDER BY [Name]",
         {{"alpha llc", "2"}, {"beta", "1"}, {"zeta", "1"}, {"élan", "2"}}},
        {"SELECT [Amount] FROM [T] ORDER BY [Name] DESC, [Amount]",
         {{"3"}, {"4"}, {"6"}, {"5"}, {"1"}, {"2"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] = 'ÉLAN'", {{"2"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] <> 'Alpha Llc'", {{"4"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] < 'b'", {{"2"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] <= 'BETA'", {{"3"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] > 'Y'", {{"3"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] >= 'ÉLAN'", {{"2"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] IN ('Alpha LLC', 'élan')", {{"4"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] BETWEEN 'ALPHA' AND 'beta'", {{"3"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] Like 'É*'", {{"2"}}},
        {"SELECT Min([Name]), Max([Name]) FROM [T] WHERE [Amount] IN (1, 5)", {{"alpha llc", "Beta"}}},
        {"SELECT Count(*) FROM [T] WHERE [Name] & '' = 'élan'", {{"2"}}},
    };
    for (const char* t : {"Plain", "Folded"}) {
        for (const auto& [jet, want] : cases) {
            std::string sql = jet;
            for (size_t at; (at = sql.find("[T]")) != std::string::npos;)
                sql.replace(at, 3, std::string("[") + t + "]");
            EXPECT_EQ(Jet(sql), want) << sql;
        }
    }
    // Rows behind a * as well.
    Exec("CREATE TABLE [Pairs] ([A] TEXT, [B] TEXT); INSERT INTO [Pairs] VALUES ('x', 'Y'), ('X', 'y')");
    EXPECT_EQ(Jet("SELECT DISTINCT * FROM [Pairs]").size(), 1u);
    EXPECT_EQ(Jet("SELECT * FROM [Pairs] UNION SELECT [A], [B] FROM [Pairs]").size(), 1u);

    // Ordering a DISTINCT by a column named with its table, or by an expression of the list.
    Rows d = Jet("SELECT DISTINCT [Plain].[Name], [Amount] \\ 10 FROM [Plain] ORDER BY [Plain].[Name] DESC");
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(corv::JetLowerText(d[0][0]) + "," + corv::JetLowerText(d[3][0]), "élan,alpha llc");
    EXPECT_EQ(Jet("SELECT DISTINCT [Name] & '' FROM [Plain] ORDER BY [Name] & ''").size(), 4u);

    // Between two expressions or literals as well.
    EXPECT_EQ(One("'abc' = 'ABC'"), "-1");
    EXPECT_EQ(One("'é' = 'É'"), "-1");
    EXPECT_EQ(One("'a' < 'B'"), "-1");

    // A DISTINCT result column keeps its declared type: grids format by it.
    sqlite3_stmt* st = nullptr;
    const std::string sql = jetsql::Translate("SELECT DISTINCT [Name], [Amount] FROM [Plain]", ctx_).sql;
    ASSERT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    EXPECT_STREQ(sqlite3_column_name(st, 0), "Name");
    EXPECT_STREQ(sqlite3_column_decltype(st, 1), "Currency");
    sqlite3_finalize(st);
}

TEST_F(JetSqlDb, FilterAndSortTextsOfTheViewer) {
    std::string where = jetsql::TranslateCondition("[Bidder Name] =\"ABC wireless\" And [Round] >=5");
    EXPECT_EQ(Query("SELECT [Round] FROM [Markets and Bidders] WHERE " + where), (Rows{{"7"}}));
    std::string order = jetsql::TranslateOrderList("[Market], [Bid Amount] DESC");
    Rows r =
        Query("SELECT Market, [Bid Amount] FROM [Markets and Bidders] WHERE Round = 7 ORDER BY " + order);
    EXPECT_EQ(r, (Rows{{"A", "900"}, {"a", "<null>"}, {"B", "450"}, {"C", "600"}}));
    EXPECT_EQ(Query("SELECT count(*) FROM [Markets and Bidders] WHERE " +
                    jetsql::TranslateCondition("[Round] =7 Or [Market] =\"c\"")),
              (Rows{{"5"}}));

    // Texts the viewer builds when a row is left out or a value holds a double quote are refused.
    auto conditionError = [](std::string_view text) {
        try {
            jetsql::TranslateCondition(text);
        } catch (const CorvError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(conditionError(" And [Round] >=5"), 3075);
    EXPECT_EQ(conditionError("[Bidder Name] =\"AB\"C\""), 3075);
    EXPECT_EQ(conditionError("[Round] = 1; DROP TABLE x"), 3075);
    EXPECT_EQ(conditionError(""), 3075);
    EXPECT_THROW(jetsql::TranslateOrderList("[Market] DESC DESC"), CorvError);
}

// ------------------------------------------------------------------ external files

class JetSqlAttached : public JetSqlDb {
  protected:
    void SetUp() override {
        JetSqlDb::SetUp();
        Exec("ATTACH ':memory:' AS ext1");
        // The auction's copy has the same columns in another order.
        Exec(corv::CreateTableSql("ext1", "Markets and Bidders",
                                  {{"Bidder Name", FieldType::Text, ""},
                                   {"Auction Id", FieldType::Long, ""},
                                   {"Round", FieldType::Long, ""},
                                   {"Market", FieldType::Text, ""},
                                   {"Block", FieldType::Text, ""},
                                   {"Net Bid Amount", FieldType::Currency, ""},
                                   {"Bid Amount", FieldType::Currency, ""}}));
    }
};

TEST_F(JetSqlAttached, InsertIntoAnotherFileMatchesColumnsByName) {
    auto t = jetsql::Translate(
        "INSERT INTO [Markets and Bidders] IN \"/path/Auction14.mdb\" SELECT * FROM [Markets and Bidders]",
        ctx_);
    EXPECT_EQ(attachedPaths_, std::vector<std::string>{"/path/Auction14.mdb"});
    EXPECT_EQ(t.kind, jetsql::StatementKind::Insert);
    EXPECT_EQ(t.targetTable, "Markets and Bidders");
    EXPECT_EQ(t.targetSchema, "ext1");
    EXPECT_EQ(t.sourceTables, std::vector<std::string>{"Markets and Bidders"});
    Query(t.sql);
    EXPECT_EQ(Query("SELECT [Bidder Name], [Bid Amount], [Net Bid Amount] FROM ext1.[Markets and Bidders] "
                    "WHERE Round = 3"),
              (Rows{{"O'Brien Tel", "700", "650"}}));
    // Without the schema lookup the columns go by position.
    jetsql::Context positional;
    positional.attach = ctx_.attach;
    auto p = jetsql::Translate("INSERT INTO [t] IN '/x.mdb' SELECT * FROM [t]", positional);
    EXPECT_NE(p.sql.find("SELECT * FROM"), std::string::npos);
}

TEST_F(JetSqlAttached, InsertValuesAndSelectIntoAnotherFile) {
    Jet("INSERT INTO [Markets and Bidders] IN \"/a.mdb\" ([Round], [Market]) VALUES (9, \"Z\")");
    EXPECT_EQ(Query("SELECT Round, Market FROM ext1.[Markets and Bidders]"), (Rows{{"9", "Z"}}));
    auto t =
        jetsql::Translate("SELECT * INTO [Copy] IN '/a.mdb' FROM [Markets and Bidders] IN \"/a.mdb\"", ctx_);
    EXPECT_EQ(t.kind, jetsql::StatementKind::SelectInto);
    EXPECT_EQ(t.intoTable, "Copy");
    EXPECT_EQ(t.intoSchema, "ext1");
    EXPECT_TRUE(t.sourceTables.empty());  // only the other file is read
    EXPECT_EQ(Query(t.sql).size(), 1u);
    Jet("DELETE * FROM [Markets and Bidders] IN \"/a.mdb\" WHERE Round = 9");
    EXPECT_TRUE(Query("SELECT * FROM ext1.[Markets and Bidders]").empty());
}

TEST_F(JetSqlAttached, InsertSelectStarRefusesMismatchedTables) {
    Exec(corv::CreateTableSql("", "Odd", {{"Round", FieldType::Long, ""}, {"Colour", FieldType::Text, ""}}));
    EXPECT_EQ(TranslateError("INSERT INTO [Markets and Bidders] IN \"/a.mdb\" SELECT * FROM [Odd]", ctx_),
              corv::err::UnknownField);
    try {
        jetsql::Translate("INSERT INTO [Markets and Bidders] IN \"/a.mdb\" SELECT * FROM [Odd]", ctx_);
    } catch (const CorvError& e) {
        EXPECT_NE(e.description().find("Colour"), std::string::npos);
    }
    EXPECT_EQ(TranslateError("INSERT INTO [Markets and Bidders] IN \"/a.mdb\" SELECT * FROM [Missing]", ctx_),
              corv::err::ObjectNotFound);
    EXPECT_EQ(TranslateError("INSERT INTO [Nowhere] IN \"/a.mdb\" SELECT * FROM [Odd]", ctx_),
              corv::err::ObjectNotFound);
    Exec(corv::CreateTableSql("", "Few", {{"Round", FieldType::Long, ""}}));
    EXPECT_NE(TranslateError("INSERT INTO [Markets and Bidders] IN \"/a.mdb\" SELECT * FROM [Few]", ctx_), 0);
    EXPECT_EQ(TranslateError("INSERT INTO [t] IN \"/a.mdb\" SELECT * FROM [t]"), corv::err::EngineFailure);
}

// ------------------------------------------------------------------ refusals

TEST(JetSqlRefusals, OneStatementOnly) {
    EXPECT_EQ(TranslateError("DELETE * FROM t; DELETE * FROM u"), 3142);
    EXPECT_EQ(TranslateError("SELECT * FROM t;;"), 3142);
    EXPECT_EQ(TranslateError("SELECT * FROM t SELECT * FROM u"), 3075);
    EXPECT_EQ(TranslateError("SELECT * FROM t; -- x"), 3142);
    EXPECT_EQ(TranslateError("SELECT * FROM t  ;  \r\n"), 0);
    EXPECT_EQ(jetsql::Translate("select * from T;").sql, "SELECT * FROM \"T\"");
}

TEST(JetSqlRefusals, SyntaxErrorsNameTheOffendingText) {
    auto description = [](std::string_view jet) {
        try {
            jetsql::Translate(jet);
        } catch (const CorvError& e) {
            EXPECT_EQ(e.number(), 3075) << jet;
            return e.description();
        }
        return std::string("translated");
    };
    EXPECT_NE(description("SELECT [Market] FROM [t] WHERE [Round] = = 3").find("'='"), std::string::npos);
    EXPECT_NE(description("SELECT a FROM t WHERE b = 'open").find("'open"), std::string::npos);
    EXPECT_NE(description("SELECT [a FROM t").find("[a FROM t"), std::string::npos);
    EXPECT_NE(description("SELECT a FROM t WHERE").find("end"), std::string::npos);
    EXPECT_NE(description("SELECT a FROM t WHERE b @ 1").find("'@'"), std::string::npos);
    EXPECT_NE(description("SELECT a FROM t ORDER BY").find("end"), std::string::npos);
    EXPECT_NE(description(std::string_view("SELECT 'a\0b'", 12)).find("\\0"), std::string::npos);
    EXPECT_EQ(TranslateError("UPSERT INTO t VALUES (1)"), 3129);
    EXPECT_EQ(TranslateError(""), 3129);
    EXPECT_EQ(TranslateError("SELECT a INTO b FROM c WHERE a IN (SELECT x INTO y FROM z)"), 3075);
}

TEST(JetSqlRefusals, IdentifiersAndLiteralsCannotBreakOut) {
    auto t = jetsql::Translate(
        "SELECT [a\"b] FROM [t\"; DROP TABLE x; --] WHERE c = 'it''s' AND d = \"say \"\"hi\"\"\"");
    EXPECT_EQ(
        t.sql,
        "SELECT \"a\"\"b\" FROM \"t\"\"; DROP TABLE x; --\" WHERE ((\"c\" COLLATE NOCASE = 'it''s') AND "
        "(\"d\" COLLATE NOCASE = 'say \"hi\"'))");
    EXPECT_EQ(jetsql::QuoteIdentifier("a \"b\""), "\"a \"\"b\"\"\"");
}

// Random and garbled texts must translate or throw CorvError, never crash or hang.
TEST(JetSqlRefusals, GarbageNeverCrashes) {
    const char* pieces[] = {"SELECT",  "*",  "FROM", "[t]",  "WHERE", "(",       ")",        "'x'",  "\"y",
                            "#1/2/3#", "#",  "IN",   "Like", "'[a'",  "Between", "And",      "Not",  ",",
                            ";",       "[",  "]",    "1.5e", ".",     "!",       "Mid(",     "INTO", "UNION",
                            "ORDER",   "BY", "-",    "+",    "^",     "\\",      "Count(*)", "TOP",  "0"};
    std::mt19937 rng(12345);
    int translated = 0, refused = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string text;
        int n = 1 + static_cast<int>(rng() % 14);
        for (int k = 0; k < n; ++k) {
            if (rng() % 5 == 0) {
                text += static_cast<char>(rng() % 256);
            } else {
                text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
            }
            if (rng() % 3) text += ' ';
        }
        try {
            (i % 3 == 0 ? jetsql::TranslateCondition(text) : jetsql::Translate(text).sql);
            ++translated;
        } catch (const CorvError&) {
            ++refused;
        }
    }
    EXPECT_EQ(translated + refused, 4000);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(TranslateError("SELECT " + std::string(100000, '(') + "1"), 3075);
    EXPECT_EQ(TranslateError("SELECT " + std::string(100000, '-') + "1"), 3075);
    EXPECT_THROW(jetsql::TranslateCondition(std::string(50000, 'N') + "ot 1"), CorvError);
}

}  // namespace
