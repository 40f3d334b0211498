#include "report/WatchFiles.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace corv::report::detail {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw std::runtime_error("cannot " + what + " " + path + ": " + std::strerror(error));
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error close gives (a delayed write error on some file systems).
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

std::string RandomName() {
    unsigned char bytes[6];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            // No getrandom: the clock and the process make a name that O_EXCL still guards.
            const auto t =
                static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<unsigned long long>(getpid()) << 16);
            for (std::size_t i = 0; i < sizeof bytes; ++i)
                bytes[i] = static_cast<unsigned char>(t >> (8 * i));
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

// ".NAME." + 12 hex digits + ".tmp"
bool IsLeftover(const std::string& entry, const std::string& name) {
    const std::string head = "." + name + ".";
    if (entry.size() != head.size() + 12 + 4 || entry.compare(0, head.size(), head) != 0 ||
        entry.compare(entry.size() - 4, 4, ".tmp") != 0)
        return false;
    for (std::size_t i = head.size(); i < head.size() + 12; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(entry[i]))) return false;
    return true;
}

// Temporary files a killed writer left beside the file, once an hour old (a writer at work now is younger).
void RemoveLeftovers(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (!IsLeftover(entry, name)) continue;
        std::error_code e;
        const auto written = fs::last_write_time(it->path(), e);
        if (!e && now - written > std::chrono::hours(1)) fs::remove(it->path(), e);
    }
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        Fail("read", path, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail("read", path, errno);
    if (S_ISDIR(st.st_mode)) Fail("read", path, EISDIR);
    if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > limit)
        throw std::runtime_error("cannot read " + path + ": it is larger than " +
                                 std::to_string(limit >> 20) + " MiB");
    std::string out;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("read", path, errno);
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limit)
            throw std::runtime_error("cannot read " + path + ": it is larger than " +
                                     std::to_string(limit >> 20) + " MiB");
    }
    return out;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string name = target.filename().string();
    RemoveLeftovers(folder, name);

    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = (folder / ("." + name + "." + RandomName() + ".tmp")).string();
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (raw < 0 && errno != EEXIST) Fail("write", path, errno);
    }
    if (raw < 0) Fail("write", path, EEXIST);
    Fd fd(raw);
    try {
        WriteAll(fd.get(), bytes, path);
        // The old file's permissions, so a list a user shared stays shared; a new one stays private.
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
            if (::fchmod(fd.get(), old.st_mode & 07777) != 0) Fail("write", path, errno);
        if (::fsync(fd.get()) != 0) Fail("write", path, errno);
        if (fd.Close() != 0) Fail("write", path, errno);
        if (::rename(temp.c_str(), target.c_str()) != 0) Fail("write", path, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // The rename itself survives a power cut only once the folder is synced.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0 && ::fsync(dir.get()) != 0 && errno != EINVAL) Fail("write", path, errno);
}

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
std::size_t SkipBlanks(const std::string& t, std::size_t i) {
    while (i < t.size() && Blank(t[i])) ++i;
    return i;
}
// From the opening quote to past the closing one.
std::size_t SkipString(const std::string& t, std::size_t i) {
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\')
            ++i;
        else if (t[i] == '"')
            return i + 1;
    }
    return t.size();
}
std::size_t SkipValue(const std::string& t, std::size_t i) {
    if (i >= t.size()) return i;
    if (t[i] == '"') return SkipString(t, i);
    if (t[i] == '{' || t[i] == '[') {
        int depth = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '"') {
                i = SkipString(t, i);
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) return i + 1;
            }
            ++i;
        }
        return i;
    }
    while (i < t.size() && !Blank(t[i]) && t[i] != ',' && t[i] != ']' && t[i] != '}') ++i;
    return i;
}

}  // namespace

JsonPlaces FindJsonPlaces(const std::string& t, const std::string& arrayKey) {
    JsonPlaces p;
    std::size_t i = t.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // the byte order mark the library skips
    i = SkipBlanks(t, i);
    if (i >= t.size() || t[i] != '{') return p;
    p.object = i++;
    while (true) {
        i = SkipBlanks(t, i);
        if (i >= t.size() || t[i] != '"') return p;
        const std::size_t keyEnd = SkipString(t, i);
        const std::string key = t.substr(i + 1, keyEnd - i - 2);
        i = SkipBlanks(t, keyEnd);
        if (i >= t.size() || t[i] != ':') return p;
        i = SkipBlanks(t, i + 1);
        p.members[key] = i;
        if (key == arrayKey && i < t.size() && t[i] == '[') {
            p.elements.clear();
            std::size_t j = SkipBlanks(t, i + 1);
            while (j < t.size() && t[j] != ']') {
                p.elements.push_back(j);
                j = SkipBlanks(t, SkipValue(t, j));
                if (j < t.size() && t[j] == ',') j = SkipBlanks(t, j + 1);
            }
            i = j + 1;
        } else {
            i = SkipValue(t, i);
        }
        i = SkipBlanks(t, i);
        if (i >= t.size() || t[i] != ',') return p;
        ++i;
    }
}

std::string ParseErrorText(const std::string& what) {
    // "[json.exception.parse_error.101] parse error at line 2, column 3: syntax error while parsing ..."
    std::string text = what;
    const std::size_t close = text.find("] ");
    if (text.rfind("[json.exception.", 0) == 0 && close != std::string::npos) text.erase(0, close + 2);
    if (text.rfind("parse error", 0) == 0) {
        const std::size_t colon = text.find(": ");
        if (colon != std::string::npos) text.erase(0, colon + 2);
    }
    return text;
}

int LineAt(const std::string& text, std::size_t offset) {
    if (offset >= text.size()) {
        // The end of the text: the last line holding anything but blanks.
        offset = text.find_last_not_of(" \t\r\n");
        if (offset == std::string::npos) offset = 0;
    }
    int line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n';
    return line;
}

}  // namespace corv::report::detail
