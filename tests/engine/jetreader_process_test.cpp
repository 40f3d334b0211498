#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/engine_support.h"
#include "engine/jet/JetReader.h"
#include "engine/jetreader_support.h"
#include "tools/JetSandbox.h"

extern char** environ;

using namespace corv::jetreadertest;

namespace {

// Sets an environment variable for one scope.
class EnvVar {
  public:
    EnvVar(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Every table of a converted file with its columns, its row count and a checksum of every cell, in catalog
// order.
std::string Digest(const std::string& sqlitePath) {
    Out db(sqlitePath);
    std::string out;
    for (const auto& r : db.Query("SELECT sql FROM sqlite_master ORDER BY rowid")) out += r[0].s + "\n";
    for (const auto& t : db.Tables()) {
        std::uint64_t h = 14695981039346656037ull;  // FNV-1a
        auto mix = [&h](const void* p, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i)
                h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
        };
        auto rows = db.Query("SELECT * FROM \"" + t + "\" ORDER BY rowid");
        for (const auto& r : rows)
            for (const auto& c : r) {
                mix(&c.type, sizeof c.type);
                mix(&c.i, sizeof c.i);
                mix(&c.d, sizeof c.d);
                mix(c.s.data(), c.s.size());
            }
        out += t + "\t" + std::to_string(rows.size()) + "\t" + std::to_string(h) + "\n";
    }
    return out;
}

// The child of parent, or -1.
pid_t ChildOf(pid_t parent) {
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string pid = e.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(e.path() / "stat");
        const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const auto close = stat.rfind(')');
        char state = 0;
        long ppid = 0;
        if (close != std::string::npos &&
            std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent)
            return static_cast<pid_t>(std::stol(pid));
    }
    return -1;
}

// Whether process pid has ended, or been sent the kill that ends it.
bool EndedOrKilled(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    if (!in) return true;
    std::uint64_t pending = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("State:\t", 0) == 0 && (line[7] == 'Z' || line[7] == 'X')) return true;
        if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0)
            pending |= std::stoull(line.substr(7), nullptr, 16);
    }
    return (pending >> (SIGKILL - 1)) & 1;
}

std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
    std::string path = dir / name;
    std::string text = "#!/bin/sh\n" + body + "\n";
    WriteAll(path, text.data(), text.size());
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

}  // namespace

// The parent's side of the contract, with stand-in readers that hang, crash, fail or succeed.
TEST(JetReader, ChildThatHangsCrashesOrFailsIsContained) {
    TempDir dir;
    WriteAll(dir / "in.mdb", "x", 1);
    auto before = dir.Entries();
    {
        EnvVar e("CORVIDEL_JETREAD", Script(dir, "hang.sh", "echo partial > \"$2\"; exec sleep 30"));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "out.sqlite", 300ms), corv::err::UnrecognizedFormat);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the hung reader was not stopped";
    }
    {
        EnvVar e("CORVIDEL_JETREAD", Script(dir, "crash.sh", "echo partial > \"$2\"; kill -SEGV $$"));
        try {
            corv::ConvertJetFile(dir / "in.mdb", dir / "out.sqlite", 5s);
            ADD_FAILURE() << "crash taken for success";
        } catch (const corv::CorvError& ex) {
            EXPECT_EQ(ex.number(), corv::err::UnrecognizedFormat);
            EXPECT_NE(ex.description().find("signal"), std::string::npos) << ex.description();
        }
    }
    {
        EnvVar e("CORVIDEL_JETREAD",
                 Script(dir, "fail.sh",
                        "echo partial > \"$2\"; echo 'corvidel-jetread: x: bad page' >&2; exit 1"));
        try {
            corv::ConvertJetFile(dir / "in.mdb", dir / "out.sqlite", 5s);
            ADD_FAILURE() << "failure taken for success";
        } catch (const corv::CorvError& ex) {
            EXPECT_EQ(ex.number(), corv::err::UnrecognizedFormat);
            EXPECT_NE(ex.description().find("bad page"), std::string::npos) << ex.description();
        }
    }
    {
        // Reading stdin must not block on the parent's terminal.
        EnvVar e("CORVIDEL_JETREAD", Script(dir, "stdin.sh", "cat > /dev/null; exit 1"));
        EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "out.sqlite", 5s), corv::err::UnrecognizedFormat);
    }
    std::vector<std::string> scripts = {"crash.sh", "fail.sh", "hang.sh", "stdin.sh"};
    auto after = before;
    after.insert(after.end(), scripts.begin(), scripts.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(dir.Entries(), after);
    {
        EnvVar e("CORVIDEL_JETREAD", Script(dir, "ok.sh", "printf done > \"$2\""));
        EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "out.sqlite", 5s), std::nullopt);
        EXPECT_EQ(ReadAll(dir / "out.sqlite"), (std::vector<unsigned char>{'d', 'o', 'n', 'e'}));
    }
    {
        EnvVar e("CORVIDEL_JETREAD", dir / "no-such-reader");
        auto n = ErrorOf(dir / "in.mdb", dir / "out2.sqlite", 5s);
        EXPECT_TRUE(n.has_value());
        EXPECT_FALSE(fs::exists(dir / "out2.sqlite"));
    }
}

