#include <gtest/gtest.h>

#include <QComboBox>
#include <QProcess>
#include <QStandardPaths>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Recordset.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "support/ViewerTest.h"
#include "viewer/GridPrinter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/TextExport.h"
#include "viewer/frmFlexGrid.h"

using corv::frmFlexGrid;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by)) parts.push_back(part);
    return parts;
}

class ExportPrintTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        options_.rounds = 2;
        OpenAuction();
    }

    // A viewer on the first table and round, as the New command leaves it.
    std::unique_ptr<frmFlexGrid> FirstTableViewer() {
        auto viewer = NewViewer();
        Show(*viewer, 0);
        return viewer;
    }
    // A user table shown whole in a new viewer.
    std::unique_ptr<frmFlexGrid> ViewerOn(const std::string& table, const std::string& createAndFill) {
        corv::test::RunSqlite(path_, createAndFill + "; INSERT INTO sysTables VALUES ('" + table + "');");
        auto viewer = FirstTableViewer();
        viewer->ddlTableName->setCurrentIndex(viewer->ddlTableName->findText(QString::fromStdString(table)));
        return viewer;
    }
    // What the grid shows, as the file should hold it.
    static std::string GridAsText(const frmFlexGrid& viewer) {
        const corv::RecordsetModel& grid = *viewer.GridModel();
        std::string text;
        for (int r = -1; r < grid.rowCount(); ++r) {
            for (int c = 0; c < grid.columnCount(); ++c) {
                if (c > 0) text += '\t';
                text += (r < 0 ? grid.headerData(c, Qt::Horizontal).toString() : grid.CellText(r, c))
                            .toStdString();
            }
            text += '\n';
        }
        return text;
    }

    corv::test::TempFolder out_;
};

}  // namespace

TEST_F(ExportPrintTest, ExportWritesTheShownRowsInTheirOrderAsTheGridShowsThem) {
    auto viewer = FirstTableViewer();
    const int all = viewer->GridModel()->rowCount();
    auto narrowed = viewer->WholeResult();
    narrowed->Filter = "[Bidder Name] <> 'Arcadia Wireless'";
    narrowed->Sort = "[Bid Amount] DESC";
    viewer->SetRecordset(narrowed->OpenRecordset());
    ASSERT_LT(viewer->GridModel()->rowCount(), all);

    const std::string file = out_.File("bids");  // used as typed: no ".txt" is added
    desktop_.SaveFile(file);
    corv::DBSaveAs(*viewer);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text, GridAsText(*viewer));
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("Bidder Name\tBid Amount"), std::string::npos);
}

TEST_F(ExportPrintTest, ExportReplacesAnExistingFileWithoutAskingAndSaysSo) {
    auto viewer = FirstTableViewer();
    const std::string file = out_.File("bids.txt");
    std::ofstream(file) << std::string(100000, 'x');
    desktop_.SaveFile(file);
    corv::DBSaveAs(*viewer);

    EXPECT_EQ(ReadFile(file), GridAsText(*viewer));
    ASSERT_EQ(desktop_.fileDialogs.size(), 1u);
    const corv::test::ShownFileDialog& dialog = desktop_.fileDialogs[0];
    EXPECT_TRUE(dialog.save);
    EXPECT_EQ(dialog.options.filter, "Tab Delimited Text (*.txt)|*.txt|");
    EXPECT_TRUE(dialog.options.hideReadOnly);
    EXPECT_EQ(dialog.options.fileName, "");
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, "       Export completed.");
    EXPECT_EQ(desktop_.boxes[0].title, "Operation Complete");
    EXPECT_EQ(desktop_.boxes[0].icon, corv::MsgIcon::None);
    EXPECT_EQ(desktop_.boxes[0].buttons, corv::MsgButtons::OK);
    EXPECT_GE(desktop_.maxBusyDepth, 1);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(ExportPrintTest, CancellingTheExportWritesAndShowsNothing) {
    auto viewer = FirstTableViewer();
    desktop_.SaveFile(std::nullopt);
    corv::DBSaveAs(*viewer);
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_TRUE(std::filesystem::is_empty(out_.Path()));
}

TEST_F(ExportPrintTest, TabsAndLineBreaksInsideACellBecomeBlanks) {
    auto viewer = ViewerOn("Notes",
                           "CREATE TABLE Notes (Id Long, Note Text); "
                           "INSERT INTO Notes VALUES (1, 'a' || char(9) || 'b'), "
                           "(2, 'one' || char(10) || 'two' || char(13) || char(10) || 'three'), "
                           "(3, 'para' || char(8233) || 'graph')");
    const std::string file = out_.File("notes.txt");
    desktop_.SaveFile(file);
    corv::DBSaveAs(*viewer);
    EXPECT_EQ(ReadFile(file), "Id\tNote\n1\ta b\n2\tone two  three\n3\tpara graph\n");
}

TEST_F(ExportPrintTest, AFailedExportShowsTheErrorWithoutAColon) {
    auto viewer = FirstTableViewer();
    desktop_.SaveFile(out_.File("no such folder/bids.txt"));
    corv::DBSaveAs(*viewer);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text.rfind("Error 76 Path not found", 0), 0u) << desktop_.boxes[0].text;
    EXPECT_EQ(desktop_.boxes[0].title, "");
    EXPECT_EQ(desktop_.boxes[0].busyDepth, 0);
}

