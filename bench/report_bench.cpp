// Figures for the round report on the 1,000,000-bid auction (300 rounds of 3,334 bids) with an eligibility
// table of 200 bidders a round: the changes since several rounds back, the pace of 300 rounds, reading the
// eligibility table, the watch list's rules weighed on the latest round, the report's web page, and
// corvidel-report --format json as a whole process.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "platform/InstallPaths.h"
#include "report/Report.h"
#include "report/ReportHtml.h"
#include "report/WatchList.h"
#include "standings/BidReader.h"
#include "standings/RoundChanges.h"

namespace {

using namespace bench;
namespace st = corv::standings;

constexpr int kEligibilityBidders = 200;

// "Bidder Activity": every bidder's eligibility in every round, falling now and then; listed as supplied.
void AddEligibility(const std::string& path, int rounds) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    Exec(db,
         "BEGIN; CREATE TABLE \"Bidder Activity\" (\"Round\" INTEGER, \"Bidder Name\" TEXT, "
         "\"Eligibility\" INTEGER)");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO \"Bidder Activity\" VALUES (?,?,?)", -1, &st, nullptr), db,
          "prepare");
    const char* named[] = {"Northwind Wireless", "O'Hara Telecom", "Bluebird PCS", "Corvid Spectrum",
                           "Summit Mobile"};
    for (int r = 1; r <= rounds; ++r)
        for (int b = 0; b < kEligibilityBidders; ++b) {
            const std::string name = b < 5 ? named[b] : "Bidder " + std::to_string(b);
            sqlite3_bind_int(st, 1, r);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 3, std::max(0, 5000 - (r / (1 + b % 7)) * 10));
            Check(sqlite3_step(st), db, "insert");
            sqlite3_reset(st);
        }
    sqlite3_finalize(st);
    Exec(db,
         "CREATE INDEX \"sysRoundIndex Bidder Activity\" ON \"Bidder Activity\" (\"Round\"); "
         "INSERT INTO sysSuppliedTables VALUES ('Bidder Activity'); "
         "INSERT INTO sysTables VALUES ('Bidder Activity'); COMMIT");
    sqlite3_close(db);
}

// Market data for every licence bid on, a row per market and block: a table of the user's own.
void AddMarketData(const std::string& path) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    Exec(db,
         "BEGIN; CREATE TABLE Sizes (Market TEXT, Block TEXT, Population, MHz); "
         "INSERT INTO Sizes (Market, Block) SELECT DISTINCT Market, Block FROM \"Markets and Bidders\"; "
         "UPDATE Sizes SET Population = 100000 + 37 * (rowid % 1000), MHz = 10 + 5 * (rowid % 3); "
         "INSERT INTO sysTables VALUES ('Sizes'); COMMIT");
    sqlite3_close(db);
}