// Killed outright, the program waiting for a reader cannot stop it: the kernel does.
TEST(JetReader, ReaderEndsWhenItsParentIsKilled) {
    TempDir dir;
    const std::string in = dir / "in.mdb";
    ASSERT_EQ(::mkfifo(in.c_str(), 0600), 0);
    // Orphans come to this process, which can then see them end and reap them.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        try {
            corv::ConvertJetFile(in, dir / "out.sqlite", 60s);
        } catch (...) {
        }
        ::_exit(0);
    }
    // The reader opens its input once it is set up, then waits for bytes that never come.
    int writer = -1;
    for (auto until = std::chrono::steady_clock::now() + 30s;
         writer < 0 && std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(10ms))
        writer = ::open(in.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const pid_t reader = ChildOf(parent);
    ::kill(parent, SIGKILL);
    int status = 0;
    ::waitpid(parent, &status, 0);
    const bool ended = reader > 0 && EndedOrKilled(reader);
    if (reader > 0) {
        if (!ended) ::kill(reader, SIGKILL);
        ::waitpid(reader, &status, 0);
    }
    ::close(writer);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_GE(writer, 0) << "the reader never opened its input";
    ASSERT_GT(reader, 0);
    EXPECT_TRUE(ended) << "the reader outlived its parent";
}

// Its parent gone before it could ask to end with it, a reader ends at once and writes nothing.
TEST(JetReader, ReaderStartedForAParentAlreadyGoneEndsAtOnce) {
    NEED_SAMPLES();
    TempDir dir;
    const std::string program = corv::JetReaderProgram();
    const std::string in = kSamples + "/DateTestDatabase.mdb";
    const std::string out = dir / "out.sqlite";
    const std::string gone = std::to_string(::getppid());  // by then its parent is another process
    const char* argv[] = {program.c_str(), in.c_str(), out.c_str(), "--parent", gone.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &quiet, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_TRUE(dir.Entries().empty());
}

// The copy of a Jet file that fills the temporary folder is that folder's failure, not the file's.
TEST(JetReader, ACopyTooLargeForTheTemporaryFolderIsTheFoldersFailure) {
    NEED_SAMPLES();
    TempDir dir;
    corv::enginetest::TinyTempFolder tiny(dir / "tmp", 256);
    try {
        corv::Engine().OpenDatabase(kSamples + "/nwind.mdb");
        FAIL() << "the copy fitted";
    } catch (const corv::CorvError& e) {
        EXPECT_NE(e.description().find("'" + tiny.path()), std::string::npos) << e.description();
        EXPECT_EQ(e.description().find("damaged"), std::string::npos) << e.description();
        if (tiny.full()) {
            EXPECT_EQ(e.number(), corv::err::DiskFull) << e.description();
        }
    }
    EXPECT_TRUE(fs::is_empty(corv::engine::PrivateTempFolder())) << "the partial copy was left";
}

TEST(JetReader, ProgramIsBesideTheExecutableUnlessSet) {
    {
        EnvVar e("CORVIDEL_JETREAD", "/opt/x/reader");
        EXPECT_EQ(corv::JetReaderProgram(), "/opt/x/reader");
    }
    {
        EnvVar e("CORVIDEL_JETREAD", "");
        fs::path self = fs::read_symlink("/proc/self/exe");
        EXPECT_EQ(corv::JetReaderProgram(), (self.parent_path() / "corvidel-jetread").string());
        corv::SetJetReaderProgram("/opt/y/reader");  // as a program says at start-up
        EXPECT_EQ(corv::JetReaderProgram(), "/opt/y/reader");
        corv::SetJetReaderProgram({});
    }
}

TEST(JetReader, TimeLimitIsTwoSecondsPlusOnePerMegabyteStarted) {
    const std::uintmax_t mb = 1024 * 1024;
    EXPECT_EQ(corv::JetReadTimeLimit(0), 2s);
    EXPECT_EQ(corv::JetReadTimeLimit(1), 3s);
    EXPECT_EQ(corv::JetReadTimeLimit(mb), 3s);
    EXPECT_EQ(corv::JetReadTimeLimit(mb + 1), 4s);
    EXPECT_EQ(corv::JetReadTimeLimit(3002368), 5s);  // nwind.mdb
}

// The GUI thread's hook sees one Begin, Ticks and one End per wait; a read from inside the hook and a read on
// another thread leave it alone.
TEST(JetReader, WaitHookRunsOnItsOwnThreadOnly) {
    TempDir dir;
    WriteAll(dir / "in.mdb", "x", 1);
    EnvVar e("CORVIDEL_JETREAD", Script(dir, "hang.sh", "exec sleep 30"));
    std::vector<corv::ReaderWait> seen;
    bool nested = false;
    corv::SetJetReaderWaitHook([&](corv::ReaderWait w) {
        seen.push_back(w);
        if (w == corv::ReaderWait::Tick && !nested) {
            nested = true;
            EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "nested.sqlite", 100ms), corv::err::UnrecognizedFormat);
        }
    });
    struct Unhook {
        ~Unhook() { corv::SetJetReaderWaitHook({}); }
    } unhook;

    EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "out.sqlite", 300ms), corv::err::UnrecognizedFormat);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), corv::ReaderWait::Begin);
    EXPECT_EQ(seen.back(), corv::ReaderWait::End);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), corv::ReaderWait::Tick),
              static_cast<long>(seen.size() - 2));

    seen.clear();
    std::thread other([&] { ErrorOf(dir / "in.mdb", dir / "out.sqlite", 300ms); });
    other.join();
    EXPECT_TRUE(seen.empty());
}

