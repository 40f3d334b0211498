#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Schema.h"
#include "engine/jetsql_support.h"
#include "engine/sql/JetSql.h"

using corv::FieldType;
namespace jetsql = corv::jetsql;

namespace {

using corv::jetsqltest::JetSqlDb;
using corv::jetsqltest::Rows;
using corv::jetsqltest::TranslateError;

// ------------------------------------------------------------------ operators

TEST_F(JetSqlDb, PlusAddsNumbersAndJoinsTexts) {
    EXPECT_EQ(One("'ab' + \"cd\""), "abcd");
    EXPECT_EQ(One("1 + 2"), "3");
    EXPECT_EQ(One("'1' + 2"), "3");
    EXPECT_EQ(One("2.5 + '1.5'"), "4.0");
    EXPECT_EQ(One("'1' + '2'"), "12");
    EXPECT_EQ(One("Null + 'x'"), "<null>");
    EXPECT_EQ(One("1 + Null"), "<null>");
    EXPECT_EQ(ErrorOf("'abc' + 1"), corv::err::TypeMismatch);
    EXPECT_EQ(Column(Jet("SELECT [Market] + '-' + [Block] FROM [Markets and Bidders] WHERE [Round] = 1")),
              (std::vector<std::string>{"A-1", "B-  "}));
    Rows r =
        Jet("SELECT * FROM [Markets and Bidders] WHERE [Round] Between 1 AND 7 AND [Market] + '-' + [Block] "
            "IN('A-1', 'B-  ') ORDER BY [Market]");
    EXPECT_EQ(r.size(), 4u);
    EXPECT_EQ(r.front()[2], "A");
    EXPECT_EQ(r.back()[2], "B");
}

TEST_F(JetSqlDb, ConcatenationTreatsNullAsEmpty) {
    EXPECT_EQ(One("'a' & Null & 'b'"), "ab");
    EXPECT_EQ(One("Null & Null"), "<null>");
    EXPECT_EQ(One("1 & 2.5"), "12.5");
    EXPECT_EQ(One("'x' & 3 + 4"), "x7");  // + binds tighter than &
}

TEST_F(JetSqlDb, ArithmeticFollowsJet) {
    EXPECT_EQ(One("7 / 2"), "3.5");
    EXPECT_EQ(One("7 \\ 2"), "3");
    EXPECT_EQ(One("7.6 \\ 2"), "4");  // operands are rounded first
    EXPECT_EQ(One("-7 Mod 3"), "-1");
    EXPECT_EQ(One("-2 ^ 2"), "-4.0");
    EXPECT_EQ(One("2 ^ 3 ^ 2"), "64.0");
    EXPECT_EQ(One("10 - 2 - 3"), "5");
    EXPECT_EQ(One("2 + 3 * 4"), "14");
    EXPECT_EQ(One("'6' * 2"), "12");
    EXPECT_EQ(One("-'5'"), "-5");
    EXPECT_EQ(ErrorOf("1 / 0"), corv::err::DivisionByZero);
    EXPECT_EQ(ErrorOf("1 \\ 0"), corv::err::DivisionByZero);
    EXPECT_EQ(ErrorOf("5 Mod 0.2"), corv::err::DivisionByZero);
    EXPECT_EQ(ErrorOf("'a' - 1"), corv::err::TypeMismatch);
    EXPECT_EQ(One("9223372036854775807 + 1"), "9.22337203685478e+18");
}

TEST_F(JetSqlDb, TruthValuesAreJetBooleans) {
    EXPECT_EQ(One("3 > 2"), "-1");
    EXPECT_EQ(One("3 < 2"), "0");
    EXPECT_EQ(One("(3 > 2) = True"), "-1");
    EXPECT_EQ(One("Not (3 > 2) = False"), "-1");  // Not binds looser than =
    EXPECT_EQ(One("True Xor False"), "-1");
    EXPECT_EQ(One("True Eqv False"), "0");
    EXPECT_EQ(One("False Imp False"), "-1");
    EXPECT_EQ(One("Null Is Null"), "-1");
    EXPECT_EQ(One("1 Is Not Null"), "-1");
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Bid Amount] IS NULL").size(), 1u);
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE NOT [Round] = 7 AND [Market] = 'a' OR "
                  "[Round] = 3")
                  .size(),
              3u);
}