TEST_F(ExportPrintTest, AnExportNeverReplacesTheAuctionOrItsLog) {
    auto viewer = FirstTableViewer();
    const long long bids = corv::test::QueryCount(path_, "SELECT count(*) FROM [Markets and Bidders]");
    for (const std::string& target : {path_, path_ + "-wal"}) {
        desktop_.SaveFile(target);
        corv::DBSaveAs(*viewer);
    }
    ASSERT_EQ(desktop_.boxes.size(), 2u);
    EXPECT_EQ(desktop_.boxes[1].text.rfind("Error 75 Path/File access error", 0), 0u)
        << desktop_.boxes[1].text;
    EXPECT_EQ(corv::test::QueryCount(path_, "SELECT count(*) FROM [Markets and Bidders]"), bids);
}

TEST_F(ExportPrintTest, PrintedPagesHoldEveryRowWithItsNumberAndTheHeadersOfTheirColumns) {
    // Ten wide columns do not fit one page's width, so each band of rows takes two pages or more. The first
    // column is text, so no value can pass for a row number.
    constexpr int kRows = 130;
    constexpr int kColumns = 10;
    std::string create = "CREATE TABLE [Wide List] (Name Text";
    for (int c = 1; c < kColumns; ++c) create += ", [Column " + std::to_string(c) + "] Text";
    create += "); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
              std::to_string(kRows) + ") INSERT INTO [Wide List] SELECT printf('name-%03d', i)";
    for (int c = 1; c < kColumns; ++c)
        create += ", printf('cell-%03d-" + std::to_string(c) + "-of-a-rather-wide-column', i)";
    create += " FROM n";
    auto viewer = ViewerOn("Wide List", create);
    ASSERT_EQ(viewer->GridModel()->rowCount(), kRows);

    const QString pdf = QString::fromStdString(out_.File("print.pdf"));
    corv::PrintGrid(*viewer, [&] { return corv::PdfPrinter(pdf); });
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
    ASSERT_EQ(desktop_.progress.size(), 1u);
    EXPECT_TRUE(desktop_.progress[0].ended);

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    ASSERT_FALSE(pdftotext.isEmpty()) << "pdftotext (poppler-utils) is needed";
    QProcess run;
    run.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(run.waitForFinished(60000));
    std::vector<std::string> pages = Split(run.readAllStandardOutput().toStdString(), '\f');
    while (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
    const int count = static_cast<int>(pages.size());
    ASSERT_GE(count, 4);

    const corv::RecordsetModel& grid = *viewer->GridModel();
    std::vector<int> seen(static_cast<std::size_t>(kRows * kColumns), 0);
    for (int p = 0; p < count; ++p) {
        const std::string& page = pages[static_cast<std::size_t>(p)];
        EXPECT_NE(page.find("Wide List"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(page.find("Page " + std::to_string(p + 1) + " of " + std::to_string(count)),
                  std::string::npos);
        bool anyColumn = false;
        for (int c = 0; c < kColumns; ++c) {
            bool cellsHere = false;
            for (int r = 0; r < kRows; ++r) {
                const std::string cell = grid.CellText(r, c).toStdString();  // unique
                const std::size_t at = page.find(cell);
                if (at == std::string::npos) continue;
                ++seen[static_cast<std::size_t>(r * kColumns + c)];
                cellsHere = true;
                // The row's number leads its line on every page of its band.
                const std::size_t lineStart = page.rfind('\n', at) + 1;  // npos + 1 is 0
                std::istringstream line(page.substr(lineStart, at - lineStart));
                std::string number;
                line >> number;
                EXPECT_EQ(number, std::to_string(r + 1)) << "page " << p + 1 << " column " << c;
            }
            if (!cellsHere) continue;
            anyColumn = true;
            EXPECT_NE(page.find(grid.headerData(c, Qt::Horizontal).toString().toStdString()),
                      std::string::npos)
                << "page " << p + 1 << " column " << c;
        }
        EXPECT_TRUE(anyColumn) << "page " << p + 1;
    }
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            EXPECT_EQ(seen[static_cast<std::size_t>(r * kColumns + c)], 1)
                << "row " << r + 1 << " column " << c;
    EXPECT_EQ(desktop_.progress[0].maximum, count);
    EXPECT_EQ(desktop_.progress[0].steps.back().first, count);
}

TEST_F(ExportPrintTest, CancellingThePrintStopsAfterThePageUnderWayWithoutABox) {
    std::string create =
        "CREATE TABLE [Long List] (Id Long); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
        "SELECT i + 1 FROM n WHERE i < 500) INSERT INTO [Long List] SELECT i FROM n";
    auto viewer = ViewerOn("Long List", create);
    desktop_.CancelProgressAtStep(2);
    corv::PrintGrid(*viewer, [&] { return corv::PdfPrinter(QString::fromStdString(out_.File("cut.pdf"))); });
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
    ASSERT_EQ(desktop_.progress.size(), 1u);
    EXPECT_EQ(desktop_.progress[0].steps.size(), 2u);
    EXPECT_TRUE(desktop_.progress[0].ended);
}

TEST_F(ExportPrintTest, PrintingWithoutAPrinterShowsError482) {
    auto viewer = FirstTableViewer();
    corv::PrintGrid(*viewer, [] { return std::unique_ptr<QPrinter>(); });
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, "Error 482: Printer error. No printer is installed.");
    EXPECT_EQ(desktop_.boxes[0].title, "");
    EXPECT_EQ(desktop_.boxes[0].icon, corv::MsgIcon::None);
    EXPECT_EQ(desktop_.boxes[0].busyDepth, 0);
}
