// corvidel-report AUCTION [options]: one round of an auction as text, CSV, JSON or a web page, for scripts
// and for a look from a terminal; with --alerts, the alerts the watch list gives for the round. Reads the
// auction and its watch list and writes nothing to either, a Jet auction included.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "platform/InstallPaths.h"
#include "platform/TempFileCleanup.h"
#include "report/Report.h"
#include "report/ReportHtml.h"
#include "report/ReportWriters.h"
#include "report/WatchList.h"
#include "standings/RoundChanges.h"

namespace {

using corv::report::ReportError;
using corv::report::Table;
using corv::standings::Measure;

// Exit codes; scripts rely on them.
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageLine =
    "usage: corvidel-report AUCTION [--round N] [--since M] [--net] [--format text|csv|json|html]\n"
    "                       [--table NAME] [--market-data TABLE] [--output FILE]\n"
    "       corvidel-report AUCTION --alerts [--watch FILE] [--round N] [--format text|json]\n"
    "                       [--output FILE]\n";

constexpr const char* kHelp =
    "       corvidel-report --help | --version\n"
    "\n"
    "Reports one round of the auction database AUCTION (AuctionN.mdb, in Corvidel's format or still in\n"
    "the Jet format): the standings after round N, what changed since round M, each bidder's\n"
    "eligibility and the pace of every round up to N. Nothing is written to AUCTION.\n"
    "\n"
    "  --round N        the round reported (default: the latest imported)\n"
    "  --since M        the round the changes are counted from, below N (default: N - 1; 0 counts from\n"
    "                   before the first round)\n"
    "  --net            net amounts (after each bidder's discount) instead of gross\n"
    "  --format F       text (default): every table, aligned for a terminal; csv: the one table\n"
    "                   --table names; json: one document holding every table; html: one web page\n"
    "                   holding every table and three charts, to read, share and print\n"
    "  --table NAME     markets, bidders, changes, eligibility or rounds (with --format csv only)\n"
    "  --market-data TABLE\n"
    "                   the market data the $/MHz-pop figures come from (default: the first in the\n"
    "                   auction's list of tables)\n"
    "  --output FILE    write to FILE instead of standard output\n"
    "  --alerts         print the alerts the watch list gives for round N (against N - 1, gross\n"
    "                   amounts) instead of the report: one \"Round N: TEXT\" line each, or with\n"
    "                   --format json {auction, round, watchList, alerts[]} where each alert is\n"
    "                   {rule, when, round, text}: rule is the rule's index in the list (from 0) and\n"
    "                   when its kind. Without a watch list it prints nothing (JSON: no alerts).\n"
    "  --watch FILE     the watch list to weigh (default: AUCTION's own, AUCTION.watch.json beside\n"
    "                   it, its extension replaced); with --alerts only\n"
    "  -h, --help       print this help and exit\n"
    "      --version    print the version and exit\n"
    "\n"
    "A bid is a row of Markets and Bidders with an amount; a licence is a market and block; on a tie\n"
    "the earliest bid keeps the lead. Amounts are written as stored (CSV and JSON) or grouped by\n"
    "thousands (text); a missing value is empty in CSV, null in JSON and - in text.\n"
    "\n"
    "The JSON document:\n"
    "  auction, round, since, measure (\"gross\" or \"net\")\n"
    "  marketData   table, rowsLeftOut; null without market data\n"
    "  totals       standing, previous (after M), change, licencesWithHigh, bidsInRound,\n"
    "               leaderChanges (since M), pricePerMHzPop {withHigh, all}\n"
    "  markets[]    market, block, high, leader, since, previous (high after N - 1), bids,\n"
    "               leaderChanged, newHigh, lastBid, stood, pricePerMHzPop\n"
    "  bidders[]    bidder, leads, held, bids, firstRound, lastRound, pricePerMHzPop\n"
    "  changes[]    market, block, kind (\"first bid\", \"new leader\" or \"higher bid\"), leaderBefore,\n"
    "               leaderNow, highBefore, highNow\n"
    "  eligibility[] bidder, eligibility, previous, change, status (\"active\", \"reduced\" or \"out\");\n"
    "               null when the auction has no eligibility table\n"
    "  rounds[]     round, standing, change, bids, licencesBid, licencesWithHigh, leaderChanges,\n"
    "               eligibility\n"
    "A block is written without its surrounding blanks (\"\" for a market sold whole).\n"
    "\n"
    "Market data is a table of the user's own with the columns Market, Population and MHz (Block\n"
    "optional): a row with a block gives that licence, one without gives every block of its market\n"
    "that has no row of its own. A row whose population or MHz is not a positive number is left out;\n"
    "marketData tells the table and the rows left out (null without market data), and the text says\n"
    "them under its first line. pricePerMHzPop is a high bid over MHz x population: for a licence,\n"
    "null without market data for it; for a bidder, the high bids it holds over their MHz-pop, both\n"
    "over its licences with market data (null when none has any); in totals, withHigh is the high\n"
    "bids over the MHz-pop of the licences with a high bid, and all the same high bids over the\n"
    "MHz-pop of every licence the market data gives, bid on or not (totals.pricePerMHzPop is null\n"
    "without market data). The text shows them with four decimals, and leaves them out without\n"
    "market data.\n"
    "\n"
    "The watch list is JSON, {\"version\": 1, \"rules\": [...]}, each rule one of:\n"
    "  {\"market\": M, \"block\": B, \"when\": \"new leader\"}       another bidder leads it\n"
    "  {\"market\": M, \"block\": B, \"when\": \"new high bid\"}     a high bid placed in round N\n"
    "  {\"market\": M, \"block\": B, \"when\": \"high bid reaches\", \"amount\": A}\n"
    "  {\"market\": M, \"block\": B, \"when\": \"rises\", \"percent\": P}\n"
    "  {\"bidder\": NAME, \"when\": \"gains or loses a lead\"}\n"
    "  {\"bidder\": NAME, \"when\": \"eligibility falls\"}\n"
    "  {\"bidder\": NAME, \"when\": \"drops out\"}\n"
    "  {\"when\": \"no new bids\"}\n"
    "  {\"when\": \"standing total reaches\", \"amount\": A}\n"
    "\"block\" may be left out to watch every block of the market. See corvidel-report(1).\n"
    "\n"
    "Exit status: 0 on success; 1 when AUCTION is missing or is not an auction database, the round is\n"
    "not imported, --net is given for an auction without net amounts, the --market-data table is not\n"
    "there or is not market data, the watch list cannot be used, or the output cannot be written; 2 for\n"
    "a wrong command line (an unknown option included). The cause is one line on standard error. See\n"
    "corvidel-report(1).\n";

enum class Format { Text, Csv, Json, Html };

struct Options {
    std::string auction;
    std::optional<int> round, since;
    Measure measure = Measure::Gross;
    Format format = Format::Text;
    std::optional<Table> table;
    std::optional<std::string> output;
    std::optional<std::string> marketData;
    bool alerts = false;
    std::optional<std::string> watch;
};

struct UsageError {
    std::string message;
};

int Number(const std::string& option, const std::string& text, int lowest) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < lowest)
        throw UsageError{option + " takes a whole number of " + std::to_string(lowest) + " or more, not '" +
                         text + "'"};
    return value;
}

