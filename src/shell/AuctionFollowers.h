#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <vector>

#include "shell/DownloadFollower.h"
#include "store/Auction.h"

namespace corv {

class frmFlexGrid;

// What follows the open auction besides the main window: the downloads folder (Tools > Follow Downloads),
// the viewers, which let go of the file when the auction closes and read their tables again after an import,
// and the word of the rounds each import brought in, for whoever acts on new rounds.
class AuctionFollowers : public QObject, public store::AuctionListener {
    Q_OBJECT
  public:
    // viewers: the viewers open now; commandRunning: whether a command of the window is under way (imports of
    // the folder wait for it, and the rounds it imports are told when it ends).
    AuctionFollowers(store::AuctionSession& session, std::function<QList<frmFlexGrid*>()> viewers,
                     std::function<bool()> commandRunning, FollowTiming timing);
    ~AuctionFollowers() override;
    AuctionFollowers(const AuctionFollowers&) = delete;
    AuctionFollowers& operator=(const AuctionFollowers&) = delete;

    DownloadFollower& Downloads() { return downloads_; }
    // Tools > Follow Downloads' check mark, kept in the settings: the folder is followed while it is on and
    // the open auction takes rounds.
    bool FollowingWanted() const { return wanted_; }
    void SetFollowing(bool on);

    // The window's outermost command has ended.
    void CommandEnded();

  signals:
    // The rounds one command imported (a batch's every round), lowest first, once it has ended; rounds
    // imported outside a command (following the downloads folder) as soon as the events are taken again,
    // those of one look together. The auction that took them is still the open one. Where a watch list
    // weighs each round against the one before, and tells the user once.
    void RoundsImported(const QList<int>& rounds);

  private:
    void AuctionOpened(store::Auction& auction) override;
    void AuctionClosing(store::Auction& auction) override;
    void AuctionClosed() override;
    void RoundImported(store::Auction& auction, int round) override;
    void UpdateFollowing();
    void TellRounds();

    store::AuctionSession& session_;
    std::function<QList<frmFlexGrid*>()> viewers_;
    std::function<bool()> commandRunning_;
    DownloadFollower downloads_;
    bool wanted_ = false;
    bool readAgainPending_ = false;  // viewers read their rows again once the events are taken again
    bool tellPending_ = false;
    QList<int> imported_;  // rounds not told yet
};

}  // namespace corv
