// Reading Jet files: rows per second through ConvertJetFile (process start included) for the whole of
// nwind.mdb, with the reader confined and unconfined, and per table as timed inside the confined reader.
//   jet_read_bench [FILE.mdb] [REPEATS]
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/jet/JetReader.h"
#include "tools/JetSandbox.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct TableRows {
    std::string name;
    long long rows;
};

std::vector<TableRows> CountRows(const std::string& sqlitePath) {
    std::vector<TableRows> out;
    sqlite3* db = nullptr;
    sqlite3_open_v2(sqlitePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid", -1, &st,
                       nullptr);
    std::vector<std::string> names;
    while (sqlite3_step(st) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    for (const auto& n : names) {
        std::string sql = "SELECT count(*) FROM \"" + n + "\"";
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        long long c = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_finalize(st);
        out.push_back({n, c});
    }
    sqlite3_close(db);
    return out;
}

// Runs the reader with per-table timings and adds them to secs (by table order).
bool RunReaderStats(const std::string& in, const std::string& out, const std::string& statsFile,
                    std::vector<double>& secs) {
    std::string prog = corv::JetReaderProgram();
    std::vector<std::string> args = {prog, in, out, "--stats", "1"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, statsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    int rc = posix_spawn(&pid, prog.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    FILE* f = std::fopen(statsFile.c_str(), "r");
    if (!f) return false;
    char line[1024];
    std::size_t i = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "stat\t", 5) != 0) continue;
        const char* last = std::strrchr(line, '\t');
        if (i >= secs.size()) secs.push_back(0);
        secs[i++] += std::atof(last + 1);
    }
    std::fclose(f);
    return true;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// CPU time of the finished readers: the machine is shared, so wall time alone overstates the work.
double ChildCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Totals {
    double wall = 0, cpu = 0;
};

void TimedRead(const std::string& in, const std::string& out, bool confined, Totals& t) {
    if (confined)
        unsetenv(corv::kJetReaderNoSandboxVar);
    else
        setenv(corv::kJetReaderNoSandboxVar, "1", 1);
    double cpu0 = ChildCpuSeconds();
    auto start = Clock::now();
    corv::ConvertJetFile(in, out);
    t.wall += Seconds(Clock::now() - start);
    t.cpu += ChildCpuSeconds() - cpu0;
    unsetenv(corv::kJetReaderNoSandboxVar);
}

}  // namespace

int main(int argc, char** argv) {
    std::string in = argc > 1 ? argv[1] : CORVIDEL_SHARED_DIR "/jet-samples/nwind.mdb";
    int repeats = argc > 2 ? std::atoi(argv[2]) : 10;
    if (repeats < 1) repeats = 1;
    if (!fs::exists(in)) {
        std::fprintf(stderr, "jet_read_bench: %s not found\n", in.c_str());
        return 1;
    }
    fs::path tmp = fs::temp_directory_path() / ("corv-jetbench-" + std::to_string(getpid()));
    fs::create_directories(tmp);
    const std::string out = (tmp / "out.sqlite").string();

    try {
        corv::ConvertJetFile(in, out);  // warm the page cache
    } catch (const corv::CorvError& e) {
        std::fprintf(stderr, "jet_read_bench: %s\n", e.what());
        return 1;
    }
    auto tables = CountRows(out);
    long long total = 0;
    for (auto& t : tables) total += t.rows;

    // Confined and unconfined reads take turns, so a change in the machine's load hits both alike.
    Totals confined, unconfined;
    for (int i = 0; i < repeats; ++i) {
        TimedRead(in, out, i % 2 == 0, i % 2 == 0 ? confined : unconfined);
        TimedRead(in, out, i % 2 != 0, i % 2 != 0 ? confined : unconfined);
    }
    std::printf("file %s: %zu tables, %lld rows, %.2f MB\n", in.c_str(), tables.size(), total,
                fs::file_size(in) / 1048576.0);
    std::printf("ConvertJetFile (whole file, process start included), per file:\n");
    for (auto [name, t] : {std::pair{"confined", confined}, std::pair{"unconfined", unconfined}})
        std::printf("  %-10s %7.1f ms wall %9.0f rows/s, reader CPU %7.1f ms %9.0f rows/s\n", name,
                    t.wall / repeats * 1000, total * repeats / t.wall, t.cpu / repeats * 1000,
                    total * repeats / t.cpu);
    std::printf("  confined vs unconfined: wall %+.1f%%, reader CPU %+.1f%%\n",
                (confined.wall / unconfined.wall - 1) * 100, (confined.cpu / unconfined.cpu - 1) * 100);

    // Per table, timed inside the reader: the process start and the catalog are left out.
    std::vector<double> secs;
    for (int i = 0; i < repeats; ++i)
        if (!RunReaderStats(in, out, (tmp / "stats.txt").string(), secs)) {
            std::fprintf(stderr, "jet_read_bench: the reader failed\n");
            return 1;
        }
    double inner = 0;
    std::printf("%-24s %8s %10s %12s\n", "table", "rows", "ms", "rows/s");
    for (std::size_t i = 0; i < tables.size() && i < secs.size(); ++i) {
        double s = secs[i] / repeats;
        inner += s;
        std::printf("%-24s %8lld %10.3f %12.0f\n", tables[i].name.c_str(), tables[i].rows, s * 1000,
                    s > 0 ? tables[i].rows / s : 0.0);
    }
    std::printf("%-24s %8lld %10.3f %12.0f\n", "all tables (reader only)", total, inner * 1000,
                inner > 0 ? total / inner : 0.0);
    fs::remove_all(tmp);
    return 0;
}
