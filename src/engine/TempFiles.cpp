#include "engine/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "engine/CorvError.h"

namespace corv::engine {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "corvidel-";
// What earlier versions left in the shared folder itself: "corvidel-rows-PID-N.sqlite" and the like.
constexpr std::string_view kOldNames[] = {"rows-", "jet-"};

bool UsableFolder(const char* dir) {
    struct stat st {};
    return dir && *dir && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK | X_OK) == 0;
}

// Clock ticks from boot to the start of process pid, or 0 when that cannot be read (no such process).
std::uint64_t ProcessStart(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The command name, in parentheses, may hold spaces and parentheses of its own.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
    return 0;
}

bool ProcessGone(std::uint64_t pid) {
    // 0 and what does not fit would name process groups.
    return pid > 0 && pid <= INT_MAX && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// A process id taken again by a later process has another start time; one that cannot be read is taken
// for the run's own.
bool RunGone(std::uint64_t pid, std::uint64_t start) {
    if (ProcessGone(pid)) return true;
    const std::uint64_t now = ProcessStart(static_cast<long>(pid));
    return now != 0 && now != start;
}

// The number at the start of text, and the text after it and one '-'; false when there is none.
bool TakeNumber(std::string_view& text, std::uint64_t& n) {
    std::size_t i = 0;
    n = 0;
    for (; i < text.size() && i < 20 && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
    if (i == 0 || i >= text.size() || text[i] != '-') return false;
    text.remove_prefix(i + 1);
    return true;
}

[[noreturn]] void CannotMake(const std::string& what, int error) {
    if (error == ENOSPC || error == EDQUOT)
        throw CorvError(err::DiskFull, "The temporary folder '" + TempFolder() + "' is full.");
    throw CorvError(err::EngineFailure,
                    "Cannot make the temporary " + what + ": " + std::strerror(error) + ".");
}

// The private folder, once made. The signal-safe removal reads only what is set before folderFd.
std::mutex folderMutex;
char folderPath[PATH_MAX];
std::atomic<int> folderFd{-1};
std::atomic<pid_t> folderOwner{0};  // a forked child that exits must not take its parent's folder along

}  // namespace

std::string TempFolder() {
    const char* const candidates[] = {sqlite3_temp_directory,
                                      std::getenv("SQLITE_TMPDIR"),
                                      std::getenv("TMPDIR"),
                                      "/var/tmp",
                                      "/usr/tmp",
                                      "/tmp"};
    for (const char* dir : candidates)
        if (UsableFolder(dir)) return dir;
    return ".";
}

std::string PrivateTempFolder() {
    std::lock_guard lock(folderMutex);
    if (folderFd.load() >= 0) return folderPath;
    const long pid = static_cast<long>(::getpid());
    std::string pattern = (fs::path(TempFolder()) / (std::string(kPrefix) + std::to_string(pid) + "-" +
                                                     std::to_string(ProcessStart(pid)) + "-XXXXXX"))
                              .string();
    if (pattern.size() >= sizeof folderPath) CannotMake("folder", ENAMETOOLONG);
    if (!::mkdtemp(pattern.data())) CannotMake("folder", errno);
    const int fd = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        ::rmdir(pattern.c_str());
        CannotMake("folder", e);
    }
    std::memcpy(folderPath, pattern.c_str(), pattern.size() + 1);
    folderOwner.store(::getpid());
    static const bool removedAtExit = std::atexit(RemovePrivateTempFolder) == 0;
    (void)removedAtExit;
    folderFd.store(fd);
    return folderPath;
}

std::string NewPrivateTempFile(std::string_view name) {
    static std::atomic<unsigned> counter{0};
    const std::string path =
        (fs::path(PrivateTempFolder()) / (std::string(name) + "-" + std::to_string(counter++))).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) CannotMake("file", errno);
    ::close(fd);
    return path;
}

void RemovePrivateTempFolder() noexcept {
    if (folderOwner.load() != ::getpid()) return;
    const int fd = folderFd.exchange(-1);
    if (fd < 0) return;
    // readdir is not safe in a signal handler; the folder holds plain files only.
    alignas(dirent64) char buf[4096];
    for (bool removed = true; removed;) {
        removed = false;
        ::lseek(fd, 0, SEEK_SET);
        ssize_t n;
        while ((n = ::getdents64(fd, buf, sizeof buf)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buf + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
                    ::unlinkat(fd, name, 0) == 0)
                    removed = true;
            }
        }
    }
    ::close(fd);
    ::rmdir(folderPath);
}

void RemoveLeftoverTempFiles(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || st.st_uid != ::geteuid()) continue;
        std::string_view rest = std::string_view(name).substr(kPrefix.size());
        std::uint64_t pid = 0;
        std::uint64_t start = 0;
        bool gone = false;
        if (const auto* old = std::find_if(std::begin(kOldNames), std::end(kOldNames),
                                           [&](std::string_view n) { return rest.rfind(n, 0) == 0; });
            old != std::end(kOldNames)) {
            rest.remove_prefix(old->size());
            gone = S_ISREG(st.st_mode) && TakeNumber(rest, pid) && ProcessGone(pid);
        } else {
            gone = S_ISDIR(st.st_mode) && TakeNumber(rest, pid) && TakeNumber(rest, start) &&
                   RunGone(pid, start);
        }
        if (!gone) continue;
        std::error_code removeEc;
        fs::remove_all(it->path(), removeEc);
    }
}

void RemoveLeftoverTempFiles() {
    const std::string folder = TempFolder();
    RemoveLeftoverTempFiles(folder);
    std::error_code ec;
    const fs::path system = fs::temp_directory_path(ec);
    if (!ec && !fs::equivalent(system, folder, ec)) RemoveLeftoverTempFiles(system.string());
}

}  // namespace corv::engine