// Every sample reads the same confined as unconfined: no call a real read needs is refused.
TEST(JetReaderSandbox, EverySampleReadsTheSameConfined) {
    NEED_SAMPLES();
    TempDir dir;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kSamples)) {
        if (entry.path().extension() != ".mdb") continue;
        ++files;
        const std::string in = entry.path().string();
        corv::ConvertJetFile(in, dir / "confined.sqlite");
        {
            EnvVar off(corv::kJetReaderNoSandboxVar, "1");
            corv::ConvertJetFile(in, dir / "free.sqlite");
        }
        std::string confined = Digest(dir / "confined.sqlite");
        // Only the file without tables of its own reads as nothing.
        EXPECT_EQ(confined.empty(), entry.path().filename() == "empty.mdb") << in;
        EXPECT_EQ(confined, Digest(dir / "free.sqlite")) << in;
    }
    EXPECT_GE(files, 10);
}

// A reader taken over by its file tries to open a file, connect a socket and start a program once confined:
// each attempt ends it, and the caller gets 3343 and nothing on disk. Unconfined, each attempt gets through.
TEST(JetReaderSandbox, TakenOverReaderIsStoppedWithUnrecognizedFormat) {
    TempDir dir;
    fs::path self = fs::read_symlink("/proc/self/exe");
    EnvVar reader("CORVIDEL_JETREAD", (self.parent_path() / "corvidel-jetread-hostile").string());
    for (std::string attempt : {"open", "connect", "exec"}) {
        WriteAll(dir / "in.mdb", attempt.data(), attempt.size());
        try {
            corv::ConvertJetFile(dir / "in.mdb", dir / "out.sqlite", 5s);
            ADD_FAILURE() << attempt << " went through";
        } catch (const corv::CorvError& ex) {
            EXPECT_EQ(ex.number(), corv::err::UnrecognizedFormat) << attempt;
            EXPECT_NE(ex.description().find("Bad system call"), std::string::npos) << ex.description();
        }
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.mdb"}) << attempt;

        EnvVar off(corv::kJetReaderNoSandboxVar, "1");
        EXPECT_EQ(ErrorOf(dir / "in.mdb", dir / "out.sqlite", 5s), std::nullopt) << attempt;
        auto escaped = ReadAll(dir / "out.sqlite");
        EXPECT_EQ(std::string(escaped.begin(), escaped.end()), "escaped") << attempt;
        fs::remove(dir / "out.sqlite");
    }
}
