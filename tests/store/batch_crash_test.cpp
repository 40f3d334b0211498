// A batch import killed at random points leaves an auction that opens whole and holds exactly the rounds it
// committed; a new batch over the same auction sets that one aside whole and leaves no stray files.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "fixture/FixtureAuction.h"
#include "store/store_support.h"
#include "support/ScriptedDesktop.h"

extern char** environ;

using namespace corv;
using namespace corv::storetest;
namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 100;
constexpr int kTries = 6;

// What the killed child told before it died.
struct ChildRun {
    int lastStarted = 0;  // the last round whose import had begun; 0 before any
    bool done = false;
};

class BatchCrashTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::temp_directory_path() / ("corv-crash-" + std::to_string(::getpid())));
        fs::remove_all(*root_);
        fixture::AuctionOptions o;
        o.auction = 14;
        o.rounds = kRounds;
        files_ = new std::vector<std::string>(fixture::WriteAuctionRounds((*root_ / "download").string(), o));
        rows_ = new std::vector<std::map<std::string, long>>;
        for (const auto& f : *files_) {
            std::map<std::string, long> counts;
            for (const auto& t : kFixtureTables) counts[t] = Count(f, t);
            rows_->push_back(counts);
        }
    }
    static void TearDownTestSuite() {
        fs::remove_all(*root_);
        delete root_;
        delete files_;
        delete rows_;
    }

    // Starts the batch in a child process and kills it once round cut has begun (0: during creation), after
    // a random pause of up to pauseMicros.
    static ChildRun RunAndKill(const std::string& program, int cut, int pauseMicros, std::mt19937& rng) {
        const std::string child =
            (fs::read_symlink("/proc/self/exe").parent_path() / "store_batch_child").string();
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string first = files_->front();
        char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(program.c_str()),
                        const_cast<char*>(first.c_str()), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, child.c_str(), &actions, nullptr, argv, environ), 0) << child;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);

        ChildRun run;
        FILE* lines = ::fdopen(out[0], "r");
        char line[256];
        auto readLine = [&] {
            if (!std::fgets(line, sizeof line, lines)) return false;
            if (std::string(line) == "done\n")
                run.done = true;
            else
                run.lastStarted = std::atoi(line);
            return true;
        };
        while (cut > 0 && run.lastStarted < cut && !run.done && readLine()) {
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, pauseMicros)(rng)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        while (readLine()) {
        }
        std::fclose(lines);
        return run;
    }

    // The auction at path holds rounds 1 to rounds, whole: every supplied table exactly those rounds' rows,
    // "Withdrawal Statistics" the last round's.
    static void ExpectAuction(const std::string& path, int rounds) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Query(path, "PRAGMA integrity_check"), Rows{{"ok"}});
        std::vector<std::string> expected;
        for (int r = 1; r <= rounds; ++r) expected.push_back(std::to_string(r));
        EXPECT_EQ(Column(Query(path, "SELECT Round FROM sysRounds ORDER BY rowid")), expected);
        EXPECT_EQ(Column(Query(path, "SELECT DISTINCT Round FROM [Markets and Bidders] ORDER BY Round")),
                  expected);
        for (const auto& t : kFixtureTables) {
            long want = 0;
            for (int r = 1; r <= rounds; ++r)
                want = t == "Withdrawal Statistics" ? (*rows_)[r - 1].at(t) : want + (*rows_)[r - 1].at(t);
            EXPECT_EQ(Count(path, t), want) << t;
        }
    }

    static fs::path* root_;
    static std::vector<std::string>* files_;
    static std::vector<std::map<std::string, long>>* rows_;
};

fs::path* BatchCrashTest::root_ = nullptr;
std::vector<std::string>* BatchCrashTest::files_ = nullptr;
std::vector<std::map<std::string, long>>* BatchCrashTest::rows_ = nullptr;

}  // namespace

TEST_F(BatchCrashTest, KilledBatchLeavesTheCommittedRoundsWholeAndANewBatchSetsThemAside) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (int attempt = 0; attempt < kTries; ++attempt) {
        // The first cut falls during the creation or just after it; the others anywhere in the rounds.
        const int cut = attempt == 0 ? 0 : std::uniform_int_distribution<int>(2, kRounds)(rng);
        SCOPED_TRACE("attempt " + std::to_string(attempt) + ", cut at round " + std::to_string(cut));
        const fs::path program = *root_ / ("program" + std::to_string(attempt));
        fs::create_directories(program);
        const std::string auction = (program / "Auction14.mdb").string();
        const ChildRun run = RunAndKill(program.string(), cut, cut == 0 ? 100000 : 4000, rng);

        // Straight after the kill, read from a copy of the file as the crash left it, log included.
        int committed = 0;
        if (fs::exists(auction)) {
            const fs::path copy = *root_ / ("copy" + std::to_string(attempt));
            fs::create_directories(copy);
            for (const char* suffix : {"", "-wal", "-journal"})
                if (fs::exists(auction + suffix))
                    fs::copy_file(auction + suffix, (copy / "Auction14.mdb").string() + suffix);
            const std::string copied = (copy / "Auction14.mdb").string();
            Exec(copied, "SELECT count(*) FROM sqlite_master");  // opened as any program would: recovered
            committed = static_cast<int>(Query(copied, "SELECT Round FROM sysRounds").size());
            if (run.done) {
                EXPECT_EQ(committed, kRounds);
            } else {
                // Rounds before the one under way are in; that one is in or not, never in part.
                EXPECT_GE(committed, std::max(run.lastStarted - 1, 1));
                EXPECT_LE(committed, std::max(run.lastStarted, 1));
            }
            ExpectAuction(copied, committed);
        } else {
            EXPECT_EQ(run.lastStarted, 0);
        }

        // A new batch over the same auction.
        test::ScriptedDesktop desk(program.string(), (*root_ / "download").string());
        desk.Install();
        desk.OpenFile(files_->front());
        store::AuctionSession session;
        BatchImportAuction(session, {});
        ASSERT_FALSE(desk.boxes.empty());
        EXPECT_EQ(desk.LastBox().text, "Finished importing rounds 1 to " + std::to_string(kRounds) + ".");
        session.Close();

        std::vector<std::string> others;
        for (const auto& e : fs::directory_iterator(program))
            if (e.path().filename() != "Auction14.mdb") others.push_back(e.path().string());
        ExpectAuction(auction, kRounds);
        if (committed == 0) {
            EXPECT_TRUE(others.empty()) << others.front();
        } else {
            // Nothing beside the two: no log, shared-memory index or journal, no build left over.
            ASSERT_EQ(others.size(), 1u) << others.front() << " ...";
            EXPECT_EQ(fs::path(others[0]).filename().string().rfind("Auction14 ", 0), 0u) << others[0];
            ExpectAuction(others[0], committed);
        }
    }
}
