#include "standings/AuctionBids.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>

#include "engine/CorvError.h"
#include "engine/Database.h"

namespace corv::standings {

struct AuctionBids::Job {
    std::uint64_t auction = 0;
    std::string path;
    std::shared_ptr<sqlite3> jet;            // read instead of the file
    std::shared_ptr<const BidHistory> base;  // null: every bid
    std::vector<int> rounds;                 // of base
    bool tablesOnly = false;                 // the user tables alone, the bids kept
};

namespace {

constexpr auto kFirstRetry = std::chrono::milliseconds(200);
constexpr auto kLongestRetry = std::chrono::seconds(5);

// SQLite asks this every few hundred steps of a statement: a read is stopped wherever it is.
int Cancelled(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
}

// Waits for a lock as long as the connection's own timeout would, a little at a time, so that a read the
// auction's closing cancels stops waiting at once.
int WaitForLock(void* flag, int tries) {
    if (Cancelled(flag) || tries >= 500) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
}

void WatchCancel(sqlite3* db, std::atomic<bool>& cancel) {
    sqlite3_progress_handler(db, 1000, Cancelled, &cancel);
    sqlite3_busy_handler(db, WaitForLock, &cancel);
}

UserTables ReadTablesOnly(sqlite3* db) {
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw CorvError(err::EngineFailure, sqlite3_errmsg(db));
    struct End {
        sqlite3* db;
        ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end{db};
    return ReadUserTables(db);
}

}  // namespace

AuctionBids::AuctionBids() : reader_([this] { Run(); }) {}

AuctionBids::~AuctionBids() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cancel_ = true;
    }
    wake_.notify_all();
    reader_.join();
}

BidsSnapshot AuctionBids::Current() const {
    std::lock_guard lock(mutex_);
    return state_;
}

BidsSnapshot AuctionBids::NextAfter(std::uint64_t version) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return state_.version > version; });
    return state_;
}

int AuctionBids::Listen(std::function<void()> changed) {
    std::lock_guard lock(listenersMutex_);
    listeners_.emplace(++nextListener_, std::move(changed));
    return nextListener_;
}

void AuctionBids::Unlisten(int id) {
    std::lock_guard lock(listenersMutex_);
    listeners_.erase(id);
}

// ---- the session's news ----

