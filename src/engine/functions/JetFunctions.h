#pragma once

#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace corv {

// Registers the jet_* SQL functions the Jet SQL translation emits (arithmetic with Jet's typing, text and
// date functions, Like matching, First/Last) and redefines the NOCASE collation to fold letters the way
// LCase does, beyond ASCII. Call on every connection that runs translated SQL or holds NOCASE indexes.
void RegisterJetFunctions(sqlite3* db);

// Errors raised inside those functions reach sqlite3_errmsg() as "Jet error <number>: <description>".
// Splits such a message; false for any other message.
bool ParseJetFunctionError(std::string_view message, int& number, std::string& description);

// A date text in Jet's literal forms (m/d/y or y-m-d, optional time h:mm[:ss] [AM|PM], or a time alone) as
// the stored form "YYYY-MM-DD HH:MM:SS"; nullopt when it is not a valid date.
std::optional<std::string> JetDateText(std::string_view text);

// text in lower case the way the jet_lcase function folds it (ASCII, Latin-1, Greek, Cyrillic).
std::string JetLowerText(std::string_view text);

// Whether text matches a Jet Like pattern (* ? # [list] [!list]), ignoring letter case.
bool JetLikeMatch(std::string_view text, std::string_view pattern);

}  // namespace corv
