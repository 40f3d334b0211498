#pragma once

#include <memory>
#include <string>

#include "engine/Database.h"
#include "store/RoundFileNames.h"

namespace corv {

// The one open auction. None until the first open or creation.
std::shared_ptr<Database>& AuctionDb();
std::string& AuctionDbPath();

// Opens path through the engine, keeps it in write-ahead-log mode, and makes it the open auction, releasing
// the previous one. Errors reach the caller with AuctionDb and AuctionDbPath unchanged.
// An auction database in the Jet format is offered for conversion each time: Yes converts it in place (the
// original kept beside it) and opens the copy; No opens it read-only.
// A Jet auction database asks whether to convert it first; a tool with nobody to ask opens it read-only.
enum class JetAuctionOpen { AskToConvert, ReadOnly };
void OpenAuctionDb(const std::string& path, JetAuctionOpen jet = JetAuctionOpen::AskToConvert);
// Closes and forgets the open auction; harmless when none is open.
void CloseAuctionDb();

// Whether the open auction is a Jet file opened without converting it: nothing can be written to it.
bool AuctionReadOnly();
// For commands that write to the open auction, before they do anything: false, after telling the user, when
// it is read-only.
bool RequireWritableAuction();

// The six statistics tables, shown whole.
bool IsStatisticsTable(const std::string& tableName);
// The program's own tables ("sys"), Jet's ("MSys") and the engine's ("sqlite_"): they hold no round data.
bool IsProgramOwnTable(const std::string& tableName);
}  // namespace corv
