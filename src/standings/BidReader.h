// Reading an auction's rounds and bids into a BidHistory, on whatever thread owns the connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standings/BidHistory.h"

struct sqlite3;

namespace corv::standings {

struct LoadedAuction {
    std::shared_ptr<const BidHistory> history;  // null when problem is set
    std::vector<int> rounds;                    // sysRounds, ascending
    std::string problem;                        // one sentence saying why nothing can be shown
};

// Reads sysRounds and every bid. Given a base, reads only the rows of rounds and shares the other rounds with
// it. Failures of SQLite arrive as CorvError.
LoadedAuction ReadAuction(sqlite3* db, const BidHistory* base = nullptr, const std::vector<int>& rounds = {});
// The same on a read-only connection of its own to the auction file, opened and closed here: for a worker.
LoadedAuction ReadAuctionFile(const std::string& path, const BidHistory* base = nullptr,
                              const std::vector<int>& rounds = {});

}  // namespace corv::standings
