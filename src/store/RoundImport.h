#pragma once

#include <functional>
#include <optional>
#include <string>

namespace corv {

// ---- Appending rounds to the open auction, asking nobody: File > Import's work, the batch, following the
// downloads folder, and corvidel-import ----

// The numbers of the two refusals.
inline constexpr int kRoundAlreadyImported = 3022;
inline constexpr int kRoundOfAnotherAuction = 3001;

// Appends one round results file to the open auction and records the round, all in one transaction: a
// failure anywhere leaves the auction database as it was. refusePresent: a round already recorded is refused
// (3022) inside that transaction, so two programs importing the same round at once cannot both append it.
void AppendRound(const std::string& roundPath, int round, bool refusePresent = false);

// The round file named stem + ".mdb" in folder (ending in "/", or empty for the working folder), the
// extension in any letter case; of several spellings the first of ".mdb", ".MDB", then the others in name
// order. nullopt when there is none.
std::optional<std::string> FindRoundFile(const std::string& folder, const std::string& stem);
// The highest round r such that the files of rounds first to r (prefix "NN") are all in folder; first - 1
// when the first is missing.
int LastRoundInRow(const std::string& folder, const std::string& prefix, int first);

// The open auction's number, from its file name (AuctionN.mdb); nullopt when none is open or the name
// holds no number.
std::optional<int> OpenAuctionNumber();
// The highest round in the open auction's sysRounds.
int LastImportedRound();
// File > Import's atomic append of one round results file, without its questions; the file is kept.
// Refuses a file of another auction than the open one and a round already imported. Returns the round.
// Every failure arrives as a CorvError with the auction unchanged.
int ImportRoundFile(const std::string& path);

// Appends the rounds after round 1 whose files follow one another in folder (prefix "NN"), lowest first,
// until one is missing. beforeRound(round) is asked first each time; false stops the batch there. Each round
// is one RetryInProgramFolder step. Returns the last round imported.
int ImportRoundsInRow(const std::string& folder, const std::string& prefix,
                      const std::function<bool(int round)>& beforeRound);

}  // namespace corv
