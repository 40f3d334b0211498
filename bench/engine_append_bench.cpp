// Appending a round with INSERT ... IN through the engine against SQLite's own prepared insert of the same
// rows, and materialising a million-row snapshot. Prints figures; asserts nothing.

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/SnapshotData.h"

namespace {

constexpr long kRows = 1000000;

const char* kTable =
    "CREATE TABLE \"Markets and Bidders\" (\"Auction Id\" Long, \"Round\" Long, \"Market\" Text COLLATE "
    "NOCASE, "
    "\"Block\" Text COLLATE NOCASE, \"Bidder Name\" Text COLLATE NOCASE, \"Bid Amount\" Currency, "
    "\"Net Bid Amount\" Currency)";

const char* kBidders[] = {"Acme Wireless", "Bolt's Telecom",  "Cobalt PCS",       "Delta Radio",
                          "Echo Mobile",   "Falcon Networks", "Granite Cellular", "Harbor Radio"};
const char* kBlocks[] = {"A", "B", "C", "  "};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process: on a shared machine the wall clock also counts waiting for a core.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

sqlite3* OpenRaw(const std::string& path) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    return db;
}

// The same rows every time: bids of 200 rounds over 50 markets.
void InsertRows(sqlite3* db) {
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO \"Markets and Bidders\" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                             -1, &st, nullptr),
          db, "prepare");
    char market[16];
    for (long i = 0; i < kRows; ++i) {
        std::snprintf(market, sizeof market, "MTA%03ld", i % 50 + 1);
        const double amount = 100000.0 + static_cast<double>((i * 7919) % 900000);
        sqlite3_bind_int64(st, 1, 14);
        sqlite3_bind_int64(st, 2, i / 5000 + 1);
        sqlite3_bind_text(st, 3, market, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, kBlocks[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 5, kBidders[i % 8], -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 6, amount);
        if (i % 10 == 0) {
            sqlite3_bind_null(st, 7);
        } else {
            sqlite3_bind_double(st, 7, amount * 0.85);
        }
        Check(sqlite3_step(st), db, "insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

void MakeEmpty(const std::string& path) {
    sqlite3* db = OpenRaw(path);
    Check(sqlite3_exec(db, kTable, nullptr, nullptr, nullptr), db, "create");
    sqlite3_close(db);
}

}  // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("corv-append-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string source = (dir / "14_002.mdb").string();
    const std::string target = (dir / "Auction14.mdb").string();
    const std::string rawTarget = (dir / "raw.mdb").string();

    MakeEmpty(source);
    MakeEmpty(target);
    MakeEmpty(rawTarget);
    {
        sqlite3* db = OpenRaw(source);
        InsertRows(db);
        sqlite3_close(db);
    }

    // SQLite's own prepared insert, one transaction.
    auto t0 = std::chrono::steady_clock::now();
    double c0 = CpuSeconds();
    {
        sqlite3* db = OpenRaw(rawTarget);
        InsertRows(db);
        sqlite3_close(db);
    }
    const double rawSeconds = Seconds(t0);
    const double rawCpu = CpuSeconds() - c0;

    // The engine: the statement a round import runs, executed on the round file.
    double engineSeconds = 0, engineCpu = 0;
    try {
        auto db = corv::Engine().OpenDatabase(source);
        t0 = std::chrono::steady_clock::now();
        c0 = CpuSeconds();
        db->Execute("INSERT INTO [Markets and Bidders] IN \"" + target +
                    "\" SELECT * FROM [Markets and Bidders]");
        engineSeconds = Seconds(t0);
        engineCpu = CpuSeconds() - c0;
    } catch (const corv::CorvError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }

    std::printf("rows: %ld\n", kRows);
    std::printf("sqlite prepared insert: %.3f s (cpu %.3f s), %.0f rows/s\n", rawSeconds, rawCpu,
                kRows / rawSeconds);
    std::printf("engine INSERT ... IN:   %.3f s (cpu %.3f s), %.0f rows/s\n", engineSeconds, engineCpu,
                kRows / engineSeconds);
    std::printf("engine time / sqlite time: %.2f (cpu %.2f)\n", engineSeconds / rawSeconds,
                engineCpu / rawCpu);

    // Reading the rows back through the C API alone, as a yardstick for the snapshot.
    {
        sqlite3* db = OpenRaw(target);
        sqlite3_stmt* st = nullptr;
        Check(sqlite3_prepare_v2(db, "SELECT * FROM \"Markets and Bidders\"", -1, &st, nullptr), db,
              "prepare");
        t0 = std::chrono::steady_clock::now();
        c0 = CpuSeconds();
        long n = 0, bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 7; ++c) {
                if (sqlite3_column_type(st, c) == SQLITE_TEXT) bytes += sqlite3_column_bytes(st, c);
            }
            ++n;
        }
        std::printf("sqlite read of %ld rows (%ld text bytes): %.3f s (cpu %.3f s)\n", n, bytes, Seconds(t0),
                    CpuSeconds() - c0);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }

    // The viewer's whole-table snapshot.
    try {
        auto db = corv::Engine().OpenDatabase(target);
        const long before = RssKb();
        t0 = std::chrono::steady_clock::now();
        c0 = CpuSeconds();
        auto rs = db->OpenRecordset("SELECT * FROM [Markets and Bidders]", corv::RecordsetType::Snapshot);
        const double openSeconds = Seconds(t0);
        const double openCpu = CpuSeconds() - c0;
        const long after = RssKb();
        std::printf("snapshot of %ld rows x %d fields: %.3f s (cpu %.3f s), RSS +%.1f MB (data %.1f MB)\n",
                    rs->RecordCount(), rs->FieldCount(), openSeconds, openCpu, (after - before) / 1024.0,
                    rs->Data()->MemoryBytes() / 1048576.0);

        rs->Filter = "[Bidder Name] = \"cobalt pcs\" And [Round] >= 100";
        rs->Sort = "[Market], [Bid Amount] DESC";
        t0 = std::chrono::steady_clock::now();
        c0 = CpuSeconds();
        auto narrowed = rs->OpenRecordset();
        std::printf("filter + sort over the snapshot: %.3f s (cpu %.3f s), %ld rows\n", Seconds(t0),
                    CpuSeconds() - c0, narrowed->RecordCount());

        rs->Filter.clear();
        rs->Sort = "[Bidder Name], [Round] DESC";
        t0 = std::chrono::steady_clock::now();
        c0 = CpuSeconds();
        auto sorted = rs->OpenRecordset();
        std::printf("sort of all rows: %.3f s (cpu %.3f s)\n", Seconds(t0), CpuSeconds() - c0);
    } catch (const corv::CorvError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
