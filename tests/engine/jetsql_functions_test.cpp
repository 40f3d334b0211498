#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/engine_support.h"
#include "engine/functions/JetFunctions.h"
#include "engine/functions/JetLocale.h"

namespace {

TEST(JetFunctionsText, DateLiteralForms) {
    EXPECT_EQ(corv::JetDateText("12/31/1999"), "1999-12-31 00:00:00");
    EXPECT_EQ(corv::JetDateText(" 2/29/2000 11:59:59 pm "), "2000-02-29 23:59:59");
    EXPECT_EQ(corv::JetDateText("12:00 AM"), "1899-12-30 00:00:00");
    EXPECT_EQ(corv::JetDateText("1999-12-31 08:15"), "1999-12-31 08:15:00");
    EXPECT_EQ(corv::JetDateText("7/4/29"), "2029-07-04 00:00:00");
    EXPECT_EQ(corv::JetDateText("7/4/30"), "1930-07-04 00:00:00");
    EXPECT_FALSE(corv::JetDateText("2/29/1900"));  // not a leap year
    EXPECT_FALSE(corv::JetDateText("13/13/2000"));
    EXPECT_FALSE(corv::JetDateText("1/2/2000 24:00"));
    EXPECT_FALSE(corv::JetDateText("1/2/2000 13:00 PM"));
    EXPECT_FALSE(corv::JetDateText("1/2/2000 junk"));
    EXPECT_FALSE(corv::JetDateText(""));
}

TEST(JetFunctionsText, LikeMatching) {
    EXPECT_TRUE(corv::JetLikeMatch("Markets and Bidders", "m*S"));
    EXPECT_TRUE(corv::JetLikeMatch("", "*"));
    EXPECT_FALSE(corv::JetLikeMatch("", "?"));
    EXPECT_TRUE(corv::JetLikeMatch("aXbXc", "a*b*c"));
    EXPECT_FALSE(corv::JetLikeMatch("aXbXd", "a*b*c"));
    EXPECT_TRUE(corv::JetLikeMatch("B-  ", "?-[ ] "));
    EXPECT_TRUE(corv::JetLikeMatch("z", "[!a-y]"));
    EXPECT_FALSE(corv::JetLikeMatch("Q", "[!a-y]"));
    EXPECT_TRUE(corv::JetLikeMatch("ab", "a[]b"));
    EXPECT_FALSE(corv::JetLikeMatch("a", "[a"));     // an open list is no pattern at all
    EXPECT_FALSE(corv::JetLikeMatch("a", "[z-a]"));  // nor is a reversed range
    EXPECT_TRUE(corv::JetLikeMatch("ÄRGER", "ä*"));
}

TEST(JetFunctionsText, ErrorMessagesCarryTheirNumber) {
    int n = 0;
    std::string d;
    EXPECT_TRUE(corv::ParseJetFunctionError("Jet error 13: Type mismatch.", n, d));
    EXPECT_EQ(n, 13);
    EXPECT_EQ(d, "Type mismatch.");
    EXPECT_FALSE(corv::ParseJetFunctionError("no such column: x", n, d));
    EXPECT_FALSE(corv::ParseJetFunctionError("Jet error : x", n, d));
    EXPECT_FALSE(corv::ParseJetFunctionError("Jet error 1x: x", n, d));
}

// Every registered function with every awkward kind of argument must answer or fail cleanly.
TEST(JetFunctionsSql, OddArgumentsNeverCrash) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    corv::RegisterJetFunctions(db);
    const std::vector<std::pair<std::string, int>> functions = {
        {"jet_add", 2},     {"jet_sub", 2},        {"jet_mul", 2},         {"jet_div", 2},
        {"jet_intdiv", 2},  {"jet_mod", 2},        {"jet_pow", 2},         {"jet_neg", 1},
        {"jet_concat", 2},  {"jet_int", 1},        {"jet_fix", 1},         {"jet_abs", 1},
        {"jet_sgn", 1},     {"jet_sqr", 1},        {"jet_round", 2},       {"jet_cint", 1},
        {"jet_clng", 1},    {"jet_cdbl", 1},       {"jet_ccur", 1},        {"jet_cbool", 1},
        {"jet_cstr", 1},    {"jet_str", 1},        {"jet_val", 1},         {"jet_isnumeric", 1},
        {"jet_len", 1},     {"jet_left", 2},       {"jet_right", 2},       {"jet_mid", 3},
        {"jet_ucase", 1},   {"jet_lcase", 1},      {"jet_trim", 1},        {"jet_ltrim", 1},
        {"jet_rtrim", 1},   {"jet_instr", 3},      {"jet_space", 1},       {"jet_chr", 1},
        {"jet_asc", 1},     {"jet_like", 2},       {"jet_year", 1},        {"jet_month", 1},
        {"jet_day", 1},     {"jet_hour", 1},       {"jet_minute", 1},      {"jet_second", 1},
        {"jet_weekday", 1}, {"jet_cdate", 1},      {"jet_dateserial", 3},  {"jet_first", 1},
        {"jet_last", 1},    {"jet_strreverse", 1}, {"jet_string", 2},      {"jet_stdev", 1},
        {"jet_stdevp", 1},  {"jet_var", 1},        {"jet_varp", 1},        {"jet_datepart", 2},
        {"jet_dateadd", 3}, {"jet_datediff", 3},   {"jet_format", 2},      {"jet_format", 3},
        {"jet_strcomp", 3}, {"jet_replace", 3},    {"jet_chooseindex", 2},
    };
    const char* args[] = {"NULL",
                          "0",
                          "-1",
                          "2.5",
                          "'abc'",
                          "' 12 '",
                          "x'00ff'",
                          "1e308",
                          "-9223372036854775808",
                          "'9999-12-31 23:59:59'",
                          "'\xC3'",
                          "-1e308",
                          "'[!'"};
    const int n = sizeof args / sizeof *args;
    int answered = 0, failed = 0;
    for (const auto& [name, arity] : functions) {
        for (int a = 0; a < n; ++a) {
            for (int b = 0; b < (arity > 1 ? n : 1); ++b) {
                std::string sql = "SELECT " + name + "(" + args[a];
                if (arity > 1) sql += std::string(", ") + args[b];
                if (arity > 2) sql += std::string(", ") + args[(a + b) % n];
                sql += ")";
                char* msg = nullptr;
                int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
                if (rc == SQLITE_OK) {
                    ++answered;
                } else {
                    ++failed;
                    int number = 0;
                    std::string description;
                    EXPECT_TRUE(corv::ParseJetFunctionError(msg ? msg : "", number, description))
                        << sql << ": " << msg;
                }
                sqlite3_free(msg);
            }
        }
    }
    EXPECT_GT(answered, 0);
    EXPECT_GT(failed, 0);
    sqlite3_close(db);
}

