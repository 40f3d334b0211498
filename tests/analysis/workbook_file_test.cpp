#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "SheetReaders.h"
#include "analysis/WorkbookApp.h"
#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "store/Auction.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace {

using corv::FieldType;
using corv::SheetValue;
using corv::Value;
using corv::test::ConvertWithLibreOffice;
using corv::test::PivotSums;
using corv::test::Quote;
using corv::test::ReadWithOpenpyxl;
using corv::test::Shell;

class WorkbookFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop_.Install();
        app_ = std::make_unique<corv::WorkbookApp>(folder_.File("Workbooks"));
    }

    // A new workbook of rows under the header names, with a table of field rowField by columnField summing
    // the last column.
    void AddPivotBook(const std::vector<std::string>& names, const std::vector<std::vector<Value>>& rows,
                      const std::string& rowField, const std::string& columnField) {
        app_->WorkbooksAdd(1033);
        for (std::size_t k = 0; k < names.size(); ++k)
            app_->Cells(1, static_cast<long>(k + 1), {Value(names[k])});
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t k = 0; k < names.size(); ++k)
                app_->Cells(static_cast<long>(r + 2), static_cast<long>(k + 1), {rows[r][k]});
        app_->PivotTableWizard(
            {1,
             {"sheet1", 1, 1, static_cast<long>(rows.size() + 1), static_cast<long>(names.size())},
             "",
             "PivotTable1"});
        app_->AddFields("PivotTable1", {rowField}, {columnField});
        app_->PivotFieldOrientation("PivotTable1", names.back(), corv::PivotOrientation::Data);
    }

    // The cells of the workbook's active sheet as openpyxl reads them, as comma-separated lines after the
    // lines the script prints first.
    static std::string ReadPivotSheet(const std::string& file, const std::string& script = {}) {
        const std::string all =
            "import sys, csv, openpyxl\n"
            "wb = openpyxl.load_workbook(sys.argv[1])\n"
            "ws = wb.active\n"
            "p = ws._pivots[0]\n" +
            script +
            "w = csv.writer(sys.stdout, lineterminator='\\n')\n"
            "for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=ws.max_column, "
            "values_only=True):\n"
            "    w.writerow(['' if v is None else v for v in row])\n";
        return Shell("/usr/bin/python3 -c " + Quote(all) + " " + Quote(file) + " 2>&1");
    }

    // The pivot sheet as LibreOffice rebuilds it, its total labels worded as the written ones.
    std::string RebuiltPivotSheet(const std::string& file) {
        std::string rebuilt = ConvertWithLibreOffice(file, folder_.Path())["Sheet2"];
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"Total Result", "Grand Total"}, {" Result", " Total"}})
            for (std::size_t at; (at = rebuilt.find(from)) != std::string::npos;)
                rebuilt.replace(at, from.size(), to);
        return rebuilt;
    }

    corv::test::TempFolder folder_;
    corv::test::ScriptedDesktop desktop_;
    std::unique_ptr<corv::WorkbookApp> app_;
};

}  // namespace

