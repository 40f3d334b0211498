// The bids of the open auction, read once and shared by every reader of the program.
//
// An AuctionBids listens to one session (AuctionSession::AddListener, before the session opens an auction;
// it must be removed, or the session gone, before it is destroyed). When an auction opens, it reads every
// bid in the background; when a round is imported, it reads that round's rows alone and shares the other
// rounds with the history before. The user tables' market data (small) comes with every read, and is read
// alone again when a table is added or dropped. Every result is a new immutable BidHistory: a reader computes
// from the one it was handed for as long as it likes while newer ones arrive. A read that fails (the file
// busy past the timeout, an I/O error, the file away for a moment) is tried again with every round it was to
// read, at once when a round is imported, else after a pause that grows to a few seconds: no round is
// skipped.
//
// Threads: the session's news arrives on the thread that owns the auction's connection (the user-interface
// thread in the program). Reads run on a thread of this object's own, one at a time, each in one read
// transaction on a read-only connection of its own: in write-ahead-log mode a read never holds up an import
// and sees a round whole or not at all. When the auction closes or another opens, the news waits until
// that connection has let go of the file, so the file may be renamed or replaced next. Current, Listen,
// Unlisten and NextAfter may be called on any thread. A command-line program that reads once calls
// ReadAuctionFile (BidReader.h) instead.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "standings/BidReader.h"
#include "store/Auction.h"

struct sqlite3;

namespace corv::standings {

// What is known of the open auction's bids at one moment.
struct BidsSnapshot {
    std::shared_ptr<const BidHistory> history;  // null until a read succeeds, and when problem says why
    std::vector<int> rounds;                    // the rounds imported (sysRounds) when it was read, ascending
    std::shared_ptr<const UserTables> tables;   // the user tables and their market data; null with history
    std::string problem;                        // the auction has no bids to show: one sentence saying why
    std::string failure;                        // the last read failed and is tried again: what went wrong
    bool reading = false;                       // a read is under way or waits to be tried again
    std::uint64_t version = 0;                  // grows with every change
};

class AuctionBids : public store::AuctionListener {
  public:
    AuctionBids();
    ~AuctionBids() override;
    AuctionBids(const AuctionBids&) = delete;
    AuctionBids& operator=(const AuctionBids&) = delete;

    BidsSnapshot Current() const;
    // Blocks until Current() is newer than version, and returns it.
    BidsSnapshot NextAfter(std::uint64_t version) const;

    // changed is called after every change of Current(), on whichever thread made it, until Unlisten;
    // it must be quick (a user interface posts itself a call) and must not call Listen or Unlisten.
    int Listen(std::function<void()> changed);
    // Once it returns, changed is neither running nor called again.
    void Unlisten(int id);

    void AuctionOpened(store::Auction& auction) override;
    void AuctionClosing(store::Auction& auction) override;
    void AuctionClosed() override;
    void RoundImported(store::Auction& auction, int round) override;
    void TableAdded(store::Auction& auction, const std::string& table) override;
    void TableDropped(store::Auction& auction, const std::string& table) override;

  private:
    using Clock = std::chrono::steady_clock;
    struct Job;

    void Run();
    // Reads one job; a failure is its text.
    LoadedAuction Read(const Job& job, std::string& failure);
    // News of a change of the file: rounds (or, for Jet, the whole) to read again.
    void Changed(store::Auction& auction, std::optional<int> round);
    // The open auction is done with: its read stops and lets go of the file before this returns.
    void Forget(std::unique_lock<std::mutex>& lock);
    // A Jet auction lives in its connection's memory: a copy of it for the reading thread.
    static std::shared_ptr<sqlite3> CopyOf(store::Auction& auction);
    // A new version of Current(), told to the listeners with the lock let go meanwhile.
    void Touched(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;  // Current() changed
    std::condition_variable wake_;             // work for the reading thread, or the end
    std::condition_variable letGo_;            // the reading thread's connection is closed
    // Guarded by mutex_.
    BidsSnapshot state_;
    std::uint64_t auction_ =
        1;  // grows with every auction opened or closed: a read of an older one is dropped
    std::uint64_t running_ = 0;  // the auction of the read under way; 0 for none
    std::string path_;           // empty: no auction to read
    bool jet_ = false;
    std::shared_ptr<sqlite3> jetCopy_;
    bool whole_ = false;    // every bid is to be read
    std::set<int> rounds_;  // else the rows of these rounds
    bool tables_ = false;   // else the user tables alone
    int failures_ = 0;      // in a row
    Clock::time_point retryAt_{};
    bool connected_ = false;  // the reading thread holds a connection to the auction
    bool stop_ = false;
    std::atomic<bool> cancel_{false};  // the read under way is to stop

    std::mutex listenersMutex_;
    std::map<int, std::function<void()>> listeners_;
    int nextListener_ = 0;

    std::thread reader_;  // last: it starts once the rest is made
};

}  // namespace corv::standings
