#pragma once

#include <optional>
#include <string>

namespace corv {

// The file name (fileName true: everything after the last "/") or the folder (false: everything up to and
// including it) of a path.
std::string SplitFilePath(const std::string& path, bool fileName);

// Round results file name rule: NN_RRR.mdb (the extension in any letter case), characters 1-2 the auction
// number, 4-6 the round number. Any other name raises a type-mismatch error (13) saying it is no round
// results file name.
bool IsRoundFileName(const std::string& fileName);
int RoundNumberFromFileName(const std::string& fileName);
int AuctionNumberFromFileName(const std::string& fileName);
std::string AuctionPrefixFromFileName(const std::string& fileName);  // characters 1-2 as text
// The name without extension of a round's file: prefix, "_", the round in three digits ("14_007").
std::string RoundFileStem(const std::string& prefix, int round);
// The number in an auction database's file name "Auction" + number + ".mdb" (letter case aside); nullopt
// for any other name.
std::optional<int> AuctionNumberFromDatabaseName(const std::string& fileName);

}  // namespace corv
