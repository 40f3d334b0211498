#include "shell/AuctionFollowers.h"

#include <QApplication>
#include <QTimer>
#include <utility>

#include "platform/DesktopServices.h"
#include "shell/ShellText.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {
constexpr const char* kFollowKey = "FollowDownloads";
}  // namespace

AuctionFollowers::AuctionFollowers(store::AuctionSession& session,
                                   std::function<QList<frmFlexGrid*>()> viewers,
                                   std::function<bool()> commandRunning, FollowTiming timing)
    : session_(session),
      viewers_(std::move(viewers)),
      commandRunning_(std::move(commandRunning)),
      downloads_(nullptr, std::move(timing)) {
    downloads_.SetAuction([this] { return session_.Current(); });
    downloads_.SetMayImport([this] { return !commandRunning_() && !QApplication::activeModalWidget(); });
    wanted_ = Desktop().GetSetting(shell::kSettingsApp, shell::kSettingsSection, kFollowKey, "0") == "1";
    session_.AddListener(this);
    UpdateFollowing();
}

AuctionFollowers::~AuctionFollowers() {
    session_.RemoveListener(this);
}

void AuctionFollowers::SetFollowing(bool on) {
    wanted_ = on;
    Desktop().SaveSetting(shell::kSettingsApp, shell::kSettingsSection, kFollowKey, on ? "1" : "0");
    UpdateFollowing();
}

void AuctionFollowers::UpdateFollowing() {
    // A read-only auction takes no rounds.
    const store::Auction* auction = session_.Current();
    if (wanted_ && auction && !auction->ReadOnly())
        downloads_.Start(QString::fromStdString(Desktop().DownloadsFolder()));
    else
        downloads_.Stop();
}

void AuctionFollowers::AuctionOpened(store::Auction& /*auction*/) {
    UpdateFollowing();
}

void AuctionFollowers::AuctionClosing(store::Auction& /*auction*/) {
    // A closed auction may be renamed or replaced next (created anew, converted): no read of it may stay.
    for (frmFlexGrid* viewer : viewers_()) viewer->LetGoOfFile();
}

void AuctionFollowers::AuctionClosed() {
    imported_.clear();
    UpdateFollowing();
}

void AuctionFollowers::RoundImported(store::Auction& /*auction*/, int round) {
    imported_.append(round);
    // Posted, so that every listener has its word of the round first.
    if (!tellPending_) {
        tellPending_ = true;
        QTimer::singleShot(0, this, [this] {
            tellPending_ = false;
            if (!commandRunning_()) TellRounds();
        });
    }
    // A whole table shown through a long follow would otherwise keep the log growing with every round.
    // Once the events are taken again, so that a batch's rounds cost one reading.
    if (readAgainPending_) return;
    readAgainPending_ = true;
    QTimer::singleShot(0, this, [this] {
        readAgainPending_ = false;
        store::Auction* auction = session_.Current();
        frmFlexGrid::ReadAgainAfterWrites(viewers_(), auction ? auction->Db().get() : nullptr);
    });
}

void AuctionFollowers::CommandEnded() {
    // Rounds whose word is still posted are told then.
    if (!tellPending_) TellRounds();
}

void AuctionFollowers::TellRounds() {
    if (imported_.isEmpty()) return;
    const QList<int> rounds = std::exchange(imported_, {});
    emit RoundsImported(rounds);
}

}  // namespace corv