// The program as a script runs it, its output thrown away.
int RunReport(const std::string& program, const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(program.c_str(), program.c_str(), path.c_str(), "--format", "json",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main() {
    const int rows = 1000000, perRound = 3334, rounds = (rows + perRound - 1) / perRound;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("report_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Auction14.mdb";
    auto t = Clock::now();
    WriteBidAuction(path, rows, perRound);
    AddEligibility(path, rounds);
    AddMarketData(path);
    std::printf("setup: wrote %d bids in %d rounds in %.0f ms\n", rows, rounds, Ms(t));

    // The eligibility table alone: the same table beside no bids.
    const std::string alone = folder + "/Auction15.mdb";
    WriteBidAuction(alone, 0, perRound);
    AddEligibility(alone, rounds);
    {
        Timer timer;
        const auto loaded = st::ReadAuctionFile(alone);
        timer.Print("read the eligibility table (60,000 rows)", "aim < 100 ms");
        std::printf("  %zu rounds of eligibility\n",
                    loaded.history ? loaded.history->Eligibility().size() : 0);
    }

    Timer readTimer;
    const auto loaded = st::ReadAuctionFile(path);
    readTimer.Print("read the whole auction", "");
    const st::BidHistory& h = *loaded.history;
    const int last = loaded.rounds.back();

    for (int back : {1, 10, 100, last}) {
        Timer timer;
        const auto changes = st::ComputeChanges(h, last, last - back, st::Measure::Gross);
        char what[96];
        std::snprintf(what, sizeof what, "ComputeChanges %d since %d (%zu rows)", last, last - back,
                      changes.rows.size());
        timer.Print(what, "aim < 50 ms");
    }
    {
        Timer timer;
        const auto pace = st::ComputePace(h, st::Measure::Gross, last);
        char what[96];
        std::snprintf(what, sizeof what, "ComputePace over %zu rounds", pace.size());
        timer.Print(what, "aim < 200 ms");
    }
    {
        Timer timer;
        const auto standings = st::ComputeRound(h, last, st::Measure::Gross);
        const auto eligibility = st::ComputeEligibility(h, standings);
        timer.Print("ComputeRound and ComputeEligibility", "");
    }
    {
        const st::MarketDataTable& sizes = loaded.tables->marketData.at(0);
        Timer timer;
        const st::LicenceSizes laid = st::SizeLicences(sizes, h);
        const auto standings = st::ComputeRound(h, last, st::Measure::Gross, &laid);
        char what[96];
        std::snprintf(what, sizeof what, "$/MHz-pop of round %d (%zu licences with market data)", last,
                      laid.mhzPop.size());
        timer.Print(what, "aim < 10 ms");
        std::printf("  $/MHz-pop with a high bid %.6g, all %.6g\n",
                    standings.totals.pricePerMHzPopWithHigh.value_or(0),
                    standings.totals.pricePerMHzPopAll.value_or(0));
        Timer alone;
        st::ComputeRound(h, last, st::Measure::Gross);
        alone.Print("  the same round without market data", "");
    }
    {
        Timer timer;
        const auto report =
            corv::report::BuildReport(loaded.history, "Auction14.mdb", last, last - 1, st::Measure::Gross);
        timer.Print("BuildReport", "");
    }
    {
        // What the program's export does on its worker: the report and its page.
        Timer timer;
        const auto report =
            corv::report::BuildReport(loaded.history, "Auction14.mdb", last, last - 1, st::Measure::Gross);
        const std::string page = corv::report::HtmlPage(report, corv::report::PageExtras(path, h, last));
        timer.Print("BuildReport and HtmlPage", "aim < 1000 ms");
        std::printf("  the page: %.2f MB for %zu licences, aim < 5 MB\n",
                    static_cast<double>(page.size()) / 1e6, report.standings.markets.size());
    }

    {
        // 21 rules, every kind: whole markets and single blocks, bidders in another letter case, the whole
        // auction; then the list read from its file and weighed, as corvidel-report --alerts does.
        namespace rp = corv::report;
        rp::WatchList list;
        const auto rule = [&](rp::WatchWhen when) -> rp::WatchRule& {
            list.rules.push_back({});
            list.rules.back().when = when;
            return list.rules.back();
        };
        for (const char* market : {"M001-Market Area 1", "M017-Market Area 17", "M492-Market Area 492"}) {
            rule(rp::WatchWhen::NewLeader).market = market;
            rule(rp::WatchWhen::NewHighBid).market = market;
            rule(rp::WatchWhen::HighBidReaches).market = market;
            list.rules.back().amount = 2000000;
            rule(rp::WatchWhen::Rises).market = market;
            list.rules.back().block = "A";
            list.rules.back().percent = 1;
        }
        for (const char* bidder : {"NORTHWIND WIRELESS", "o'hara telecom"}) {
            rule(rp::WatchWhen::GainsOrLosesLead).bidder = bidder;
            rule(rp::WatchWhen::EligibilityFalls).bidder = bidder;
            rule(rp::WatchWhen::DropsOut).bidder = bidder;
        }
        rule(rp::WatchWhen::NoNewBids);
        rule(rp::WatchWhen::TotalReaches).amount = 1e9;
        rule(rp::WatchWhen::TotalReaches).amount = 1e12;
        const std::string listPath = rp::WatchListPath(path);
        rp::WriteWatchList(listPath, list);
        Timer timer;
        const auto alerts = rp::EvaluateWatchList(*rp::ReadWatchList(listPath), h, last);
        char what[96];
        std::snprintf(what, sizeof what, "EvaluateWatchList, %zu rules (%zu alerts)", list.rules.size(),
                      alerts.size());
        timer.Print(what, "aim < 50 ms");
    }

    const std::string program = corv::ExecutableFolder() + "/corvidel-report";
    const auto wall = Clock::now();
    const int code = RunReport(program, path);
    std::printf("%-58s wall %8.1f ms  exit %d  %s\n", "corvidel-report --format json (whole process)",
                Ms(wall), code, "aim < 1500 ms");

    {
        // The page of an auction of a million bids on about 3,000 licences, written as the program writes it.
        const std::string wide = folder + "/Auction16.mdb";
        WriteBidAuction(wide, rows, perRound, 1499);
        const auto w = st::ReadAuctionFile(wide);
        const int wideLast = w.rounds.back();
        Timer timer;
        const auto report =
            corv::report::BuildReport(w.history, "Auction16.mdb", wideLast, wideLast - 1, st::Measure::Gross);
        const std::string page =
            corv::report::HtmlPage(report, corv::report::PageExtras(wide, *w.history, wideLast));
        timer.Print("BuildReport and HtmlPage, about 3,000 licences", "aim < 1000 ms");
        std::printf("  the page: %.2f MB for %zu licences, aim < 5 MB\n",
                    static_cast<double>(page.size()) / 1e6, report.standings.markets.size());
    }

    std::filesystem::remove_all(folder);
    return 0;
}
