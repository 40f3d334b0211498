// The main window on a one-round auction 14 that follows a downloads folder of its own, on a clock the test
// moves, and the watch list's files beside it.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "fixture/FixtureAuction.h"
#include "report/WatchList.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv {
class frmMain;
namespace overview {
class frmOverview;
}
}  // namespace corv

namespace corv::test {

class AlertTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The auction built and opened, following on.
    frmMain& Open();
    // Round dropped into the downloads folder and imported; returns the alerts once it was weighed.
    std::vector<report::Alert> Import(int round);
    // Tools > Auction Overview, once it shows the newest round.
    overview::frmOverview& Overview();
    std::string WatchPath() const { return report::WatchListPath(auction); }
    std::string LogPath() const { return report::AlertLogPath(auction); }

    TempFolder folder;
    ScriptedDesktop desktop;
    fixture::AuctionOptions options;
    std::string auction, downloads;
    long long now = 1000;
    std::unique_ptr<frmMain> window;
};

std::string FileBytes(const std::string& path);
// Every market of the fixture watched for a new high bid: several alerts a round.
report::WatchList EveryMarketWatched(const fixture::AuctionOptions& options);
// The modal dialog on top, once it is shown and active.
QWidget* ActiveModal();
// The modal dialog on top once it is a T (a button's mnemonic clicks a moment later).
template <class T>
T* ModalOf() {
    T* found = nullptr;
    // A missing dialog is the caller's null to check.
    (void)QTest::qWaitFor([&] { return (found = qobject_cast<T*>(ActiveModal())) != nullptr; });
    return found;
}
// A key press to whatever has the keyboard focus.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

}  // namespace corv::test