TEST_F(JetSqlDb, LikeUsesJetWildcardsWithoutCase) {
    auto names = [&](const std::string& pattern) {
        return Column(
            Jet("SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders] WHERE [Bidder Name] Like " +
                pattern + " ORDER BY [Bidder Name]"));
    };
    EXPECT_EQ(names("'abc*'"), (std::vector<std::string>{"ABC Wireless"}));
    EXPECT_EQ(names("'?eta*'"), (std::vector<std::string>{"Beta", "Zeta Corp"}));
    EXPECT_EQ(names("'[a-c]*'"), (std::vector<std::string>{"ABC Wireless", "Beta"}));
    EXPECT_EQ(names("'[!a-c]*'"), (std::vector<std::string>{"O'Brien Tel", "Zeta Corp"}));
    EXPECT_EQ(names("'*''*'"), (std::vector<std::string>{"O'Brien Tel"}));
    EXPECT_EQ(Jet("SELECT * FROM [Markets and Bidders] WHERE [Bidder Name] Not Like '*a*'").size(), 1u);
    EXPECT_EQ(One("'a1b' Like 'a#b'"), "-1");
    EXPECT_EQ(One("'axb' Like 'a#b'"), "0");
    // % and _ are ordinary characters to Jet.
    EXPECT_EQ(One("'abc' Like 'a%'"), "0");
    EXPECT_EQ(One("'a%' Like 'a%'"), "-1");
    EXPECT_EQ(One("'a_c' Like 'a_c'"), "-1");
    EXPECT_EQ(One("'abc' Like 'a_c'"), "0");
    // Bracketed wildcards stand for themselves.
    EXPECT_EQ(One("'a*c' Like 'a[*]c'"), "-1");
    EXPECT_EQ(One("'abc' Like 'a[*]c'"), "0");
    EXPECT_EQ(One("'a?c' Like 'a[?]c'"), "-1");
    EXPECT_EQ(One("'^' Like '[^]'"), "-1");
    EXPECT_EQ(One("'b' Like '[^a]'"), "0");
    EXPECT_EQ(One("'ÉCOLE' Like 'école'"), "-1");
    EXPECT_EQ(One("'ÉCOLE' Like 'é[c]ole'"), "-1");
    // A pattern from a column is matched the same way.
    EXPECT_EQ(One("'Abc' Like 'a' & '*'"), "-1");
    EXPECT_EQ(One("'xyz' Like 'a' & '*'"), "0");
    EXPECT_EQ(One("'a5' Like 'A' & '#'"), "-1");
    EXPECT_EQ(One("Null Like 'a*'"), "<null>");
    EXPECT_EQ(TranslateError("SELECT 'a' Like 'a[bc'"), 3075);
}

