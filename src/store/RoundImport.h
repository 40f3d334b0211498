#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace corv {

class Database;

namespace store {
class Auction;
}

// ---- Appending rounds to the open auction, asking nobody: File > Import's work, the batch, following the
// downloads folder, and corvidel-import ----

// The numbers of the two refusals.
inline constexpr int kRoundAlreadyImported = 3022;
inline constexpr int kRoundOfAnotherAuction = 3001;

// The round a file holds is read from its name, so a renamed copy would land under another round. Refuses
// (3001) a round results file whose bids (kBidsTable) hold a round other than round, or an auction number
// other than auction when that is known. A file without those bids, or without those columns, passes.
// fileName: the name the message shows.
void CheckRoundFileRows(Database& roundDb, const std::string& fileName, int round,
                        std::optional<int> auction);

// Appends one round results file to the auction and records the round, all in one transaction: a
// failure anywhere leaves the auction database as it was. refusePresent: a round already recorded is refused
// (3022) inside that transaction, so two programs importing the same round at once cannot both append it.
// The file's rows are checked against round and the auction's number first (CheckRoundFileRows).
// The auction is told of the round once it is committed.
void AppendRound(store::Auction& auction, const std::string& roundPath, int round,
                 bool refusePresent = false);
// The same with the round file already open; it is closed on return.
void AppendRound(store::Auction& auction, std::shared_ptr<Database> roundDb, int round,
                 bool refusePresent = false);

// The round file named stem + ".mdb" in folder (ending in "/", or empty for the working folder), the
// extension in any letter case; of several spellings the first of ".mdb", ".MDB", then the others in name
// order. nullopt when there is none.
std::optional<std::string> FindRoundFile(const std::string& folder, const std::string& stem);
// The highest round r such that the files of rounds first to r (prefix "NN") are all in folder; first - 1
// when the first is missing.
int LastRoundInRow(const std::string& folder, const std::string& prefix, int first);

// The number in an auction database's name (AuctionN.mdb); 3001 for a name that holds none.
int AuctionNumberOf(const std::string& auctionPath);
// The number of an auction that can take rounds without questions; a read-only auction (3027) or one whose
// name holds no number (3001) is refused.
int AuctionTakingRounds(const store::Auction& auction);

// File > Import's atomic append of one round results file, without its questions; the file is kept.
// Refuses a file of another auction than this one and a round already imported; a read-only auction takes
// none. Returns the round. Every failure arrives as a CorvError with the auction unchanged.
int ImportRoundFile(store::Auction& auction, const std::string& path);

// Appends the rounds after round 1 whose files follow one another in folder (prefix "NN"), lowest first,
// until one is missing. Each round goes to eachRound with its append, which eachRound runs (showing what it
// likes meanwhile) or leaves, stopping the batch there. Each append is one RetryInProgramFolder step.
// Returns the last round imported.
using RoundStep = std::function<void(int round, const std::function<void()>& append)>;
int ImportRoundsInRow(store::Auction& auction, const std::string& folder, const std::string& prefix,
                      const RoundStep& eachRound);

}  // namespace corv
