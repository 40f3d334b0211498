#include "AlertTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "alerts/RoundAlerts.h"
#include "overview/frmOverview.h"
#include "shell/frmMain.h"

namespace corv::test {

namespace {
constexpr int kSettleMs = 2000;
constexpr int kWaitMs = 20000;
}  // namespace

void AlertTest::SetUp() {
    TestApp();
    desktop.Install();
    desktop.SetProgramFolder(folder.Path());
    downloads = folder.File("downloads");
    std::filesystem::create_directories(downloads);
    desktop.SetDownloadsFolder(downloads);
    options.auction = 14;
    options.rounds = 1;
}

void AlertTest::TearDown() {
    window.reset();
}

frmMain& AlertTest::Open() {
    auction = BuildAuctionDatabase(folder.Path(), options);
    FollowTiming timing;
    timing.nowMs = [this] { return now; };
    timing.settleMs = kSettleMs;
    timing.rescanMs = 3600 * 1000;
    window = std::make_unique<frmMain>(nullptr, timing);
    window->show();
    window->Session().Open(auction);
    window->MenuItem("mnuToolsFollowDownloads")->setChecked(true);
    return *window;
}

std::vector<report::Alert> AlertTest::Import(int round) {
    char name[32];
    std::snprintf(name, sizeof name, "%02d_%03d.mdb", options.auction, round);
    fixture::WriteRoundFile(downloads + "/" + name, options, round);
    QSignalSpy weighed(&window->Alerts(), &alerts::RoundAlerts::Weighed);
    window->Follower()->Scan();
    now += kSettleMs;
    window->Follower()->Scan();
    EXPECT_TRUE(weighed.wait(kWaitMs)) << "round " << round << " was not weighed";
    if (weighed.isEmpty()) return {};
    EXPECT_EQ(weighed.front().front().toInt(), round);
    return weighed.front().back().value<std::vector<report::Alert>>();
}

overview::frmOverview& AlertTest::Overview() {
    window->MenuItem("mnuToolsOverview")->trigger();
    auto* shown = window->findChild<overview::frmOverview*>();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->ShownRound() > 0 && !shown->Busy(); }, kWaitMs));
    return *shown;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

report::WatchList EveryMarketWatched(const fixture::AuctionOptions& options) {
    report::WatchList list;
    for (const std::string& market : fixture::MarketNames(options)) {
        report::WatchRule rule;
        rule.when = report::WatchWhen::NewHighBid;
        rule.market = market;
        list.rules.push_back(rule);
    }
    return list;
}

QWidget* ActiveModal() {
    QWidget* modal = nullptr;
    // No modal window is a null the caller checks.
    (void)QTest::qWaitFor([&] {
        modal = QApplication::activeModalWidget();
        if (modal && !modal->isActiveWindow()) modal->activateWindow();
        return modal && modal->isActiveWindow();
    });
    return modal;
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = ActiveModal();
    ASSERT_NE(target, nullptr) << "nothing takes the key";
    QTest::keyClick(target, key, modifiers);
}

}  // namespace corv::test
