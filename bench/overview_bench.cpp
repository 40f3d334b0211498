// Figures for the Auction Overview on the 1,000,000-bid auction (300 rounds of 3,334 bids): opening it at the
// latest round, another round, the charts, memory, and the delay from a round's commit to its standings.
#include <unistd.h>

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "overview/BidReader.h"
#include "overview/OverviewCharts.h"
#include "overview/frmOverview.h"
#include "store/Auction.h"
#include "support/ScriptedDesktop.h"

namespace {

using namespace bench;
using corv::overview::frmOverview;

// Runs events until signal of w fires.
template <class Signal>
void WaitFor(frmOverview& w, Signal signal) {
    QEventLoop loop;
    QObject::connect(&w, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    corv::test::ScriptedDesktop desktop;
    desktop.Install();
    const int rows = 1000000, perRound = 3334;

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("overview_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Auction14.mdb";
    auto t = Clock::now();
    WriteBidAuction(path, rows, perRound);
    std::printf("setup: wrote %d bids in %.0f ms\n", rows, Ms(t));

    corv::store::AuctionSession session;
    session.Open(path);
    const int last = session.Current()->LastRound();
    const long rssBefore = RssKb();

    Timer open;
    frmOverview w(session);
    w.resize(1280, 800);
    w.show();
    WaitFor(w, &frmOverview::RoundShown);
    w.grab();
    std::printf("%d rounds, %zu bids read\n", last, w.History()->BidCount());
    open.Print("window opened at the latest round, tables shown", "[aim < 500 ms]");

    Timer other;
    w.cboRound->setCurrentIndex(last / 2);
    WaitFor(w, &frmOverview::RoundShown);
    w.grab();
    other.Print("another round chosen and shown", "[aim < 300 ms]");

    w.tabs->setCurrentWidget(w.charts);
    Timer total;
    w.cboRound->setCurrentIndex(last - 1);
    WaitFor(w, &frmOverview::RoundShown);
    w.charts->View()->grab();
    total.Print("total chart of every round (with the round's standings)", "[aim < 300 ms]");

    w.tabs->setCurrentIndex(0);
    Timer market;
    emit w.grdMarkets->activated(w.grdMarkets->model()->index(0, 0));
    WaitFor(w, &frmOverview::ChartShown);
    w.charts->View()->grab();
    market.Print("a market's chart", "[aim < 100 ms]");

    const long rssOpen = RssKb();
    std::printf("RSS: before %.1f MB, window open %.1f MB (delta %.1f MB)   [aim < 50 MB]\n",
                rssBefore / 1024.0, rssOpen / 1024.0, (rssOpen - rssBefore) / 1024.0);

    // A followed round: committed, then the news; the window was showing the latest round.
    corv::Database& db = session.Current()->Data();
    const std::string next = std::to_string(last + 1);
    db.BeginTrans();
    db.Execute(
        "INSERT INTO [Markets and Bidders] SELECT [Auction Id], " + next +
        ", Market, Block, [Bidder Name], [Bid Amount] + 1000, [Net Bid Amount] FROM [Markets and Bidders] "
        "WHERE Round = " +
        std::to_string(last));
    db.Execute("INSERT INTO sysRounds (Round) VALUES (" + next + ")");
    db.CommitTrans();
    Timer follow;
    session.Current()->NoteRoundImported(last + 1);
    WaitFor(w, &frmOverview::RoundShown);
    w.grab();
    follow.Print(("round " + next + " committed -> shown").c_str(), "[aim < 200 ms]");
    std::printf("  shown: %s\n", w.windowTitle().toUtf8().constData());

    {
        Timer read;
        const auto loaded = corv::overview::ReadAuctionFile(path);
        read.Print("for comparison: reading every bid alone", "");
        Timer compute;
        corv::overview::ComputeRound(*loaded.history, last, corv::overview::Measure::Gross);
        compute.Print("for comparison: computing the latest round alone", "");
    }
    session.Close();
    std::filesystem::remove_all(folder);
    return 0;
}
