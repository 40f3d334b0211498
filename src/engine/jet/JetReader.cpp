#include "engine/jet/JetReader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/CorvError.h"

extern char** environ;

namespace corv {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxMessage = 16 * 1024;

constexpr auto kTickEvery = std::chrono::milliseconds(50);

// Set on the GUI thread at start-up, read by whichever thread reads a Jet file: guarded by hookMutex.
std::mutex hookMutex;
ReaderWaitHook waitHook;
std::thread::id hookThread;

// True on a thread while its hook runs, so that a read started from the hook does not re-enter it.
thread_local bool inHook = false;

// Calls the hook for one wait on the hook's own thread: Begin lazily (a quick read never flips the pointer),
// End whatever way the wait ends.
class WaitTicks {
  public:
    WaitTicks() {
        if (inHook) return;
        std::lock_guard lock(hookMutex);
        if (waitHook && hookThread == std::this_thread::get_id()) hook_ = waitHook;
        last_ = Clock::now();
    }
    ~WaitTicks() {
        if (begun_) Call(ReaderWait::End);
    }
    WaitTicks(const WaitTicks&) = delete;
    WaitTicks& operator=(const WaitTicks&) = delete;

    void Tick() {
        if (!hook_ || Clock::now() - last_ < kTickEvery) return;
        if (!begun_) {
            begun_ = true;
            Call(ReaderWait::Begin);
        }
        Call(ReaderWait::Tick);
        last_ = Clock::now();
    }

  private:
    void Call(ReaderWait w) {
        inHook = true;
        struct Reset {
            ~Reset() { inHook = false; }
        } reset;
        hook_(w);
    }
    ReaderWaitHook hook_;
    Clock::time_point last_;
    bool begun_ = false;
};

// A unique name beside the target, so the final rename stays on one file system.
std::string TempPathFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".part" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    fs::remove(path + "-journal", ec);
}

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ')) t.pop_back();
    auto nl = t.find_last_of('\n');
    if (nl != std::string::npos) t = t.substr(nl + 1);
    // The reader prefixes its own name and the input path, which the message already names.
    const std::string prefix = "corvidel-jetread: ";
    if (t.rfind(prefix, 0) == 0) {
        t = t.substr(prefix.size());
        auto colon = t.find(": ");
        if (colon != std::string::npos) t = t.substr(colon + 2);
    }
    if (t.size() > 300) t = t.substr(0, 300) + "...";
    return t;
}

[[noreturn]] void Unrecognized(const std::string& mdbPath, const std::string& why) {
    std::string msg = "Unrecognized database format '" + mdbPath + "'.";
    if (!why.empty()) msg += " The file may be damaged: " + why + ".";
    throw CorvError(err::UnrecognizedFormat, msg);
}

class Spawned {
  public:
    Spawned(const std::string& program, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) Fail(program, errno);
        readFd_ = fds[0];
        int writeFd = fds[1];

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        // The reader gets no stdin and no stdout; its stderr is our message.
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&fa, writeFd, 2);

        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, deflt;
        sigemptyset(&none);
        sigemptyset(&deflt);
        sigaddset(&deflt, SIGPIPE);
        sigaddset(&deflt, SIGXCPU);
        sigaddset(&deflt, SIGSEGV);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &deflt);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);

        int rc = posix_spawn(&pid_, program.c_str(), &fa, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        ::close(writeFd);
        if (rc != 0) {
            ::close(readFd_);
            pid_ = -1;
            Fail(program, rc);
        }
        // Readable once the child has exited, so the wait ends then rather than at its next look; a kernel
        // without it leaves the looks.
        pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }
    ~Spawned() {
        if (pid_ > 0) {  // only reached when something threw while the child ran
            ::kill(pid_, SIGKILL);
            int st;
            while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
            }
        }
        if (readFd_ >= 0) ::close(readFd_);
        if (pidFd_ >= 0) ::close(pidFd_);
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    // Waits for the child until the deadline; false on timeout (the child is then killed and reaped).
    bool Wait(Clock::time_point deadline, int& status, std::string& err) {
        char buf[4096];
        WaitTicks ticks;
        for (;;) {
            ticks.Tick();
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const int timeout = static_cast<int>(std::clamp<long long>(left, 0, kTickEvery.count()));
            // The message pipe ends when the child closes it, usually on its way out, a moment before it can
            // be reaped.
            pollfd p[2];
            nfds_t n = 0;
            if (readFd_ >= 0) p[n++] = {readFd_, POLLIN, 0};
            if (pidFd_ >= 0) p[n++] = {pidFd_, POLLIN, 0};
            bool exited = false;
            if (n == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } else if (::poll(p, n, timeout) > 0) {
                exited = pidFd_ >= 0 && p[n - 1].revents != 0;
                if (readFd_ >= 0 && p[0].revents != 0) {
                    ssize_t got = ::read(readFd_, buf, sizeof buf);
                    if (got > 0) {
                        if (err.size() < kMaxMessage) err.append(buf, static_cast<std::size_t>(got));
                    } else if (got == 0 || errno != EINTR) {
                        ::close(readFd_);
                        readFd_ = -1;
                    }
                }
            }
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                Drain(err);
                return true;
            }
            if (exited) {  // gone, yet not ours to reap: the pidfd would wake every poll from now on
                ::close(pidFd_);
                pidFd_ = -1;
            }
            if (Clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
                }
                pid_ = -1;
                return false;
            }
        }
    }

  private:
    [[noreturn]] static void Fail(const std::string& program, int e) {
        throw CorvError(err::EngineFailure,
                        "Cannot start the Jet file reader '" + program + "': " + std::strerror(e) + ".");
    }
    void Drain(std::string& err) {
        if (readFd_ < 0) return;
        char buf[4096];
        // The child has exited: what is left in the pipe is all there is.
        int fl = ::fcntl(readFd_, F_GETFL);
        ::fcntl(readFd_, F_SETFL, fl | O_NONBLOCK);
        ssize_t got;
        while ((got = ::read(readFd_, buf, sizeof buf)) > 0)
            if (err.size() < kMaxMessage) err.append(buf, static_cast<std::size_t>(got));
        ::close(readFd_);
        readFd_ = -1;
    }

    pid_t pid_ = -1;
    int readFd_ = -1;
    int pidFd_ = -1;
};

}  // namespace