// Loader threads evaluate SQL while the program publishes the locale: each evaluation sees one whole locale.
TEST(JetFunctionsSql, FormatTakesOneWholeLocaleWhileAnotherIsPublished) {
    corv::JetLocale other;
    other.decimalPoint = ",";
    other.groupSeparator = ".";
    other.currencyNegative = "-# €";
    std::set<std::string> seen;
    std::thread reader([&seen] {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        corv::RegisterJetFunctions(db);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT jet_format(-1234.5, 'Currency')", -1, &st, nullptr),
                  SQLITE_OK);
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
            seen.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
    });
    for (int i = 0; i < 200; ++i) corv::SetJetLocale(i % 2 ? corv::JetLocale{} : other);
    reader.join();
    corv::SetJetLocale({});
    for (const std::string& s : seen) EXPECT_TRUE(s == "($1,234.50)" || s == "-1.234,50 €") << s;
}

}  // namespace

namespace {

class JetFunctionsQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        db = corv::Engine().CreateDatabase(dir.sub("f.db"));
        db->Execute("CREATE TABLE [T] ([G] Text, [X] Double)");
        for (const char* row : {"('a', 2)", "('a', 4)", "('a', 4)", "('a', 4)", "('a', 5)", "('a', 5)",
                                "('a', 7)", "('a', 9)", "('a', Null)", "('b', 3)"})
            db->Execute(std::string("INSERT INTO [T] VALUES ") + row);
    }
    std::vector<std::string> Column(const std::string& sql) {
        auto rs = db->OpenRecordset(sql, corv::RecordsetType::Snapshot);
        rs->MoveLast();
        std::vector<std::string> out;
        for (std::size_t r = 0; r < rs->RowCount(); ++r) out.push_back(rs->Cell(r, 0).toString());
        return out;
    }
    corv::enginetest::ScratchDir dir;
    std::shared_ptr<corv::Database> db;
};