TEST_F(WorkbookFileTest, TypedValuesAndAnyTextReadBackTheSame) {
    app_->WorkbooksAdd(1033);
    app_->SheetsActivate("SHEET1");
    const std::vector<std::vector<SheetValue>> rows = {
        {{"Text"}, {"Long"}, {"Double"}, {"Currency"}, {"Date"}, {"Boolean"}, {"Null"}},
        {{"Delta & Sons <x>", FieldType::Text},
         {42, FieldType::Long},
         {1.5, FieldType::Double},
         {1234.5, FieldType::Currency},
         {"2024-03-05 00:00:00", FieldType::DateTime},
         {-1, FieldType::Boolean},
         {nullptr, FieldType::Text}},
        {{"  ", FieldType::Text},
         {Value(std::int64_t{-7}), FieldType::Integer},
         {0.1, FieldType::Double},
         {-0.5, FieldType::Currency},
         {"2024-03-05 13:45:10", FieldType::DateTime},
         {0, FieldType::Boolean},
         {"last", FieldType::Text}},
        {{"memo\vwith\x01 controls\r\nand\ttab", FieldType::Memo},
         {"_x0041_ stays", FieldType::Text},
         {"caf\xC3 cut", FieldType::Text},
         {"\xC3\xBCml\xC3\xA4ut \"q\" 'a'", FieldType::Text}}};
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            app_->Cells(static_cast<long>(r + 1), static_cast<long>(c + 1), rows[r][c]);
    app_->Visible(true, 1033);
    ASSERT_EQ(app_->WrittenFiles().size(), 1u);
    const std::string file = app_->WrittenFiles()[0];
    EXPECT_EQ(desktop_.openedFiles, app_->WrittenFiles());
    // openpyxl, a strict reader, loads it and sees the types; it leaves _xHHHH_ forms as they are written.
    EXPECT_EQ(ReadWithOpenpyxl(file, "Sheet1"),
              "A1|s|General|'Text'\nB1|s|General|'Long'\nC1|s|General|'Double'\nD1|s|General|'Currency'\n"
              "E1|s|General|'Date'\nF1|s|General|'Boolean'\nG1|s|General|'Null'\n"
              "A2|s|General|'Delta & Sons <x>'\nB2|n|General|42\nC2|n|General|1.5\nD2|n|#,##0.00|1234.5\n"
              "E2|d|yyyy\\-mm\\-dd|datetime.datetime(2024, 3, 5, 0, 0)\nF2|b|General|True\n"
              "A3|s|General|'  '\nB3|n|General|-7\nC3|n|General|0.1\nD3|n|#,##0.00|-0.5\n"
              "E3|d|yyyy\\-mm\\-dd\\ hh:mm:ss|datetime.datetime(2024, 3, 5, 13, 45, 10)\nF3|b|General|False\n"
              "G3|s|General|'last'\n"
              "A4|s|General|'memo_x000B_with_x0001_ controls_x000D_\\nand\\ttab'\n"
              "B4|s|General|'_x005F_x0041_ stays'\nC4|s|General|'caf\xEF\xBF\xBD cut'\n"
              "D4|s|General|'\xC3\xBCml\xC3\xA4ut \"q\" \\'a\\''\n"
              // each column two characters wider than its widest content, whatever its type
              "widths [30.0, 15.0, 10.0, 16.0, 21.0, 9.0, 6.0]\n");
    // LibreOffice decodes every character back.
    const auto sheets = ConvertWithLibreOffice(file, folder_.Path());
    ASSERT_EQ(sheets.count("Sheet1"), 1u);
    EXPECT_EQ(sheets.at("Sheet1"),
              "Text,Long,Double,Currency,Date,Boolean,Null\n"
              "Delta & Sons <x>,42,1.5,1234.5,2024-03-05,TRUE,\n"
              "  ,-7,0.1,-0.5,2024-03-05 13:45:10,FALSE,last\n"
              // (its cells keep line feeds only: the carriage return of a CR LF is its own doing)
              "\"memo\vwith\x01 controls\nand\ttab\",_x0041_ stays,caf\xEF\xBF\xBD cut,"
              "\"\xC3\xBCml\xC3\xA4ut \"\"q\"\" 'a'\",,,\n");
}

