#pragma once

#include <functional>
#include <string>

#include "store/Auction.h"
#include "store/RoundImport.h"

namespace corv {

// The dialogue of the store's commands: their questions, boxes and file dialogs, through the desktop
// services alone. The work itself is in the store (AuctionSession, AuctionFile, RoundImport), which asks
// nobody; the window learns of what changed through the session's listeners.

// An existing auction database, chosen by the user, opened in session. One in the Jet format asks each time
// whether to convert it first; No opens it read-only.
store::Auction& OpenAuctionDatabase(store::AuctionSession& session, const std::string& path);

// A downloaded round 1 file becomes a new auction database in the program's folder, opened in session.
// askAgain: a cancelled file dialog asks the opening question again.
void CreateAuction(store::AuctionSession& session, const std::function<void()>& askAgain);
// The same with the round 1 file already chosen, as after the file dialog. keepAsideAs: where an existing
// auction of that number goes, as a question already told the user (empty: KeepAsidePath).
void CreateAuctionFrom(store::AuctionSession& session, const std::string& roundOnePath,
                       const std::string& keepAsideAs = {});
// The auction database creation makes from the round results file of that name, in the program's folder.
std::string NewAuctionPath(const std::string& roundFileName);
// One later round appended to the open auction (none: the error box says so).
void ImportRound(store::Auction* auction);
// The same with the round results file already chosen.
void ImportRoundFrom(store::Auction* auction, const std::string& path);
// A whole auction from a folder of round results files.
void BatchImportAuction(store::AuctionSession& session, const std::function<void()>& askAgain);

// For commands that write to the open auction, before they do anything: false, after telling the user, when
// it is read-only.
bool RequireWritableAuction(const store::Auction* auction);

}  // namespace corv