TEST_F(JetFunctionsQuery, SpreadAggregatesSkipNullAndNeedTwoValues) {
    auto one = [&](const char* f) {
        auto rs = db->OpenRecordset(std::string("SELECT ") + f + "([X]) FROM [T] GROUP BY [G] ORDER BY [G]",
                                    corv::RecordsetType::Snapshot);
        rs->MoveLast();
        return std::make_pair(rs->Cell(0, 0), rs->Cell(1, 0));
    };
    // 2 4 4 4 5 5 7 9: mean 5, squared deviations 32.
    EXPECT_DOUBLE_EQ(one("VarP").first.asDouble(), 4.0);
    EXPECT_DOUBLE_EQ(one("StDevP").first.asDouble(), 2.0);
    EXPECT_DOUBLE_EQ(one("Var").first.asDouble(), 32.0 / 7.0);
    EXPECT_DOUBLE_EQ(one("StDev").first.asDouble(), std::sqrt(32.0 / 7.0));
    for (const char* f : {"Var", "VarP", "StDev", "StDevP"}) EXPECT_TRUE(one(f).second.isNull()) << f;
}

TEST_F(JetFunctionsQuery, SwitchStrReverseAndString) {
    EXPECT_EQ(Column("SELECT Switch([X] > 8, 'big', [X] > 4, 'mid') FROM [T] WHERE [X] IN (9, 7, 2) "
                     "ORDER BY [X] DESC"),
              (std::vector<std::string>{"big", "mid", ""}));
    EXPECT_EQ(
        Column("SELECT StrReverse('abc') & '|' & String(3, 'xy') & '|' & String(2, 65) & String(1, 321) "
               "& '|' & String(0, 'x') FROM [T] WHERE [X] = 2"),
        (std::vector<std::string>{"cba|xxx|AAA|"}));
    EXPECT_THROW(Column("SELECT Switch([X] > 8) FROM [T]"), corv::CorvError);
    EXPECT_THROW(Column("SELECT StrReverse(Null) FROM [T]"), corv::CorvError);
}

TEST_F(JetFunctionsQuery, DateAddDatePartDateDiff) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    // Month ends clamp; hours roll over the day and year.
    EXPECT_EQ(one("DateAdd('m', 1, '2000-01-31')"), one("CDate('2000-02-29')"));
    EXPECT_EQ(one("DateAdd('m', 1, '2001-01-31')"), one("CDate('2001-02-28')"));
    EXPECT_EQ(one("DateAdd('yyyy', 1, '2000-02-29')"), one("CDate('2001-02-28')"));
    EXPECT_EQ(one("DateAdd('q', -1, '2000-05-31')"), one("CDate('2000-02-29')"));
    EXPECT_EQ(one("DateAdd('d', -1, '2000-03-01')"), one("CDate('2000-02-29')"));
    EXPECT_EQ(one("DateAdd('h', 25, '1999-12-31 23:00:00')"), one("CDate('2000-01-02 00:00:00')"));
    EXPECT_EQ(one("DateAdd('ww', 2, '2000-12-25')"), one("CDate('2001-01-08')"));
    // 1 January 2000 was a Saturday: it is week 1 alone, the Sunday after starts week 2.
    EXPECT_EQ(one("DatePart('ww', '2000-01-01') & DatePart('ww', '2000-01-02') & '|' & DatePart('ww', "
                  "'2000-12-31')"),
              "12|54");
    EXPECT_EQ(
        one("DatePart('w', '2000-01-01') & DatePart('q', '2000-08-15') & '|' & DatePart('y', '2000-03-01')"),
        "73|61");
    EXPECT_EQ(
        one("DatePart('yyyy', '2000-08-15 13:14:15') & DatePart('m', '2000-08-15') & DatePart('d', "
            "'2000-08-15') "
            "& DatePart('h', '2000-08-15 13:14:15') & DatePart('n', '2000-08-15 13:14:15') & DatePart('s', "
            "'2000-08-15 13:14:15')"),
        "2000815131415");
    // Boundaries crossed, not whole periods, except for w.
    EXPECT_EQ(
        one("DateDiff('yyyy', '1999-12-31', '2000-01-01') & DateDiff('m', '2000-01-31', '2000-02-01') & "
            "DateDiff('q', '2000-03-31', '2000-04-01') & DateDiff('ww', '2000-01-01', '2000-01-02') & "
            "DateDiff('w', '2000-01-01', '2000-01-14') & DateDiff('h', '2000-01-01 10:59:59', "
            "'2000-01-01 11:00:00')"),
        "111111");
    EXPECT_EQ(one("DateDiff('d', '2000-03-01', '2000-02-28') & '|' & DateDiff('y', '2000-01-01 23:59:59', "
                  "'2000-01-02') "
                  "& '|' & DateDiff('n', '2000-01-01 10:00:59', '2000-01-01 10:01:00') & '|' & DateDiff('s', "
                  "'2000-01-01', '2000-01-01 00:01:01')"),
              "-2|1|1|61");
    EXPECT_THROW(one("DateAdd('x', 1, '2000-01-01')"), corv::CorvError);
}