TEST_F(WorkbookFileTest, PivotTableOfCopiedBidsShowsTheSqlSums) {
    corv::fixture::AuctionOptions options;
    options.rounds = 3;
    const std::string db = corv::test::BuildAuctionDatabase(folder_.Path(), options);
    corv::store::AuctionSession session;
    corv::Database& auction = session.Open(db).Data();
    // Copied and pivoted the way the bid analyses do it.
    auto rs = auction.OpenRecordset("SELECT * FROM [Markets and Bidders] ORDER BY [Market]");
    app_->WorkbooksAdd(1033);
    app_->SheetsActivate("sheet1");
    for (int k = 0; k < rs->FieldCount(); ++k) app_->Cells(1, k + 1, {Value(rs->Field(k).name)});
    long r = 2;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext(), ++r)
        for (int k = 0; k < rs->FieldCount(); ++k)
            app_->Cells(r, k + 1, {rs->GetValue(k), corv::FieldTypeFromDeclared(rs->Field(k).declaredType)});
    app_->PivotTableWizard({1, {"sheet1", 1, 1, r - 1, 7}, "", "PivotTable1"});
    const std::array<bool, 12> off{};
    const std::vector<std::string> columns{"Market", "Block", "Bidder Name"};
    app_->PivotFieldSubtotals("PivotTable1", "Round", off);
    for (const std::string& f : columns) app_->PivotFieldSubtotals("PivotTable1", f, off);
    app_->AddFields("PivotTable1", {"Round"}, columns);
    app_->PivotFieldOrientation("PivotTable1", "Bid Amount", corv::PivotOrientation::Data);
    app_->ColumnGrand("PivotTable1", false);
    app_->RowGrand("PivotTable1", false);
    app_->Visible(true, 1033);
    app_->DisplayFullScreen(true);
    app_->DisplayFullScreen(false);

    std::map<std::string, double> expected;
    auto sums = auction.OpenRecordset(
        "SELECT [Round], [Market], [Block], [Bidder Name], Sum([Bid Amount]) FROM [Markets and Bidders] "
        "GROUP BY [Round], [Market], [Block], [Bidder Name]");
    for (sums->MoveFirst(); !sums->Eof(); sums->MoveNext())
        expected[sums->GetValue(0).toString() + "|" + sums->GetValue(1).toString() + "|" +
                 sums->GetValue(2).toString() + "|" + sums->GetValue(3).toString()] =
            sums->GetValue(4).asDouble();
    session.Close();
    ASSERT_GT(expected.size(), 20u);

    const std::string file = app_->WrittenFiles().at(0);
    const std::string script =
        "import sys, csv, openpyxl\n"
        "wb = openpyxl.load_workbook(sys.argv[1])\n"
        "ws = wb.active\n"
        "p = ws._pivots[0]\n"
        "print(wb.sheetnames, ws.title, p.name, p.cache.recordCount, len(p.cache.records.r))\n"
        "w = csv.writer(sys.stdout, lineterminator='\\n')\n"
        "for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=ws.max_column, values_only=True):\n"
        "    w.writerow(['' if v is None else v for v in row])\n";
    const std::string read = Shell("/usr/bin/python3 -c " + Quote(script) + " " + Quote(file) + " 2>&1");
    const std::string summary = "['Sheet2', 'Sheet1'] Sheet2 PivotTable1 " + std::to_string(r - 2) + " " +
                                std::to_string(r - 2) + "\n";
    ASSERT_EQ(read.substr(0, summary.size()), summary) << read;
    // The cells written for the table, and LibreOffice's own rebuild of it from the source range.
    EXPECT_EQ(PivotSums(read.substr(summary.size())), expected);
    const auto sheets = ConvertWithLibreOffice(file, folder_.Path());
    ASSERT_EQ(sheets.count("Sheet2"), 1u);
    EXPECT_EQ(PivotSums(sheets.at("Sheet2")), expected);
}

TEST_F(WorkbookFileTest, EachNewWorkbookGetsTheNextFreeBookNameAndIsOpened) {
    std::filesystem::create_directories(folder_.File("Workbooks"));
    std::ofstream(folder_.File("Workbooks/Book1.xlsx")) << "someone else's";
    app_->WorkbooksAdd(1033);
    app_->Visible(true, 1033);
    app_->WorkbooksAdd(1033);
    app_->Visible(true, 1033);
    app_->Visible(true, 1033);  // nothing new
    const std::vector<std::string> books{folder_.File("Workbooks/Book2.xlsx"),
                                         folder_.File("Workbooks/Book3.xlsx")};
    EXPECT_EQ(app_->WrittenFiles(), books);
    EXPECT_EQ(desktop_.openedFiles, books);
    std::ifstream first(folder_.File("Workbooks/Book1.xlsx"));
    std::string kept;
    std::getline(first, kept);
    EXPECT_EQ(kept, "someone else's");

    desktop_.openSucceeds = false;
    app_->WorkbooksAdd(1033);
    try {
        app_->Visible(true, 1033);
        ADD_FAILURE() << "an unopened workbook went unreported";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), corv::kSpreadsheetError);
        EXPECT_NE(e.description().find(folder_.File("Workbooks/Book4.xlsx")), std::string::npos)
            << e.description();
    }
    EXPECT_TRUE(std::filesystem::exists(folder_.File("Workbooks/Book4.xlsx")));
}

TEST_F(WorkbookFileTest, SheetsAndCellsOutsideTheWorkbookAreRefused) {
    app_->WorkbooksAdd(1033);
    try {
        app_->SheetsActivate("sheet2");
        ADD_FAILURE();
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), 9);
    }
    app_->Cells(corv::kMaxSheetRows, 1, {1});
    try {
        app_->Cells(corv::kMaxSheetRows + 1, 1, {1});
        ADD_FAILURE() << "a row past the sheet was taken";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), corv::kSpreadsheetError);
        EXPECT_NE(e.description().find("1048577"), std::string::npos) << e.description();
    }
}

