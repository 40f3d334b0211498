#pragma once

#include <string>

namespace corv {

class Database;

// Whether an opened file carries the auction catalog (sysSuppliedTables, sysRounds and sysTables).
bool HasAuctionCatalog(Database& db);

// Rewrites the Jet auction database at path, already read whole into jet, in the engine's own format under
// the same name, with every table, row and declared column type, and an index on Round wherever a new
// auction gets one. The original is kept beside it as "<name> (Jet).mdb" ("(Jet 2)", ... when that is
// taken); its new path is returned. On failure the original is still at path, untouched, and nothing else is
// left behind.
std::string ConvertJetAuction(Database& jet, const std::string& path);

}  // namespace corv