// Each row: an expression and its text, worked out by hand.
using Cases = std::vector<std::pair<std::string, std::string>>;

void ExpectCases(const std::function<std::string(const std::string&)>& one, const Cases& cases) {
    for (const auto& [expression, expected] : cases) EXPECT_EQ(one(expression), expected) << expression;
}

// Before 1899-12-30 a serial's fraction is still the time of day counted forward (-1.25 is 1899-12-29 06:00);
// before 1970 the day counts behind the functions are negative.
TEST_F(JetFunctionsQuery, DateFunctionsBeforeTheEpochsKeepTheTimeOfDay) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    ExpectCases(
        one, {
                 {"DateAdd('h', 1, #1899-12-29 06:00#)", "1899-12-29 07:00:00"},
                 {"DateAdd('h', 1, -1.25)", "1899-12-29 07:00:00"},
                 {"DateAdd('n', -30, #1899-12-30 00:10#)", "1899-12-29 23:40:00"},
                 {"DateAdd('d', 1, #1850-06-01 13:45#) & '|' & DateAdd('m', -1, #1850-06-01 13:45#)",
                  "1850-06-02 13:45:00|1850-05-01 13:45:00"},
                 {"DateAdd('h', 15, #1960-03-01 10:30#)", "1960-03-02 01:30:00"},
                 {"DateDiff('d', #1899-12-29 23:00#, #1899-12-30 01:00#) & '|' & "
                  "DateDiff('h', #1899-12-29 23:00#, #1899-12-30 01:00#) & '|' & DateDiff('h', -1.25, -0.75)",
                  "1|2|36"},
                 // A start on the boundary itself crosses none.
                 {"DateDiff('h', #1960-03-01 10:00#, #1960-03-01 10:59#) & '|' & "
                  "DateDiff('n', #1960-02-29 23:30#, #1960-03-01 10:30#) & '|' & "
                  "DateDiff('d', #1850-06-01 23:59#, #1850-06-02 00:01#)",
                  "0|660|1"},
                 // 1 June 1850 was a Saturday, 1 March 1960 a Tuesday (day 4 of a week from Saturday).
                 {"DatePart('h', #1850-06-01 13:45#) & '|' & DatePart('n', #1850-06-01 13:45#) & '|' & "
                  "DatePart('d', #1850-06-01 13:45#) & '|' & DatePart('w', #1850-06-01 13:45#)",
                  "13|45|1|7"},
                 {"DatePart('h', -1.25) & '|' & DatePart('d', -1.25) & '|' & DatePart('n', -0.75)", "6|29|0"},
                 {"DatePart('h', #1960-03-01 10:30#) & '|' & DatePart('y', #1960-03-01 10:30#) & '|' & "
                  "DatePart('w', #1960-03-01 10:30#) & DatePart('w', #1960-03-01 10:30#, 7)",
                  "10|61|34"},
             });
}