Options Parse(int argc, char** argv) {
    Options o;
    bool haveAuction = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
            return argv[++i];
        };
        if (arg == "--round") {
            o.round = Number(arg, value(), 1);
        } else if (arg == "--since") {
            o.since = Number(arg, value(), 0);
        } else if (arg == "--net") {
            o.measure = Measure::Net;
        } else if (arg == "--format") {
            const std::string f = value();
            if (f == "text")
                o.format = Format::Text;
            else if (f == "csv")
                o.format = Format::Csv;
            else if (f == "json")
                o.format = Format::Json;
            else if (f == "html")
                o.format = Format::Html;
            else
                throw UsageError{"--format takes text, csv, json or html, not '" + f + "'"};
        } else if (arg == "--table") {
            const std::string t = value();
            o.table = corv::report::TableNamed(t);
            if (!o.table)
                throw UsageError{"--table takes markets, bidders, changes, eligibility or rounds, not '" + t +
                                 "'"};
        } else if (arg == "--market-data") {
            o.marketData = value();
        } else if (arg == "--output") {
            o.output = value();
        } else if (arg == "--alerts") {
            o.alerts = true;
        } else if (arg == "--watch") {
            o.watch = value();
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else if (haveAuction) {
            throw UsageError{"one auction at a time: '" + arg + "' is one too many"};
        } else {
            o.auction = arg;
            haveAuction = true;
        }
    }
    if (!haveAuction) throw UsageError{"no auction given"};
    if (o.watch && !o.alerts) throw UsageError{"--watch goes with --alerts"};
    if (o.alerts) {
        // The alerts are weighed one way: round N against N - 1, gross amounts.
        if (o.since) throw UsageError{"--alerts weighs round N against N - 1: leave out --since"};
        if (o.measure == Measure::Net) throw UsageError{"--alerts weighs gross amounts: leave out --net"};
        if (o.format == Format::Csv || o.format == Format::Html || o.table)
            throw UsageError{"--alerts goes with --format text or json"};
    }
    if (o.table && o.format != Format::Csv) throw UsageError{"--table goes with --format csv"};
    if (o.format == Format::Csv && !o.table) throw UsageError{"--format csv needs --table"};
    if (o.round && o.since && *o.since >= *o.round) throw UsageError{"--since must be below --round"};
    return o;
}

