// The temporary files of corvidel-sql runs that end every way a run ends.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine_support.h"

extern char** environ;

using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
using corv::enginetest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string ToolPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "corvidel-sql").string();
}

std::string Script(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// corvidel-sql runs with the scratch folder as its temporary folder, reading a Jet file through a stand-in
// reader: one that writes part of its copy, says so and waits for ever, or one that copies a database.
class TempFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(ToolPath())) << "corvidel-sql is not built beside the tests";
        fs::create_directory(tmp);
        // All a tool looks at to take a file for Jet.
        std::string header(2048, '\0');
        header.replace(4, 15, "Standard Jet DB");
        WriteFile(jet, header);
        RawDb(copy).exec("CREATE TABLE [Markets and Bidders] ([Round] Long)");
        Script(hanging, "echo partial > \"$2\"; echo $$ > \"$READY\"; exec sleep 300");
        Script(copying, "cp '" + copy + "' \"$2\"");
    }
    void TearDown() override {
        for (pid_t reader : readers) ::kill(reader, SIGKILL);
        for (pid_t reader : readers) Wait(reader);
    }

    pid_t Start(const std::string& reader, const std::string& ready) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("TMPDIR=", 0) && v.rfind("SQLITE_TMPDIR=", 0) && v.rfind("CORVIDEL_JETREAD=", 0))
                env.push_back(v);
        }
        env.insert(env.end(),
                   {"TMPDIR=" + tmp, "SQLITE_TMPDIR=" + tmp, "CORVIDEL_JETREAD=" + reader, "READY=" + ready});
        std::vector<char*> envp;
        for (auto& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string tool = ToolPath();
        const char* argv[] = {tool.c_str(), jet.c_str(), nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, tool.c_str(), &quiet, nullptr, const_cast<char**>(argv), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&quiet);
        return pid;
    }
    // A run in the middle of its read, its partial copy written.
    pid_t StartBlocked() {
        const std::string ready = dir.sub("ready" + std::to_string(readers.size()));
        EXPECT_EQ(::mkfifo(ready.c_str(), 0600), 0);
        const int fd = ::open(ready.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const pid_t tool = Start(hanging, ready);
        pollfd p{fd, POLLIN, 0};
        char line[32] = {};
        EXPECT_EQ(::poll(&p, 1, 60000), 1) << "the read never began";
        EXPECT_GT(::read(fd, line, sizeof line - 1), 0);
        ::close(fd);
        readers.push_back(static_cast<pid_t>(std::atol(line)));
        return tool;
    }
    // What is in the temporary folder.
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(tmp)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static bool Of(const std::string& entry, pid_t pid) {
        return entry.rfind("corvidel-" + std::to_string(pid) + "-", 0) == 0;
    }

    ScratchDir dir;
    const std::string tmp = dir.sub("tmp");
    const std::string jet = dir.sub("31_001.mdb");
    const std::string copy = dir.sub("copy.db");
    const std::string hanging = dir.sub("hanging.sh");
    const std::string copying = dir.sub("copying.sh");
    std::vector<pid_t> readers;
};

}  // namespace

TEST_F(TempFilesTest, ATerminatedRunLeavesNothingBehind) {
    const pid_t tool = StartBlocked();
    const auto during = Entries();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_TRUE(Of(during[0], tool)) << during[0];
    EXPECT_EQ(fs::status(tmp + "/" + during[0]).permissions(), fs::perms::owner_all);
    ::kill(tool, SIGTERM);
    const int status = Wait(tool);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(Entries().empty());
}

TEST_F(TempFilesTest, TheNextStartRemovesWhatRunsThatAreGoneLeftAndNothingElse) {
    // Every run cleans up as it starts: those whose leftovers are to stay start first.
    const pid_t live = StartBlocked();
    std::vector<std::string> kept = Entries();
    if (::geteuid() == 0) {
        // Another user's run, gone too: what it left is not ours to remove.
        const pid_t other = StartBlocked();
        ::kill(other, SIGKILL);
        Wait(other);
        for (const auto& e : Entries())
            if (Of(e, other)) {
                for (const auto& f : fs::recursive_directory_iterator(tmp + "/" + e))
                    ASSERT_EQ(::lchown(f.path().c_str(), 65534, 65534), 0);
                ASSERT_EQ(::lchown((tmp + "/" + e).c_str(), 65534, 65534), 0);
                kept.push_back(e);
            }
    } else {
        std::printf("not root: another user's leftovers are not tried\n");
    }
    const pid_t killed = StartBlocked();
    ::kill(killed, SIGKILL);
    Wait(killed);
    // What an earlier version left under names of its own, for a run gone and for one still going.
    const std::string oldLive = "corvidel-rows-" + std::to_string(live) + "-0.sqlite";
    WriteFile(tmp + "/" + oldLive, "rows");
    WriteFile(tmp + "/corvidel-rows-" + std::to_string(killed) + "-0.sqlite", "rows");
    kept.push_back(oldLive);
    std::sort(kept.begin(), kept.end());
    ASSERT_EQ(Entries().size(), kept.size() + 2);

    EXPECT_EQ(Wait(Start(copying, "")), 0);
    EXPECT_EQ(Entries(), kept);  // the next run's own files went at its exit
    ::kill(live, SIGTERM);
    Wait(live);
}
