// Figures for the table viewer on a large auction: load times, scrolling, memory, column statistics.
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>
#include <QTimer>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "BenchSupport.h"
#include "engine/Schema.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "viewer/RecordsetModel.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace {

using namespace bench;

// How long the engine alone takes to open the same query, so the viewer's own share shows.
void EngineOnly(corv::Database& db, const std::string& sql) {
    Timer t;
    auto rs = db.OpenRecordset(sql, corv::RecordsetType::Snapshot);
    t.Print("  engine alone: the set opened", "");
    const std::size_t first = rs->RowCount();
    rs->WaitComplete();
    char label[128];
    std::snprintf(label, sizeof label, "  engine alone: open (%zu rows at once) and load all %zu rows", first,
                  rs->RowCount());
    t.Print(label, "");

    // Inside a transaction the engine reads every row before the set opens: the cost the viewer avoids.
    Timer whole;
    db.BeginTrans();
    auto plain = db.OpenRecordset(sql, corv::RecordsetType::Snapshot);
    db.Rollback();
    std::snprintf(label, sizeof label, "  engine alone, all %zu rows read before opening", plain->RowCount());
    whole.Print(label, "");
}

// A result other than a whole table is written once to a temporary file and paged from it.
void QueryResult(corv::Database& db, const std::string& sql) {
    Timer t;
    auto rs = db.OpenRecordset(sql, corv::RecordsetType::Snapshot);
    rs->WaitComplete();
    char label[128];
    std::snprintf(label, sizeof label, "  query result of %zu rows: open and write to its file",
                  rs->RowCount());
    t.Print(label, "");
    Timer read;
    double sum = 0;
    for (std::size_t r = 0; r < rs->RowCount(); ++r) sum += rs->Cell(r, 5).asDouble();
    read.Print("  query result: every row read back, page by page", "");
    std::printf("  -> %.2f\n", sum);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int perRound = 3000;
    QApplication app(argc, argv);
    corv::test::ScriptedDesktop desktop;
    desktop.Install();

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("viewer_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Auction14.mdb";
    auto t = Clock::now();
    WriteBidAuction(path, rows, perRound);
    std::printf("setup: wrote %d rows (twice) in %.0f ms\n", rows, Ms(t));

    corv::test::FakeViewerHost host;
    corv::frmFlexGrid viewer(host);
    host.active = &viewer;
    viewer.resize(1000, 700);
    viewer.show();
    app.processEvents();
    viewer.grab();
    const long rssEmpty = RssKb();

    host.session.Open(path);
    host.PopulateTables();
    host.PopulateRounds();
    viewer.ddlRoundNum->setCurrentIndex(0);

    // 1. A per-round table of 3,000 rows: load, bind, paint.
    Timer t1;
    viewer.ddlTableName->setCurrentIndex(viewer.ddlTableName->findText("Markets and Bidders"));
    app.processEvents();
    viewer.grab();
    const std::string all = QLocale(QLocale::English).toString(rows).toStdString();
    t1.Print(("per-round table (3,000 of " + all + " rows) shown").c_str(), "[aim < 50 ms]");
    EngineOnly(host.OpenAuction()->Data(), "SELECT * FROM [Markets and Bidders] WHERE [Round] = 1");
    Timer t2;
    viewer.ddlRoundNum->setCurrentIndex(viewer.ddlRoundNum->count() / 2);
    app.processEvents();
    viewer.grab();
    t2.Print("another round chosen and shown", "");

    // 2. The whole table of every row: its first rows show while the rest loads in the background.
    Timer t3;
    viewer.ddlTableName->setCurrentIndex(viewer.ddlTableName->findText("All Bids"));
    app.processEvents();
    viewer.grab();
    t3.Print(("whole " + all + "-row table: first paint").c_str(), "[aim < 300 ms]");
    std::printf("  rows in grid at first paint: %d\n", viewer.GridModel()->rowCount());

    // 3. Jump to the last row while it loads: the grid's end is wherever loading has got to.
    Timer t4;
    viewer.MSFlexGrid1->scrollToBottom();
    app.processEvents();
    viewer.grab();
    t4.Print("jump to last row and repaint while loading", "[aim < 50 ms]");
    std::printf("  rows in grid then: %d\n", viewer.GridModel()->rowCount());

    // Loading goes on while the window takes events as usual.
    const auto recordset = viewer.GridModel()->GetRecordset();
    while (viewer.GridModel()->rowCount() < static_cast<int>(recordset->RowCount()) ||
           recordset->IsLoading()) {
        QEventLoop idle;
        QTimer::singleShot(20, &idle, &QEventLoop::quit);
        idle.exec();
    }
    t3.Print("whole table: loading complete, every row in the grid", "");
    std::printf("  rows in grid: %d\n", viewer.GridModel()->rowCount());
    EngineOnly(host.OpenAuction()->Data(), "SELECT * FROM [All Bids]");
    QueryResult(host.OpenAuction()->Data(), "SELECT * FROM [All Bids] WHERE [Round] > 0");

    Timer t4b;
    viewer.MSFlexGrid1->scrollToBottom();
    app.processEvents();
    viewer.grab();
    t4b.Print("jump to last row and repaint after loading", "[aim < 50 ms]");

    const long rssOpen = RssKb();
    std::printf(
        "RSS: empty viewer %.1f MB, with the whole table open %.1f MB (delta %.1f MB)   [aim < 300 MB]\n",
        rssEmpty / 1024.0, rssOpen / 1024.0, (rssOpen - rssEmpty) / 1024.0);

    // 4. Sum over a whole column, read cell by cell as shown.
    const int amount = 5;
    emit viewer.MSFlexGrid1->horizontalHeader()->sectionPressed(amount);  // a header click
    Timer t5;
    viewer.ComputeSelection("Sum");
    t5.Print(("Sum over a whole Currency column of " + all + " cells").c_str(), "[aim < 500 ms]");
    std::printf("  -> %s\n", host.panels[3].toUtf8().constData());
    emit viewer.MSFlexGrid1->horizontalHeader()->sectionPressed(1);
    Timer t6;
    viewer.ComputeSelection("Average");
    t6.Print("Average over a whole Long column", "");
    std::printf("  -> %s\n", host.panels[3].toUtf8().constData());

    // For comparison: the same per-round table in a database without the Round index scans every row.
    host.OpenAuction()->Data().Execute(
        "DROP INDEX [sysRoundIndex Markets and Bidders] ON [Markets and Bidders]");
    Timer t7;
    viewer.ddlTableName->setCurrentIndex(viewer.ddlTableName->findText("Markets and Bidders"));
    app.processEvents();
    viewer.grab();
    t7.Print("per-round table shown without the Round index", "");

    if (!desktop.boxes.empty()) std::printf("unexpected message: %s\n", desktop.boxes.back().text.c_str());
    host.session.Close();
    // VIEWER_BENCH_KEEP=1 keeps the file, to open the same rows in another program.
    if (qEnvironmentVariableIsEmpty("VIEWER_BENCH_KEEP"))
        std::filesystem::remove_all(folder);
    else
        std::printf("file kept: %s\n", path.c_str());
    return 0;
}