TEST_F(JetFunctionsQuery, ChooseStrCompReplace) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    ExpectCases(
        one,
        {
            {"Choose(2, 'a', 'b', 'c')", "b"},
            {"Choose(2.9, 'a', 'b', 'c')", "b"},  // the whole part picks
            {"IsNull(Choose(0, 'a', 'b')) & IsNull(Choose(3, 'a', 'b'))", "-1-1"},
            {"IsNull(Choose(Null, 'a'))", "-1"},
            {"Choose([X], 'one', 'two')", "two"},
            // Binary compares code points ('a' after 'B'); text ignores letter case.
            {"StrComp('a', 'B') & StrComp('a', 'A') & StrComp('abc', 'abd')", "11-1"},
            {"StrComp('a', 'A', 1) & StrComp('a', 'B', 1) & StrComp('b', 'A', 1)", "0-11"},
            {"IsNull(StrComp(Null, 'a'))", "-1"},
            {"Replace('abcabc', 'b', 'X')", "aXcaXc"},
            {"Replace('abcabc', 'B', 'X')", "abcabc"},
            {"Replace('abcabc', 'B', 'X', 1, -1, 1)", "aXcaXc"},
            {"Replace('abcabc', 'b', 'X', 3)", "caXc"},  // starts at start
            {"Replace('abcabc', 'b', 'X', 1, 1)", "aXcabc"},
            {"Replace('abcabc', 'b', 'X', 1, 0)", "abcabc"},
            {"Replace('abc', '', 'X') & '|' & Replace('abc', 'b', '') & '|' & Replace('abc', 'b', 'X', 4)",
             "abc|ac|"},
            {"Replace('aaa', 'aa', 'a')", "aa"},
        });
    for (const char* bad : {"StrComp('a', 'b', 3)", "Replace(Null, 'a', 'b')", "Replace('abc', 'b', 'X', 0)",
                            "Replace('abc', 'b', 'X', 1, -2)", "Choose('x', 'a')", "Choose(1)"})
        EXPECT_THROW(one(bad), corv::CorvError) << bad;
}

TEST_F(JetFunctionsQuery, FormatNumbers) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    ExpectCases(
        one,
        {
            {"Format(1234.5, 'Currency')", "$1,234.50"},
            {"Format(-1234.5, 'Currency')", "($1,234.50)"},
            {"Format(0, 'Currency')", "$0.00"},
            {"Format(-1234.5, 'Fixed')", "-1234.50"},
            {"Format(1234567.891, 'Standard')", "1,234,567.89"},
            {"Format(0.12345, 'Percent')", "12.35%"},
            {"Format(1234.5, 'Scientific') & ' ' & Format(-0.000123, 'scientific')", "1.23E+03 -1.23E-04"},
            {"Format(1234.5, 'General Number') & ' ' & Format(1.5)", "1234.5 1.5"},
            {"Format(2, 'Yes/No') & Format(0, 'True/False') & Format(-1, 'On/Off')", "YesFalseOn"},
            {"Format(-1234.5, '#,##0.00')", "-1,234.50"},
            // Halves round away from zero, on the digits the value shows.
            {"Format(2.675, '0.00') & ' ' & Format(-2.5, '0') & ' ' & Format(0.5, '#')", "2.68 -3 1"},
            {"Format(9.996, '0.00') & ' ' & Format(9.999, '0.00E+00')", "10.00 1.00E+01"},
            {"Format(5, '000') & ' ' & Format(0.5, '#.##') & ' ' & Format(0, '#.##')", "005 .5 ."},
            {"Format(1234567, '#,') & ' ' & Format(0.253, '0.0%')", "1235 25.3%"},
            {"Format(12345, '0.0e-0') & ' ' & Format(0.00012, '0.0E+00')", "1.2e4 1.2E-04"},
            {"Format(5551234567, '(000) 000-0000')", "(555) 123-4567"},
            {"Format(7, '\\#0 \"pcs\"')", "#7 pcs"},
            {"Format(-3, '0;(0);\\z\\e\\r\\o') & Format(0, '0;(0);\\z\\e\\r\\o') & Format(3, '0;(0)')",
             "(3)zero3"},
            {"Format(-3, '0;;0')", "-3"},  // an empty section takes the first
            {"Format(Null, '0;-0;0;\"none\"') & '|' & IsNull(Format(Null, 'Currency'))", "none|-1"},
            {"Format('12.5', '0.00') & ' ' & Format('abc', '0.00')", "12.50 abc"},
            {"Format('2000-01-01', 'General Number') & ' ' & Format('2000-01-01 12:00:00', '0.0')",
             "36526 36526.5"},
        });
}

