#pragma once

// Helpers shared by the engine tests: scratch folders, files written with SQLite directly (so the engine
// is not used to check itself), and error expectations.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/TempFiles.h"

namespace corv::enginetest {

class ScratchDir {
  public:
    ScratchDir() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("corv-engine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string sub(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// A raw SQLite connection: writes fixtures and reads back what the engine did.
class RawDb {
  public:
    explicit RawDb(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path;
    }
    ~RawDb() { sqlite3_close_v2(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void exec(const std::string& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << (msg ? msg : "");
        }
        sqlite3_free(msg);
    }
    int tryExec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

    // Rows with each cell as "<storage class>:<text>", so 2, 2.0 and "2" differ.
    std::vector<std::vector<std::string>> query(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return out;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                static const char* kinds[] = {"?", "int", "real", "text", "blob", "null"};
                const unsigned char* t = sqlite3_column_text(st, c);
                row.push_back(std::string(kinds[sqlite3_column_type(st, c)]) + ":" +
                              (t ? reinterpret_cast<const char*>(t) : ""));
            }
            out.push_back(std::move(row));
        }
        sqlite3_finalize(st);
        return out;
    }
    long count(const std::string& table) {
        auto r = query("SELECT count(*) FROM \"" + table + "\"");
        return r.empty() ? -1 : std::stol(r[0][0].substr(4));
    }
    sqlite3* handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The temporary folder of SQLite and the engine, for one scope, at path and with room for kb KB: a tmpfs of
// that size where this process may mount one (as root), else a limit of that size on any file this process
// (and a program it starts) writes, which writes then fail against as on a full disk. Says which on standard
// output. The engine's private folder is made afresh in it, and again where it was after.
class TinyTempFolder {
  public:
    explicit TinyTempFolder(const std::string& path, unsigned kb = 1024) : path_(path) {
        std::filesystem::create_directories(path);
        const std::string options = "size=" + std::to_string(kb) + "k,mode=0777";
        mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted_) {
            ::getrlimit(RLIMIT_FSIZE, &limit_);
            const rlimit small{rlim_t{kb} << 10, limit_.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &small);
            xfsz_ = std::signal(SIGXFSZ, SIG_IGN);
        }
        std::printf("temporary folder of %u KB: %s\n", kb, mounted_ ? "a tmpfs" : "a file size limit");
        previous_ = sqlite3_temp_directory;
        sqlite3_temp_directory = sqlite3_mprintf("%s", path.c_str());
        corv::engine::RemovePrivateTempFolder();
    }
    ~TinyTempFolder() {
        corv::engine::RemovePrivateTempFolder();
        sqlite3_free(sqlite3_temp_directory);
        sqlite3_temp_directory = previous_;
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        } else {
            ::setrlimit(RLIMIT_FSIZE, &limit_);
            std::signal(SIGXFSZ, xfsz_);
        }
    }
    TinyTempFolder(const TinyTempFolder&) = delete;
    TinyTempFolder& operator=(const TinyTempFolder&) = delete;
    const std::string& path() const { return path_; }
    // Whether writes fail there as on a full disk, not against a size limit.
    bool full() const { return mounted_; }

  private:
    std::string path_;
    bool mounted_ = false;
    rlimit limit_{};
    void (*xfsz_)(int) = SIG_DFL;
    char* previous_ = nullptr;
};

}  // namespace corv::enginetest

#define EXPECT_CORV_ERROR(statement, expected)                                                    \
    do {                                                                                          \
        try {                                                                                     \
            statement;                                                                            \
            ADD_FAILURE() << #statement << " did not fail (expected error " << (expected) << ")"; \
        } catch (const corv::CorvError& e_) {                                                     \
            EXPECT_EQ(e_.number(), (expected)) << e_.description();                               \
            EXPECT_FALSE(e_.description().empty());                                               \
        }                                                                                         \
    } while (0)