TEST_F(WorkbookFileTest, TableWithSubtotalsAndGrandTotalsIsWrittenAsLibreOfficeBuildsIt) {
    app_->WorkbooksAdd(1033);
    const char* names[] = {"R", "M", "B", "N", "Amt"};
    for (int k = 0; k < 5; ++k) app_->Cells(1, k + 1, {Value(names[k])});
    // Items differing in case only are one item; the two-space block sorts first.
    const std::vector<std::vector<Value>> rows = {{1, "X", "a", "p", 10},   {1, "X", "b", "q", 5},
                                                  {2, "Y", "a", "p", 7},    {2, "X", "a", "q", 1},
                                                  {3, "Y", "  ", "p", 2.5}, {1, "x", "a", "p", 4}};
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int k = 0; k < 5; ++k) app_->Cells(static_cast<long>(r + 2), k + 1, {rows[r][k]});
    app_->PivotTableWizard({1, {"sheet1", 1, 1, static_cast<long>(rows.size() + 1), 5}, "", "PivotTable1"});
    app_->AddFields("PivotTable1", {"R", "N"}, {"M", "B"});
    app_->PivotFieldOrientation("PivotTable1", "Amt", corv::PivotOrientation::Data);
    app_->Visible(true, 1033);
    const std::string file = app_->WrittenFiles().at(0);
    const std::string written = ReadPivotSheet(file);
    EXPECT_EQ(written, RebuiltPivotSheet(file));
    EXPECT_NE(written.find("Grand Total,,15,5,20,2.5,7,9.5,29.5\n"), std::string::npos) << written;
}

TEST_F(WorkbookFileTest, RowAndColumnGrandTotalsAreSetApart) {
    const std::vector<std::vector<Value>> rows = {{1, "X", 10}, {1, "Y", 5}, {2, "X", 7}};
    for (const bool rowGrand : {true, false}) {
        AddPivotBook({"R", "M", "Amt"}, rows, "R", "M");
        app_->RowGrand("PivotTable1", rowGrand);
        app_->ColumnGrand("PivotTable1", !rowGrand);
        app_->Visible(true, 1033);
        const std::string file = app_->WrittenFiles().back();
        const std::string written = ReadPivotSheet(file, "print(p.rowGrandTotals, p.colGrandTotals)\n");
        // Grand totals for rows: a column at the right totalling each row, which the part calls
        // colGrandTotals; for columns, a row at the bottom, its rowGrandTotals.
        const std::string expected =
            rowGrand ? "False True\n,,,\n,,,\nSum of Amt,M,,\nR,X,Y,Grand Total\n1,10,5,15\n2,7,,7\n"
                     : "True False\n,,\n,,\nSum of Amt,M,\nR,X,Y\n1,10,5\n2,7,\nGrand Total,17,5\n";
        EXPECT_EQ(written, expected) << "rowGrand " << rowGrand;
        EXPECT_EQ(RebuiltPivotSheet(file), expected.substr(expected.find('\n') + 1))
            << "rowGrand " << rowGrand;
    }
}

TEST_F(WorkbookFileTest, PivotValuesWithMarkupAndBlanksReadBackIntact) {
    const std::vector<std::string> names{"Q \"x\" & <y>", "tab\there", "line\nbreak", "cr\r\nlf"};
    std::vector<std::vector<Value>> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({Value(names[i]), "k", Value(names[names.size() - 1 - i]), static_cast<int>(i + 1)});
    // Name's values become the table's items, Note's stay in the cache's records.
    AddPivotBook({"Name", "Kind", "Note", "Amt"}, rows, "Name", "Kind");
    app_->Visible(true, 1033);
    const std::string file = app_->WrittenFiles().back();
    EXPECT_EQ(
        ReadPivotSheet(file,
                       "print(sorted(i.v for i in p.cache.cacheFields[0].sharedItems._fields))\n"
                       "print([f.v for r in p.cache.records.r for f in r._fields if isinstance(f.v, str)])\n"
                       "sys.exit()\n"),
        "['Q \"x\" & <y>', 'cr\\r\\nlf', 'line\\nbreak', 'tab\\there']\n"
        "['cr\\r\\nlf', 'line\\nbreak', 'tab\\there', 'Q \"x\" & <y>']\n");
    // LibreOffice's cells keep the line feed of a CR LF only.
    const std::string rebuilt = RebuiltPivotSheet(file);
    for (const char* line :
         {"\"Q \"\"x\"\" & <y>\",1,1\n", "tab\there,2,2\n", "\"line\nbreak\",3,3\n", "\"cr\nlf\",4,4\n"})
        EXPECT_NE(rebuilt.find(line), std::string::npos) << line << " in\n" << rebuilt;
}
