// The watch list at work: each imported round weighed against the one before, what fires kept in the
// auction's alert log and told once per import on the desktop (DesktopNotifier).
//
// Threads: the object belongs to the user-interface thread. A command's rounds wait until the shared bids
// hold the last of them (the bids' news is posted here), then the list is read and weighed and the log
// written on the global thread pool, one command's rounds at a time and in the order they came; the job gets
// copies and the shared read-only BidHistory, never this object.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "alerts/DesktopNotifier.h"
#include "report/WatchList.h"
#include "standings/AuctionBids.h"
#include "store/Auction.h"

namespace corv::alerts {

// "Auction 14, round 7": the number from the auction file's name.
QString NotificationSummary(const std::string& auctionPath, int round);
// Up to five alerts, one a line, then "and K more"; each line names its round when they are of several.
QString NotificationBody(const std::vector<report::Alert>& alerts);

class RoundAlerts : public QObject, public store::AuctionListener {
    Q_OBJECT
  public:
    RoundAlerts(store::AuctionSession& session, standings::AuctionBids& bids, QObject* parent = nullptr);
    ~RoundAlerts() override;

    // The rounds one import command brought in, lowest first (AuctionFollowers::RoundsImported).
    void Weigh(const QList<int>& rounds);
    // Rounds are waiting or being weighed.
    bool Busy() const { return running_ || !waiting_.empty(); }
    DesktopNotifier& Notifier() { return notifier_; }

    void AuctionClosing(store::Auction& auction) override;

  signals:
    // A command's rounds were weighed; alerts, possibly none, are in the log.
    void Weighed(int lastRound, const std::vector<corv::report::Alert>& alerts);

  private:
    struct Rounds {
        std::uint64_t auction;  // generation_ when they came
        std::string path;
        QList<int> rounds;
    };
    // Starts the first waiting rounds once the bids hold them.
    void Next();

    store::AuctionSession& session_;
    standings::AuctionBids& bids_;
    int listening_ = 0;
    DesktopNotifier notifier_;
    std::deque<Rounds> waiting_;
    bool running_ = false;
    std::uint64_t generation_ = 0;  // grows as an auction closes: its rounds are dropped
};

}  // namespace corv::alerts