void AuctionBids::AuctionOpened(store::Auction& auction) {
    const bool jet = auction.Db()->Origin() == DatabaseOrigin::Jet;
    std::shared_ptr<sqlite3> copy;
    std::string failure;
    try {
        if (jet) copy = CopyOf(auction);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    std::unique_lock lock(mutex_);
    Forget(lock);
    path_ = auction.Path();
    jet_ = jet;
    jetCopy_ = std::move(copy);
    whole_ = failure.empty();
    state_.failure = failure;
    wake_.notify_all();
    Touched(lock);
}

void AuctionBids::AuctionClosing(store::Auction& /*auction*/) {
    AuctionClosed();
}

void AuctionBids::AuctionClosed() {
    std::unique_lock lock(mutex_);
    Forget(lock);
    Touched(lock);
}

void AuctionBids::RoundImported(store::Auction& auction, int round) {
    Changed(auction, round);
}

void AuctionBids::TableAdded(store::Auction& auction, const std::string& /*table*/) {
    Changed(auction, std::nullopt);
}

void AuctionBids::TableDropped(store::Auction& auction, const std::string& /*table*/) {
    Changed(auction, std::nullopt);
}

void AuctionBids::Changed(store::Auction& auction, std::optional<int> round) {
    std::shared_ptr<sqlite3> copy;
    try {
        if (auction.Db()->Origin() == DatabaseOrigin::Jet) copy = CopyOf(auction);
    } catch (const std::exception&) {
    }
    std::unique_lock lock(mutex_);
    if (path_.empty()) return;
    if (jet_) {
        if (!copy) return;
        jetCopy_ = std::move(copy);
        whole_ = true;
    } else if (round) {
        rounds_.insert(*round);
    } else {
        tables_ = true;
    }
    // The news says the file is there: a failed read need not wait its pause.
    failures_ = 0;
    retryAt_ = {};
    wake_.notify_all();
    Touched(lock);
}

void AuctionBids::Forget(std::unique_lock<std::mutex>& lock) {
    ++auction_;
    path_.clear();
    jet_ = false;
    jetCopy_.reset();
    whole_ = false;
    rounds_.clear();
    tables_ = false;
    failures_ = 0;
    retryAt_ = {};
    cancel_ = true;
    letGo_.wait(lock, [this] { return !connected_; });
    const std::uint64_t version = state_.version;
    state_ = BidsSnapshot{};
    state_.version = version;
}

void AuctionBids::Touched(std::unique_lock<std::mutex>& lock) {
    ++state_.version;
    state_.reading = running_ == auction_ || (!path_.empty() && (whole_ || !rounds_.empty() || tables_));
    lock.unlock();
    changed_.notify_all();
    {
        std::lock_guard listening(listenersMutex_);
        for (auto& [id, changed] : listeners_) changed();
    }
    lock.lock();
}

// ---- the reading thread ----

void AuctionBids::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (path_.empty() || (!whole_ && rounds_.empty() && !tables_)) {
            wake_.wait(lock);
            continue;
        }
        if (Clock::now() < retryAt_) {
            wake_.wait_until(lock, retryAt_);
            continue;
        }
        Job job;
        job.auction = auction_;
        job.path = path_;
        job.jet = jetCopy_;
        if (!whole_ && state_.history) {
            job.base = state_.history;
            job.rounds.assign(rounds_.begin(), rounds_.end());
            job.tablesOnly = job.rounds.empty();
        }
        whole_ = false;
        rounds_.clear();
        tables_ = false;
        running_ = auction_;
        connected_ = true;
        cancel_ = false;
        lock.unlock();

        std::string failure;
        LoadedAuction loaded = Read(job, failure);

        lock.lock();
        running_ = 0;
        connected_ = false;
        letGo_.notify_all();
        if (job.auction != auction_) continue;  // the auction went meanwhile
        if (failure.empty() && job.tablesOnly) {
            state_.tables = std::move(loaded.tables);
            state_.failure.clear();
            failures_ = 0;
        } else if (failure.empty()) {
            state_.history = std::move(loaded.history);
            state_.rounds = std::move(loaded.rounds);
            state_.problem = std::move(loaded.problem);
            state_.tables = std::move(loaded.tables);
            state_.failure.clear();
            failures_ = 0;
            if (jetCopy_ == job.jet && !whole_) jetCopy_.reset();  // read whole: the copy has served
        } else {
            if (job.tablesOnly)
                tables_ = true;
            else if (job.base)
                rounds_.insert(job.rounds.begin(), job.rounds.end());
            else
                whole_ = true;
            state_.failure = std::move(failure);
            retryAt_ = Clock::now() +
                       std::min<Clock::duration>(kFirstRetry * (1 << std::min(failures_, 5)), kLongestRetry);
            ++failures_;
        }
        Touched(lock);
    }
}

LoadedAuction AuctionBids::Read(const Job& job, std::string& failure) {
    try {
        if (job.tablesOnly) {
            ReadConnection connection(job.path);
            WatchCancel(connection.Handle(), cancel_);
            LoadedAuction out;
            out.tables = std::make_shared<const UserTables>(ReadTablesOnly(connection.Handle()));
            return out;
        }
        if (job.jet) {
            WatchCancel(job.jet.get(), cancel_);
            return ReadAuction(job.jet.get(), job.base.get(), job.rounds);
        }
        ReadConnection connection(job.path);
        WatchCancel(connection.Handle(), cancel_);
        return ReadAuction(connection.Handle(), job.base.get(), job.rounds);
    } catch (const std::exception& e) {
        failure = *e.what() ? e.what() : "the bids could not be read";
    }
    return {};
}

std::shared_ptr<sqlite3> AuctionBids::CopyOf(store::Auction& auction) {
    sqlite3* copy = nullptr;
    const int opened = sqlite3_open(":memory:", &copy);
    std::shared_ptr<sqlite3> owned(copy, sqlite3_close_v2);
    if (opened != SQLITE_OK) throw CorvError(err::EngineFailure, sqlite3_errstr(opened));
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", auction.Data().Handle(), "main");
    if (!backup) throw CorvError(err::EngineFailure, sqlite3_errmsg(copy));
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) throw CorvError(err::EngineFailure, sqlite3_errstr(rc));
    return owned;
}

}  // namespace corv::standings