TEST_F(JetFunctionsQuery, FormatDates) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    const std::string t = "'2000-01-31 13:05:09'";
    ExpectCases(
        one,
        {
            {"Format(" + t + ", 'General Date')", "1/31/2000 1:05:09 PM"},
            {"Format('2000-01-31') & '|' & Format('13:05:09')", "1/31/2000|1:05:09 PM"},
            {"Format(" + t + ", 'Long Date')", "Monday, January 31, 2000"},
            {"Format(" + t + ", 'Medium Date') & ' ' & Format(" + t + ", 'Short Date')",
             "31-Jan-00 1/31/2000"},
            {"Format(" + t + ", 'Long Time') & '|' & Format(" + t + ", 'Medium Time') & '|' & Format(" + t +
                 ", 'Short Time')",
             "1:05:09 PM|01:05 PM|13:05"},
            {"Format(" + t + ", 'yyyy-mm') & ' ' & Format(" + t + ", 'yy/m/d')", "2000-01 00/1/31"},
            {"Format(" + t + ", 'ddd dddd mmm mmmm q y')", "Mon Monday Jan January 1 31"},
            {"Format(" + t + ", 'h:mm:ss') & ' ' & Format(" + t + ", 'hh:nn am/pm') & ' ' & Format(" + t +
                 ", 'h A/P')",
             "13:05:09 01:05 pm 1 P"},
            {"Format('2000-01-01 00:30:00', 'h:nn AM/PM') & ' ' & Format('2000-01-01 12:00:00', 'h AMPM')",
             "12:30 AM 12 PM"},
            // 1 January 2000 was a Saturday, so 31 January is in week 6 and weekday 2.
            {"Format(" + t + ", 'w ww') & ' ' & Format('2000-12-31', 'ww')", "2 6 54"},
            {"Format(" + t + ", 'w ww', 2) & ' ' & Format('2021-01-01', 'ww', 2, 2)", "1 6 53"},
            {"Format(" + t + ", '\\d\\a\\y d \"of\" m')", "day 31 of 1"},
            {"Format(" + t + ", 'c') & '|' & Format(" + t + ", 'ddddd ttttt')",
             "1/31/2000 1:05:09 PM|1/31/2000 1:05:09 PM"},
            {"Format(36556, 'dd/mm/yyyy')", "31/01/2000"},  // a number read as a day serial
            {"Format('2000-02-29', 'Long Date')", "Tuesday, February 29, 2000"},
        });
}

TEST_F(JetFunctionsQuery, FormatTexts) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    ExpectCases(
        one,
        {
            {"Format('HELLO', '<') & Format('hello', '>') & Format('\xc3\x84x', '<')", "helloHELLO\xc3\xa4x"},
            // Of several letter-case markers the last wins.
            {"Format('MiXed', '<@@@@@>') & Format('MiXed', '>&&&&&<')", "MIXEDmixed"},
            // Placeholders fill from the right, or from the left after '!'; @ pads with a space, & with
            // nothing.
            {"'[' & Format('abc', '@@@@@') & '|' & Format('abc', '!@@@@@') & '|' & Format('abc', '&&&&&') & "
             "']'",
             "[  abc|abc  |abc]"},
            {"Format('abc', '@@-@@') & '|' & Format('abc', '!@@-@@') & '|' & Format('abc', '&&-&&') & '|' & "
             "Format('abc', '!&&-&&')",
             " a-bc|ab-c |a-bc|ab-c"},
            // Characters beyond the placeholders are kept, on the side the filling ends.
            {"Format('465043799', '@@@-@@-@@@@') & '|' & Format('1234567', '@@-@@') & '|' & "
             "Format('1234567', '!@@-@@')",
             "465-04-3799|12345-67|12-34567"},
            {"Format('MiXed', '>\\(@@@@@\\) \"a;b\" x')", "(MIXED) a;b x"},
            {"Format(Null, '@;\"none\"') & '|' & Format('', '@;\"none\"') & '|' & IsNull(Format(Null, '@')) "
             "& "
             "'|[' & Format('', '@@') & ']'",
             "none|none|-1|[  ]"},
            // A number or a date is written by its text; a text that reads as a number stays as written.
            {"'[' & Format(12.5, '@@@@@@') & '|' & Format(-3, '!&&&&') & '|' & Format('0012', '@@@@@') & ']'",
             "[  12.5|-3| 0012]"},
            {"Format(#2000-01-31 13:05:09#, '>')", "1/31/2000 1:05:09 PM"},
        });
}