TEST_F(JetSqlDb, DateLiterals) {
    Exec("CREATE TABLE d (\"When\" DateTime)");
    Exec("INSERT INTO d VALUES ('2003-01-02 00:00:00'), ('2003-01-02 22:30:00'), ('2003-02-01 00:00:00')");
    EXPECT_EQ(Jet("SELECT * FROM d WHERE [When] = #1/2/2003#").size(), 1u);
    EXPECT_EQ(Jet("SELECT * FROM d WHERE [When] = #1/2/2003 10:30 PM#").size(), 1u);
    EXPECT_EQ(Jet("SELECT * FROM d WHERE [When] Between #01/01/03# And #1/31/2003#").size(), 2u);
    EXPECT_EQ(Jet("SELECT * FROM d WHERE [When] >= #2003-02-01#").size(), 1u);
    EXPECT_EQ(One("#13/1/2020#"), "2020-01-13 00:00:00");  // not a month: read as day/month
    EXPECT_EQ(One("#1/2/45 8:05:09#"), "1945-01-02 08:05:09");
    EXPECT_EQ(One("#10:30#"), "1899-12-30 10:30:00");
    EXPECT_EQ(One("Year(#2/29/2024#) & '-' & Month(#2/29/2024#) & '-' & Day(#2/29/2024#)"), "2024-2-29");
    // Numbers added to or taken from a date count days.
    EXPECT_EQ(One("#1/31/2003# + 1"), "2003-02-01 00:00:00");
    EXPECT_EQ(One("1.5 + #12/31/1999 12:00#"), "2000-01-02 00:00:00");
    EXPECT_EQ(One("#1/1/2000 6:00# - 0.25"), "2000-01-01 00:00:00");
    EXPECT_EQ(One("#3/1/2024# - #2/1/2024#"), "29.0");
    EXPECT_EQ(One("#1/1/1899# + 1"), "1899-01-02 00:00:00");
    EXPECT_EQ(One("#1/1/2000# & 'x'"), "2000-01-01 00:00:00x");
    EXPECT_EQ(Jet("SELECT * FROM d WHERE [When] + 1 > #2/1/2003#").size(), 1u);
    EXPECT_EQ(TranslateError("SELECT #2/30/2023#"), 3075);
    EXPECT_EQ(TranslateError("SELECT #hello#"), 3075);
    EXPECT_EQ(TranslateError("SELECT #1/2/2003"), 3075);
}

TEST_F(JetSqlDb, FunctionsBehaveAsInJet) {
    EXPECT_EQ(One("Len('héllo')"), "5");
    EXPECT_EQ(One("Len(2.0)"), "1");
    EXPECT_EQ(One("Left('abcdef', 2) & Right('abcdef', 2) & Mid('abcdef', 3, 2) & Mid('abcdef', 5)"),
              "abefcdef");
    EXPECT_EQ(One("UCase('straße é') & LCase('ÀB')"), "STRAßE Éàb");
    EXPECT_EQ(One("'[' & Trim('  a b  ') & '|' & LTrim('  a ') & '|' & RTrim(' a  ') & ']'"), "[a b|a | a]");
    EXPECT_EQ(One("Int(-2.5) & ' ' & Fix(-2.5) & ' ' & Abs(-3)"), "-3 -2 3");
    EXPECT_EQ(One("CLng(2.5) & CLng(3.5) & CInt('7')"), "247");
    EXPECT_EQ(One("Val(' 1 2.5abc') & '|' & Val('x')"), "12.5|0");
    EXPECT_EQ(One("Str(12) & '|' & Str(-3) & '|' & CStr(1.5)"), " 12|-3|1.5");
    EXPECT_EQ(One("IIf(2 > 1, 'yes', 'no') & Nz(Null, 'z') & Nz('v')"), "yeszv");
    EXPECT_EQ(One("InStr('Hello', 'L') & InStr(4, 'Hello', 'l') & InStr('Hello', 'q')"), "340");
    EXPECT_EQ(One("Round(2.5) & Round(3.5) & ' ' & Round(1.2345, 2)"), "24 1.23");
    EXPECT_EQ(One("Weekday(#1/1/2023#)"), "1");  // a Sunday
    EXPECT_EQ(One("DateSerial(2023, 14, 1)"), "2024-02-01 00:00:00");
    EXPECT_EQ(One("IsNull(Null) & IsNumeric('1.5') & IsNumeric('x')"), "-1-10");
    EXPECT_EQ(One("Len(Now()) + Len(Date())"), "38");
    EXPECT_EQ(ErrorOf("CLng('abc')"), corv::err::TypeMismatch);
    EXPECT_EQ(ErrorOf("CInt(40000)"), 6);
    EXPECT_EQ(ErrorOf("CStr(Null)"), 94);
    EXPECT_EQ(ErrorOf("Mid('abc', 0)"), 5);
    EXPECT_EQ(TranslateError("SELECT Frobnicate(1)"), 3085);
    EXPECT_EQ(TranslateError("SELECT Left('a')"), 3075);
}

