// The round report exported as a web page (report/ReportHtml.h), from the overview's button and from
// File > Export Round Report.
//
// Threads: called on the user-interface thread. The page is made on the global thread pool from the shared,
// read-only history; it is written, and offered for opening, back on the user-interface thread under the
// job's context object, whose going drops the job's result.
#pragma once

#include <memory>
#include <string>

#include "standings/BidHistory.h"
#include "standings/MarketData.h"
#include "standings/Standings.h"

class QObject;
class QWidget;

namespace corv {
namespace store {
class AuctionSession;
}

namespace overview {

struct ReportChoice {
    int round = 0;  // N
    int since = 0;  // M, below N
    standings::Measure measure = standings::Measure::Gross;
    std::shared_ptr<const standings::UserTables> tables;  // may be null
    int marketData = -1;  // the $/MHz-pop figures' table in tables->marketData; -1 for none
};

// Asks for the file through the save dialog ("Auction14 round 7.html" offered), makes the page under the busy
// pointer and writes it, never over a database; then asks whether to open it in the default browser.
void ExportRoundReport(QObject* context, std::shared_ptr<const standings::BidHistory> history,
                       const std::string& auctionPath, ReportChoice choice);

// File > Export Round Report: the session's latest round, since the one before, gross amounts, $/MHz-pop from
// the auction's first market data, as corvidel-report gives them.
void ExportLatestRoundReport(store::AuctionSession& session, QWidget* parent);

}  // namespace overview
}  // namespace corv