TEST_F(JetFunctionsQuery, WeekArguments) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    ExpectCases(
        one,
        {
            // 3 January 2000 was a Monday.
            {"Weekday('2000-01-03') & Weekday('2000-01-03', 2) & Weekday('2000-01-03', 7)", "213"},
            {"DatePart('w', '2000-01-03', 2) & DatePart('w', '2000-01-02', 2)", "17"},
            {"DatePart('ww', '2000-01-01', 1, 1) & '|' & DatePart('ww', '2000-01-01', 0, 0)", "1|1"},
            // Monday weeks, the first with four days (ISO): 1 Jan 2021 (Friday) is in 2020's week
            // 53, 29 Dec 2003 (Monday) in 2004's week 1, 4 Jan 2010 (Monday) starts week 1.
            {"DatePart('ww', '2021-01-01', 2, 2) & '|' & DatePart('ww', '2003-12-29', 2, 2) & '|' & "
             "DatePart('ww', '2010-01-03', 2, 2) & '|' & DatePart('ww', '2010-01-04', 2, 2)",
             "53|1|53|1"},
            // Sunday weeks, the first full one: 1 Jan 2000 (Saturday) is in 1999's week 52,
            // 2 January starts week 1; 1 January 2006 was a Sunday and starts week 1 itself.
            {"DatePart('ww', '2000-01-01', 1, 3) & '|' & DatePart('ww', '2000-01-02', 1, 3) & '|' & "
             "DatePart('ww', '2006-01-01', 1, 3) & '|' & DatePart('ww', '2006-12-31', 1, 3)",
             "52|1|1|53"},
            // Week boundaries crossed move with the first day; firstweekofyear changes nothing.
            {"DateDiff('ww', '2000-01-02', '2000-01-03') & DateDiff('ww', '2000-01-02', '2000-01-03', 2) & "
             "DateDiff('ww', '2000-01-02', '2000-01-03', 2, 3)",
             "011"},
        });
    for (const char* bad : {"DatePart('ww', '2000-01-01', 8)", "DatePart('ww', '2000-01-01', 1, 4)",
                            "DatePart('ww', '2000-01-01', Null)", "Weekday('2000-01-01', -1)",
                            "DateDiff('d', '2000-01-01', '2000-01-02', 1, 1, 1)"})
        EXPECT_THROW(one(bad), corv::CorvError) << bad;
}

// Named formats, day and month names and weeks of "system" take what the published locale says.
TEST_F(JetFunctionsQuery, FormatFollowsThePublishedLocale) {
    const auto one = [&](const std::string& e) {
        return Column("SELECT " + e + " FROM [T] WHERE [X] = 2").at(0);
    };
    corv::JetLocale german;
    german.decimalPoint = ",";
    german.groupSeparator = ".";
    german.currencyPositive = "# €";
    german.currencyNegative = "-# €";
    german.shortDate = "dd.mm.yyyy";
    german.monthNames[0] = "Januar";
    german.dayNames[1] = "Montag";
    german.firstDayOfWeek = 2;
    corv::SetJetLocale(german);
    const Cases cases = {
        {"Format(-1234.5, 'Currency') & '|' & Format(1234.5, 'Standard') & '|' & Format(0.5, '0.0')",
         "-1.234,50 €|1.234,50|0,5"},
        {"Format('2000-01-31', 'Short Date') & ' ' & Format('2000-01-31', 'dddd mmmm')",
         "31.01.2000 Montag Januar"},
        {"Weekday('2000-01-03', 0)", "1"},
        {"Format(1234.5) & '|' & Format(-0.25, 'General Number')", "1234,5|-0,25"},
    };
    std::vector<std::string> got;
    for (const auto& c : cases) got.push_back(one(c.first));
    corv::SetJetLocale({});
    for (size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(got[k], cases[k].second) << cases[k].first;
    EXPECT_EQ(one("Format(-1234.5, 'Currency')"), "($1,234.50)");
}

}  // namespace