int Fail(int code, const std::string& message) {
    std::cerr << "corvidel-report: " << message << '\n';
    return code;
}

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The market data asked for, or the first there is; a cause to fail when the one asked for will not do.
const corv::standings::MarketDataTable* ChosenMarketData(const corv::report::ReportAuction& auction,
                                                         const Options& o, std::string& cause) {
    const auto& tables = *auction.tables;
    if (!o.marketData) return tables.marketData.empty() ? nullptr : &tables.marketData.front();
    if (const auto* found = corv::standings::FindMarketData(tables.marketData, *o.marketData)) return found;
    const bool there = std::any_of(tables.names.begin(), tables.names.end(),
                                   [&](const std::string& n) { return SameName(n, *o.marketData); });
    cause = there ? "the table " + *o.marketData + " of " + o.auction +
                        " is not market data: it needs the columns Market, Population and MHz"
                  : o.auction + " has no table of the user's named " + *o.marketData;
    return nullptr;
}

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A JSON string; a byte that is not UTF-8 becomes U+FFFD, so the document stays valid.
std::string JsonText(const std::string& s) {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// "Round N: TEXT" lines, or the JSON document of --alerts, one alert a line:
//   {"auction": "Auction31.mdb", "round": 6, "watchList": "Auction31.watch.json", "alerts": [
//     {"rule": 0, "when": "new leader", "round": 6, "text": "BTA001 C: ..."}
//   ]}
// watchList is null without a list.
std::string AlertsText(const Options& o, const std::string& auction, int round,
                       const corv::report::WatchList* list, const std::string& listPath,
                       const std::vector<corv::report::Alert>& alerts) {
    if (o.format == Format::Json) {
        std::string out = "{\"auction\": " + JsonText(auction) + ", \"round\": " + std::to_string(round) +
                          ", \"watchList\": " + (list ? JsonText(listPath) : std::string("null")) +
                          ", \"alerts\": [";
        for (std::size_t i = 0; i < alerts.size(); ++i) {
            const auto& a = alerts[i];
            const auto when = list->rules[static_cast<std::size_t>(a.rule)].when;
            out += (i ? ",\n  " : "\n  ");
            out += "{\"rule\": " + std::to_string(a.rule) +
                   ", \"when\": " + JsonText(corv::report::WatchWhenText(when)) +
                   ", \"round\": " + std::to_string(a.round) + ", \"text\": " + JsonText(a.text) + "}";
        }
        return out + (alerts.empty() ? "]}\n" : "\n]}\n");
    }
    std::string out;
    const std::string prefix = "Round " + std::to_string(round) + ": ";
    // "no new bids" already begins so.
    for (const auto& a : alerts) out += (a.text.rfind(prefix, 0) == 0 ? a.text : prefix + a.text) + '\n';
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    corv::LocateJetReader();
    corv::CleanTempFilesAtStart(true);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsageLine << kHelp;
            return kDone;
        }
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "corvidel-report " << CORVIDEL_VERSION_MAJOR << '.' << CORVIDEL_VERSION_MINOR << '.'
                  << CORVIDEL_VERSION_PATCH << '\n';
        return kDone;
    }
    Options o;
    try {
        o = Parse(argc, argv);
    } catch (const UsageError& e) {
        return Fail(kUsage, e.message + " (corvidel-report --help tells the usage)");
    }

    corv::report::RoundReport report;
    std::string alertsOut;
    try {
        const auto auction = corv::report::ReadReportAuction(o.auction);
        if (auction.rounds.empty()) return Fail(kFailed, o.auction + " holds no imported round");
        const int round = o.round.value_or(auction.rounds.back());
        if (!std::binary_search(auction.rounds.begin(), auction.rounds.end(), round))
            return Fail(kFailed, "round " + std::to_string(round) + " is not imported into " + o.auction);
        const int since = o.since.value_or(round - 1);
        if (since >= round) return Fail(kUsage, "--since must be below the round, " + std::to_string(round));
        if (o.measure == Measure::Net && !auction.history->HasNet())
            return Fail(kFailed, o.auction + " has no net amounts: leave out --net");
        if (o.alerts) {
            const std::string listPath = o.watch.value_or(corv::report::WatchListPath(o.auction));
            std::optional<corv::report::WatchList> list;
            try {
                list = corv::report::ReadWatchList(listPath);
            } catch (const corv::report::WatchListError& e) {
                return Fail(kFailed, e.Describe(listPath));
            }
            // The auction's own list may well not be there; a list named on the command line must be.
            if (!list && o.watch) return Fail(kFailed, listPath + ": no such file");
            const auto alerts = list ? corv::report::EvaluateWatchList(*list, *auction.history, round)
                                     : std::vector<corv::report::Alert>{};
            alertsOut = AlertsText(o, FileName(o.auction), round, list ? &*list : nullptr,
                                   list ? listPath : std::string(), alerts);
        } else {
            std::string cause;
            const auto* marketData = ChosenMarketData(auction, o, cause);
            if (!cause.empty()) return Fail(kFailed, cause);
            report = corv::report::BuildReport(auction.history, FileName(o.auction), round, since, o.measure,
                                               marketData);
        }
    } catch (const ReportError& e) {
        return Fail(kFailed, e.message);
    } catch (const std::exception& e) {
        return Fail(kFailed, e.what());
    }

    std::ostringstream text;
    if (o.alerts) {
        text << alertsOut;
    } else {
        switch (o.format) {
            case Format::Text:
                corv::report::WriteText(report, text);
                break;
            case Format::Json:
                corv::report::WriteJson(report, text);
                break;
            case Format::Html:
                text << corv::report::HtmlPage(
                    report, corv::report::PageExtras(o.auction, *report.history, report.round));
                break;
            case Format::Csv:
                if (!corv::report::WriteCsv(report, *o.table, text))
                    return Fail(kFailed, corv::standings::NoEligibilityTableSentence());
                break;
        }
    }
    const std::string out = std::move(text).str();
    if (o.output) {
        std::ofstream file(*o.output, std::ios::binary | std::ios::trunc);
        file << out;
        file.close();
        if (!file) return Fail(kFailed, "cannot write " + *o.output);
    } else {
        std::cout << out;
        std::cout.flush();
        if (!std::cout) return Fail(kFailed, "cannot write the report");
    }
    return kDone;
}
