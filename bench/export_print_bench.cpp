// Figures for text export and printing of a large result: 300,000 rows of 7 columns shown whole.
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Schema.h"
#include "store/AuctionDb.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "viewer/GridPrinter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/TextExport.h"
#include "viewer/frmFlexGrid.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// CPU time of this process: the machine is shared, so wall time alone overstates the work.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void Exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
        std::exit(1);
    }
}

// "All Bids", a whole table of the columns of "Markets and Bidders", and the catalog.
void WriteAuction(const std::string& path, int rows) {
    using corv::FieldType;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    Exec(db, corv::CreateTableSql("main", "All Bids",
                                  {{"Auction Id", FieldType::Long, ""},
                                   {"Round", FieldType::Long, ""},
                                   {"Market", FieldType::Text, ""},
                                   {"Block", FieldType::Text, ""},
                                   {"Bidder Name", FieldType::Text, ""},
                                   {"Bid Amount", FieldType::Currency, ""},
                                   {"Net Bid Amount", FieldType::Currency, ""}}));
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(rows - 1) +
                 ") INSERT INTO [All Bids] SELECT 14, 1 + i / 3000, printf('M%03d-Market Area %d', i % 493, "
                 "i % 493), CASE WHEN i % 3 = 0 THEN '  ' ELSE 'A' END, CASE i % 5 WHEN 0 THEN "
                 "'Northwind Wireless' WHEN 1 THEN 'O''Hara Telecom' WHEN 2 THEN 'Bluebird PCS' WHEN 3 THEN "
                 "'Corvid Spectrum' ELSE 'Summit Mobile' END, 100000.0 + (i % 9973) * 250.0 + "
                 "(CASE WHEN i % 4 = 0 THEN 0.75 ELSE 0 END), (100000.0 + (i % 9973) * 250.0) * 0.85 FROM n");
    Exec(db, corv::CreateTableSql("main", "sysSuppliedTables", {{"TableName", FieldType::Text, ""}}));
    Exec(db, corv::CreateTableSql("main", "sysRounds", {{"Round", FieldType::Double, ""}}));
    Exec(db, "INSERT INTO sysRounds VALUES (1)");
    Exec(db, corv::CreateTableSql("main", "sysTables", {{"TableName", FieldType::Text, ""}}));
    Exec(db, "INSERT INTO sysTables VALUES ('All Bids'); COMMIT");
    sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rows = argc > 1 ? std::atoi(argv[1]) : 300000;
    // Where the printed PDF is kept (to look at its pages); by default it is removed with the rest.
    const std::string keepPdf = argc > 2 ? argv[2] : "";
    QApplication app(argc, argv);
    corv::test::ScriptedDesktop desktop;
    desktop.Install();

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("export_print_bench_" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Auction14.mdb";
    WriteAuction(path, rows);

    corv::test::FakeViewerHost host;
    corv::frmFlexGrid viewer(host);
    host.active = &viewer;
    corv::OpenAuctionDb(path);
    host.PopulateTables();
    host.PopulateRounds();
    viewer.ddlRoundNum->setCurrentIndex(0);
    viewer.ddlTableName->setCurrentIndex(0);
    auto shown = viewer.WholeResult();  // loading is measured elsewhere (viewer_bench)
    std::printf("%zu rows of %d columns shown (%s)\n", shown->RowCount(), shown->FieldCount(),
                viewer.CaptionText().toUtf8().constData());
    const long rssBefore = RssKb();

    // 1. Text export, the command as the user runs it.
    const std::string text = folder + "/bids.txt";
    desktop.SaveFile(text);
    auto t = Clock::now();
    double cpu = CpuMs();
    corv::DBSaveAs(viewer);
    std::printf("text export: wall %7.1f ms  cpu %7.1f ms  %.1f MB   [aim < 1000 ms]\n", Ms(t), CpuMs() - cpu,
                std::filesystem::file_size(text) / 1e6);

    // 2. Printing to PDF: the first page leaves as soon as the second begins.
    const std::string pdf = keepPdf.empty() ? folder + "/print.pdf" : keepPdf;
    auto printer = corv::PdfPrinter(QString::fromStdString(pdf));
    corv::GridPrinter pages(*shown, viewer.GridModel()->Formatter(), viewer.CaptionText());
    double firstPage = -1;
    t = Clock::now();
    cpu = CpuMs();
    pages.pageDone = [&](int page, int) {
        if (page == 1) firstPage = Ms(t);
        return true;
    };
    pages.Print(*printer);
    std::printf("print to PDF: first page written after %.1f ms   [aim < 1000 ms]\n", firstPage);
    std::printf("print to PDF: %d pages (%d rows a page): wall %.1f ms  cpu %.1f ms  %.1f MB\n",
                pages.PageCount(), pages.RowsPerPage(), Ms(t), CpuMs() - cpu,
                std::filesystem::file_size(pdf) / 1e6);
    t = Clock::now();
    const std::unique_ptr<QPrinter> system = corv::DefaultPrinter();
    std::printf("default printer: %s (looked up in %.1f ms)\n",
                system ? system->printerName().toUtf8().constData() : "none installed", Ms(t));
    std::printf("RSS above the shown table after both: %.1f MB\n", (RssKb() - rssBefore) / 1024.0);

    if (!desktop.boxes.empty() && desktop.boxes.back().title != "Operation Complete")
        std::printf("unexpected message: %s\n", desktop.boxes.back().text.c_str());
    corv::CloseAuctionDb();
    std::filesystem::remove_all(folder);
    return 0;
}