TEST_F(JetSqlDb, AggregatesAndNamesOfExpressionColumns) {
    auto t = jetsql::Translate(
        "SELECT [Round], Count(*), Sum([Bid Amount]) AS Total, First([Market]), Last([Market]), "
        "Avg([Bid Amount]) INTO [Per Round] FROM [Markets and Bidders] GROUP BY [Round] HAVING Count(*) > 1 "
        "ORDER BY [Round] DESC",
        ctx_);
    Rows r = Query(t.sql);
    EXPECT_EQ(r, (Rows{{"7", "4", "1950", "A", "a", "650.0"}, {"1", "2", "300", "A", "B", "150.0"}}));
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    std::vector<std::string> names;
    for (int i = 0; i < sqlite3_column_count(st); ++i) names.push_back(sqlite3_column_name(st, i));
    std::string decl = sqlite3_column_decltype(st, 0) ? sqlite3_column_decltype(st, 0) : "";
    sqlite3_finalize(st);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Round", "Expr1000", "Total", "Expr1001", "Expr1002", "Expr1003"}));
    EXPECT_EQ(decl, "Long");  // a plain column keeps its declared type for SELECT INTO
}

TEST_F(JetSqlDb, TopUnionJoinsAndSubqueries) {
    EXPECT_EQ(Column(Jet("SELECT TOP 2 [Bid Amount] FROM [Markets and Bidders] ORDER BY [Bid Amount] DESC")),
              (std::vector<std::string>{"900", "700"}));
    EXPECT_EQ(Jet("SELECT TOP 25 PERCENT * FROM [Markets and Bidders] ORDER BY [Bid Amount]").size(), 2u);
    EXPECT_EQ(Jet("SELECT [Market] FROM [Markets and Bidders] WHERE Round = 1 UNION SELECT 'a' FROM "
                  "[Markets and Bidders] ORDER BY 1")
                  .size(),
              2u);
    EXPECT_EQ(
        Jet("SELECT Market FROM [Markets and Bidders] UNION ALL SELECT Market FROM [Markets and Bidders]")
            .size(),
        16u);
    Exec(corv::CreateTableSql("", "Bidders", {{"Name", FieldType::Text, ""}, {"Acct", FieldType::Text, ""}}));
    Exec("INSERT INTO Bidders VALUES ('abc wireless', '12'), ('Nobody', '99')");
    auto joined = jetsql::Translate(
        "SELECT m.[Round], b.Acct FROM ([Markets and Bidders] AS m INNER JOIN Bidders b ON m.[Bidder Name] = "
        "b.Name) WHERE b![Acct] = '12' ORDER BY m.[Round]",
        ctx_);
    EXPECT_EQ(joined.sourceTables, (std::vector<std::string>{"Markets and Bidders", "Bidders"}));
    EXPECT_EQ(Column(Query(joined.sql)), (std::vector<std::string>{"1", "1", "7"}));
    EXPECT_EQ(
        Jet("SELECT b.Name FROM Bidders b LEFT JOIN [Markets and Bidders] m ON m.[Bidder Name] = b.Name "
            "WHERE m.Round IS NULL"),
        (Rows{{"Nobody"}}));
    EXPECT_EQ(Jet("SELECT Name FROM Bidders WHERE Name IN (SELECT [Bidder Name] FROM [Markets and Bidders])"),
              (Rows{{"abc wireless"}}));
    EXPECT_EQ(Jet("SELECT Name FROM Bidders WHERE NOT EXISTS (SELECT * FROM [Markets and Bidders] m WHERE "
                  "m.[Bidder Name] = Bidders.Name)"),
              (Rows{{"Nobody"}}));
    EXPECT_EQ(Jet("SELECT Count(*) FROM (SELECT DISTINCT [Market] FROM [Markets and Bidders]) AS q"),
              (Rows{{"3"}}));
}

}  // namespace
