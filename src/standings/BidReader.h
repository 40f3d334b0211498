// Reading an auction's rounds and bids into a BidHistory, on whatever thread owns the connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standings/BidHistory.h"
#include "standings/MarketData.h"

struct sqlite3;

namespace corv::standings {

struct LoadedAuction {
    std::shared_ptr<const BidHistory> history;  // null when problem is set
    std::vector<int> rounds;                    // sysRounds, ascending
    std::string problem;                        // one sentence saying why nothing can be shown
    std::shared_ptr<const UserTables> tables;   // the market data among them; null when problem is set
};

// Reads sysRounds, every bid, the eligibility table's rows and the user tables in one read transaction. Given
// a base, reads only the rows of rounds and shares the other rounds with it. Failures of SQLite arrive as
// CorvError.
LoadedAuction ReadAuction(sqlite3* db, const BidHistory* base = nullptr, const std::vector<int>& rounds = {});

// A read-only connection of its own to an auction file, for the one thread that reads through it; closed
// with the object. A file that cannot be opened is a CorvError.
class ReadConnection {
  public:
    explicit ReadConnection(const std::string& path);
    ~ReadConnection();
    ReadConnection(const ReadConnection&) = delete;
    ReadConnection& operator=(const ReadConnection&) = delete;
    sqlite3* Handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// ReadAuction on a ReadConnection opened and closed here: for a program that reads once.
LoadedAuction ReadAuctionFile(const std::string& path, const BidHistory* base = nullptr,
                              const std::vector<int>& rounds = {});

}  // namespace corv::standings
