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

#include "BenchSupport.h"
#include "engine/Schema.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "viewer/GridPrinter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/TextExport.h"
#include "viewer/frmFlexGrid.h"

namespace {

using namespace bench;

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
    WriteBidAuction(path, rows, 3000);

    corv::test::FakeViewerHost host;
    corv::frmFlexGrid viewer(host);
    host.active = &viewer;
    host.session.Open(path);
    host.PopulateTables();
    host.PopulateRounds();
    viewer.ddlRoundNum->setCurrentIndex(0);
    viewer.ddlTableName->setCurrentIndex(viewer.ddlTableName->findText("All Bids"));
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
    host.session.Close();
    std::filesystem::remove_all(folder);
    return 0;
}