std::chrono::seconds JetReadTimeLimit(std::uintmax_t fileBytes) {
    const std::uintmax_t mb = 1024 * 1024;
    return std::chrono::seconds(2 + (fileBytes + mb - 1) / mb);
}

void SetJetReaderWaitHook(ReaderWaitHook hook) {
    std::lock_guard lock(hookMutex);
    waitHook = std::move(hook);
    hookThread = std::this_thread::get_id();
}

namespace {
std::mutex programMutex;
std::string program;  // what the program said at start-up; guarded by programMutex
}  // namespace

void SetJetReaderProgram(std::string path) {
    std::lock_guard lock(programMutex);
    program = std::move(path);
}

std::string JetReaderProgram() {
    if (const char* env = std::getenv("CORVIDEL_JETREAD"); env && *env) return env;
    {
        std::lock_guard lock(programMutex);
        if (!program.empty()) return program;
    }
    // Nobody said: beside the running executable, as in the build folder.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("corvidel-jetread") : (self.parent_path() / "corvidel-jetread").string();
}

void ConvertJetFile(const std::string& mdbPath, const std::string& sqlitePath,
                    std::chrono::milliseconds timeLimit) {
    std::error_code ec;
    auto st = fs::status(mdbPath, ec);
    if (ec || !fs::exists(st) || fs::is_directory(st))
        throw CorvError(err::FileNotFound, "Could not find file '" + mdbPath + "'.");
    // A missing output folder is the caller's path problem, not a fault of the Jet file.
    fs::path outDir = fs::path(sqlitePath).parent_path();
    if (!outDir.empty() && !fs::is_directory(outDir, ec))
        throw CorvError(err::PathNotFound, "Path not found '" + outDir.string() + "'.");
    std::uintmax_t size = fs::file_size(mdbPath, ec);
    if (ec) size = 0;
    if (timeLimit.count() <= 0) timeLimit = JetReadTimeLimit(size);

    const std::string temp = TempPathFor(sqlitePath);
    RemoveQuietly(temp);
    // The reader's own CPU limit matches the wall-clock limit, in whole seconds: it still holds should this
    // process stop watching.
    long cpu = static_cast<long>(std::chrono::ceil<std::chrono::seconds>(timeLimit).count());

    int status = 0;
    std::string err;
    bool finished;
    {
        // The reader ends with this process (taken before it starts, so that it can tell it was too late).
        Spawned child(JetReaderProgram(),
                      {mdbPath, temp, "--cpu", std::to_string(cpu), "--parent", std::to_string(::getpid())});
        try {
            finished = child.Wait(Clock::now() + timeLimit, status, err);
        } catch (...) {
            RemoveQuietly(temp);
            throw;
        }
    }

    if (finished && WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 4)) {
        // The Jet file was read; its copy could not be written.
        RemoveQuietly(temp);
        const std::string folder = outDir.empty() ? std::string(".") : outDir.string();
        if (WEXITSTATUS(status) == 3)
            throw CorvError(
                err::DiskFull,
                "The folder '" + folder + "' is full: there is no room for the copy of '" + mdbPath + "'.");
        throw CorvError(err::EngineFailure, "Cannot write the copy of '" + mdbPath + "' to '" + folder +
                                                "': " + LastLine(err) + ".");
    }
    std::string why;
    if (!finished) {
        why = "reading it took longer than " +
              std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count()) + " s";
        if (timeLimit < std::chrono::seconds(1)) why = "reading it took too long";
    } else if (WIFSIGNALED(status)) {
        why = std::string("the reader stopped on signal ") + std::to_string(WTERMSIG(status)) + " (" +
              strsignal(WTERMSIG(status)) + ")";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why = LastLine(err);
        if (why.empty()) why = "the reader failed";
    } else if (!fs::exists(temp, ec)) {
        why = "the reader wrote nothing";
    }
    if (!why.empty()) {
        RemoveQuietly(temp);
        Unrecognized(mdbPath, why);
    }

    fs::rename(temp, sqlitePath, ec);
    if (ec) {
        RemoveQuietly(temp);
        throw CorvError(err::EngineFailure, "Cannot write '" + sqlitePath + "': " + ec.message() + ".");
    }
}

}  // namespace corv
