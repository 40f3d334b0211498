#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corv::fixture {

// A synthetic auction, deterministic from the seed.
struct AuctionOptions {
    int auction = 14;       // auction number: files are named "14_001.mdb", ...
    int rounds = 3;         // round files 1..rounds
    int markets = 6;        // some split into blocks, some with the two-space block
    int bidders = 5;        // one bidder name holds an apostrophe
    int bidsPerRound = 20;  // rows of "Markets and Bidders" per round
    std::uint32_t seed = 1;
};

// Writes the round results files of the auction into folder (created if missing), in the engine's own
// format: "Markets and Bidders" (Auction Id, Round, Market, Block, Bidder Name, Bid Amount, Net Bid Amount),
// the six statistics tables, and "Bidder Eligibility" (Round, Bidder Name, Orvane Acct, Eligibility).
// Returns the paths in round order.
std::vector<std::string> WriteAuctionRounds(const std::string& folder, const AuctionOptions& options);

// Writes one round file of that auction at path (any name).
void WriteRoundFile(const std::string& path, const AuctionOptions& options, int round);

// The bidder names and market names the options produce (for tests that pick them).
std::vector<std::string> BidderNames(const AuctionOptions& options);
std::vector<std::string> MarketNames(const AuctionOptions& options);

}  // namespace corv::fixture
