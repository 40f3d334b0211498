// A RoundReport as one web page a follower reads, shares and prints: HTML5 in UTF-8 holding everything it
// shows (styles inline, charts as inline SVG), with no script and no reference to anything outside it. Every
// text from the auction is escaped. The program's export and corvidel-report --format html both write it
// through here. No Qt; pure functions, any thread.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "report/Report.h"
#include "report/WatchList.h"

namespace corv::report {

struct HtmlExtras {
    // When the page was made, as shown: the auction records no time at which a round was imported, so the
    // heading gives this one, labelled as what it is.
    std::string made;
    // The round's alerts; nullopt when the auction has no watch list, which leaves the section out.
    std::optional<std::vector<Alert>> alerts;
    // Why the auction's watch list cannot be used, said in the alerts' place; empty when it can.
    std::string watchProblem;
};

// What the page of round of the auction at auctionPath shows besides its report, gathered the same way for
// every writer of it: the time now, and the round's alerts when the auction has a watch list beside it. Reads
// that file; run off the user-interface thread.
HtmlExtras PageExtras(const std::string& auctionPath, const standings::BidHistory& history, int round);

// The section headings in the order the page shows them; the page's contents list links each.
std::vector<std::string> HtmlSectionTitles(const RoundReport& report, const HtmlExtras& extras);

std::string HtmlPage(const RoundReport& report, const HtmlExtras& extras);

// An amount as the page shows it: to the cent, thousands grouped ("1,234,567.5" is "1,234,567.50").
std::string PageAmount(double value);

// The local time now, "2026-12-10 14:05 +0100", for HtmlExtras::made.
std::string LocalTimeNow();

// & < > " ' as character references, control characters as spaces and bytes that are not UTF-8 as U+FFFD:
// safe in text and in a quoted attribute alike.
void AppendEscaped(std::string& out, const std::string& text);

}  // namespace corv::report
