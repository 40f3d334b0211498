// One round of an auction gathered for a report: the standings after round N, what moved since round M, the
// eligibility and the pace, computed once from a BidHistory. The text, CSV and JSON writers
// (ReportWriters.h) format it; the command-line report and anything else that shows a round share it.
// Pure functions of their arguments, run on whichever thread holds the history. No Qt.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standings/RoundChanges.h"

namespace corv::report {

// The tables of a report, in the order the text shows them.
enum class Table { Markets, Bidders, Changes, Eligibility, Rounds };
inline constexpr Table kTables[] = {Table::Markets, Table::Bidders, Table::Changes, Table::Eligibility,
                                    Table::Rounds};
// "markets", "bidders", ...: the name --table takes and the JSON key.
const char* TableName(Table table);
std::optional<Table> TableNamed(const std::string& name);
// "gross", "net".
const char* MeasureName(standings::Measure measure);

struct ReportTotals {
    double standing = 0;  // after round N
    double previous = 0;  // after round M
    double change = 0;    // standing less previous
    int licencesWithHigh = 0;
    int bidsInRound = 0;    // placed in round N
    int leaderChanges = 0;  // licences led after N by another bidder than after M
};

// The market data the $/MHz-pop figures come from.
struct ReportMarketData {
    std::string table;
    int leftOut = 0;  // its rows left out: no market, or a population or MHz that is not a positive number
};

struct RoundReport {
    std::string auction;  // the file's name
    int round = 0;        // N
    int since = 0;        // M
    standings::Measure measure = standings::Measure::Gross;
    std::shared_ptr<const standings::BidHistory> history;  // the names behind the numbers below
    ReportTotals totals;
    standings::RoundStandings standings;
    standings::RoundChanges changes;
    std::optional<standings::EligibilityStandings> eligibility;  // nullopt without an eligibility table
    std::vector<standings::PaceRow> pace;                        // rounds 1 to N
    std::optional<ReportMarketData> marketData;                  // nullopt: no $/MHz-pop figures
};

// 0 <= since < round; round need not hold bids. marketData: the table the $/MHz-pop figures come from, or
// null for none.
RoundReport BuildReport(std::shared_ptr<const standings::BidHistory> history, std::string auction, int round,
                        int since, standings::Measure measure,
                        const standings::MarketDataTable* marketData = nullptr);

// ---- reading an auction for a report ----

struct ReportError {
    enum Kind {
        Missing,    // no such file
        NotAuction  // not a database, or one without sysRounds or bids
    };
    Kind kind;
    std::string message;  // one sentence naming the cause
};

struct ReportAuction {
    std::shared_ptr<const standings::BidHistory> history;
    std::vector<int> rounds;  // sysRounds, ascending
    std::shared_ptr<const standings::UserTables> tables;
};

// Reads the auction at path: a file in the engine's own format through a read-only connection, a Jet
// auction through the engine's Jet reader (which needs LocateJetReader() first), writing nothing to either.
// Throws ReportError.
ReportAuction ReadReportAuction(const std::string& path);

}  // namespace corv::report
