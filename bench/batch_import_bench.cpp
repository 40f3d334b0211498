// Batch import of a large synthetic auction: 300 round files of 3,000 bids each plus statistics tables.
//   batch_import_bench [ROUNDS] [BIDS]          round files in the engine's own format
//   batch_import_bench --jet [ROUNDS] [BIDS]    Jet round files grown from a real one (JetRoundFiles.h); the
//                                               time of reading the files alone is printed too
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "JetRoundFiles.h"
#include "dialogue/AuctionCommands.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "engine/jet/JetReader.h"
#include "fixture/FixtureAuction.h"
#include "store/Auction.h"
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

// Opens each file as the batch does, one after another on this thread: the reader's share of the import.
// The Jet reader's process alone is timed on its own first.
void TimeReading(const std::vector<std::string>& files, const fs::path& scratch) {
    auto start = Clock::now();
    for (const std::string& f : files) {
        const std::string out = (scratch / "read.sqlite").string();
        corv::ConvertJetFile(f, out);
        fs::remove(out);
    }
    const double process = Seconds(start);
    start = Clock::now();
    for (const std::string& f : files) corv::Engine().OpenDatabase(f)->Close();
    const double open = Seconds(start);
    const double n = static_cast<double>(files.size());
    std::printf("reading alone: %zu files opened in %.2f s, %.1f ms per file (the reader process: %.1f ms)\n",
                files.size(), open, 1000.0 * open / n, 1000.0 * process / n);
}

// The bids a written file holds, as the program reads it.
void CheckRoundFile(const std::string& path, int round, int bids) {
    auto db = corv::Engine().OpenDatabase(path);
    auto rs = db->OpenRecordset(
        "SELECT COUNT(*), MIN(Round), MAX(Round), MIN([Auction Id]), MAX([Auction Id]) "
        "FROM [Markets and Bidders]",
        corv::RecordsetType::Snapshot);
    const bool ok = rs->GetValue(0).asInteger() == bids && rs->GetValue(1).asInteger() == round &&
                    rs->GetValue(2).asInteger() == round && rs->GetValue(3).asInteger() == 31 &&
                    rs->GetValue(4).asInteger() == 31;
    rs->Close();
    db->Close();
    if (!ok)
        throw std::runtime_error(path + " does not read back as " + std::to_string(bids) + " bids of round " +
                                 std::to_string(round));
}

}  // namespace

int main(int argc, char** argv) {
    const bool jet = argc > 1 && std::string(argv[1]) == "--jet";
    if (jet) {
        --argc;
        ++argv;
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    const int bids = argc > 2 ? std::atoi(argv[2]) : 3000;
    const fs::path root = fs::temp_directory_path() / ("corvidel-batch-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path downloads = root / "download";
    const fs::path program = root / "program";
    fs::create_directories(program);

    int auctionNumber = 14;
    std::vector<std::string> files;
    auto start = Clock::now();
    if (jet) {
        auctionNumber = 31;
        files = bench::WriteJetRoundFiles(CORVIDEL_SHARED_DIR "/jet-samples/auction/31_001.mdb",
                                          downloads.string(), rounds, bids);
        std::printf("fixture: %d Jet round files of %d bids written in %.2f s\n", rounds, bids,
                    Seconds(start));
        CheckRoundFile(files.front(), 1, bids);
        CheckRoundFile(files.back(), rounds, bids);
        if (rounds > 1) TimeReading(std::vector<std::string>(files.begin() + 1, files.end()), root);
    } else {
        corv::fixture::AuctionOptions o;
        o.auction = auctionNumber;
        o.rounds = rounds;
        o.bidsPerRound = bids;
        o.markets = 40;
        o.bidders = 60;
        files = corv::fixture::WriteAuctionRounds(downloads.string(), o);
        std::printf("fixture: %d round files of %d bids written in %.2f s\n", rounds, bids, Seconds(start));
    }

    corv::test::ScriptedDesktop desk(program.string(), downloads.string());
    desk.Install();
    desk.OpenFile(files.front());
    corv::store::AuctionSession session;
    start = Clock::now();
    corv::BatchImportAuction(session, {});
    const double took = Seconds(start);
    session.Close();

    const std::string auction = (program / ("Auction" + std::to_string(auctionNumber) + ".mdb")).string();
    const long long rows = TotalRows(auction);
    std::printf("last message: %s\n", desk.boxes.empty() ? "(none)" : desk.boxes.back().text.c_str());
    std::printf("batch import: %lld rows in %.2f s, %.0f rows/s, %.1f ms per round\n", rows, took,
                rows / took, 1000.0 * took / rounds);
    fs::remove_all(root);
    return desk.boxes.empty() || desk.boxes.back().title != "Finished Batch Import";
}
