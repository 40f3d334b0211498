// Batch import of a large synthetic auction: 300 round files of 3,000 bids each plus statistics tables.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sqlite3.h>

#include "fixture/FixtureAuction.h"
#include "store/Auction.h"
#include "store/AuctionCommands.h"
#include "support/ScriptedDesktop.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

long long TotalRows(const std::string& path) {
    sqlite3* db = nullptr;
    long long total = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* names = nullptr;
        sqlite3_prepare_v2(db, "SELECT TableName FROM sysSuppliedTables", -1, &names, nullptr);
        while (names && sqlite3_step(names) == SQLITE_ROW) {
            std::string sql = "SELECT COUNT(*) FROM \"" +
                              std::string(reinterpret_cast<const char*>(sqlite3_column_text(names, 0))) +
                              "\"";
            sqlite3_stmt* count = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &count, nullptr) == SQLITE_OK &&
                sqlite3_step(count) == SQLITE_ROW)
                total += sqlite3_column_int64(count, 0);
            sqlite3_finalize(count);
        }
        sqlite3_finalize(names);
    }
    sqlite3_close(db);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    const int bids = argc > 2 ? std::atoi(argv[2]) : 3000;
    const fs::path root = fs::temp_directory_path() / ("corvidel-batch-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path downloads = root / "download";
    const fs::path program = root / "program";
    fs::create_directories(program);

    corv::fixture::AuctionOptions o;
    o.auction = 14;
    o.rounds = rounds;
    o.bidsPerRound = bids;
    o.markets = 40;
    o.bidders = 60;
    auto start = Clock::now();
    const auto files = corv::fixture::WriteAuctionRounds(downloads.string(), o);
    std::printf("fixture: %d round files of %d bids written in %.2f s\n", rounds, bids, Seconds(start));

    corv::test::ScriptedDesktop desk(program.string(), downloads.string());
    desk.Install();
    desk.OpenFile(files.front());
    corv::store::AuctionSession session;
    start = Clock::now();
    corv::BatchImportAuction(session, {});
    const double took = Seconds(start);
    session.Close();

    const std::string auction = (program / "Auction14.mdb").string();
    const long long rows = TotalRows(auction);
    std::printf("last message: %s\n", desk.boxes.empty() ? "(none)" : desk.boxes.back().text.c_str());
    std::printf("batch import: %lld rows in %.2f s, %.0f rows/s, %.1f ms per round\n", rows, took,
                rows / took, 1000.0 * took / rounds);
    fs::remove_all(root);
    return desk.boxes.empty() || desk.boxes.back().title != "Finished Batch Import";
}
