#pragma once

// What the Jet reader tests share: the sample files, scratch folders and a look into a converted file.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/jet/JetReader.h"
#include "support/NeededFile.h"

namespace corv::jetreadertest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kSamples = CORVIDEL_SHARED_DIR "/jet-samples";

#define NEED_SAMPLES() CORV_NEED_FILE(kSamples + "/nwind.mdb")

class TempDir {
  public:
    TempDir() {
        static int n = 0;
        path_ = fs::temp_directory_path() /
                ("corv-jet-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    fs::path path_;
};

inline std::vector<unsigned char> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const void* data, std::size_t n) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}

// One SQLite cell: its storage class and its value.
struct Cell {
    int type = SQLITE_NULL;
    std::int64_t i = 0;
    double d = 0;
    std::string s;  // text, or blob bytes
};

class Out {
  public:
    explicit Out(const std::string& path) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    }
    ~Out() { sqlite3_close(db_); }

    std::vector<std::vector<Cell>> Query(const std::string& sql) const {
        std::vector<std::vector<Cell>> rows;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return rows;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<Cell> row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                Cell cell;
                cell.type = sqlite3_column_type(st, c);
                if (cell.type == SQLITE_INTEGER) cell.i = sqlite3_column_int64(st, c);
                if (cell.type == SQLITE_FLOAT) cell.d = sqlite3_column_double(st, c);
                if (cell.type == SQLITE_TEXT || cell.type == SQLITE_BLOB) {
                    const void* p = cell.type == SQLITE_TEXT
                                        ? static_cast<const void*>(sqlite3_column_text(st, c))
                                        : sqlite3_column_blob(st, c);
                    cell.s.assign(static_cast<const char*>(p ? p : ""),
                                  static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
                }
                row.push_back(cell);
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(st);
        return rows;
    }
    Cell One(const std::string& sql) const {
        auto rows = Query(sql);
        if (rows.size() != 1 || rows[0].size() != 1) {
            ADD_FAILURE() << sql << " gave " << rows.size() << " rows";
            return {};
        }
        return rows[0][0];
    }
    std::vector<std::string> Tables() const {
        std::vector<std::string> out;
        for (auto& r : Query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid"))
            out.push_back(r[0].s);
        return out;
    }
    std::string DeclaredType(const std::string& table, const std::string& column) const {
        for (auto& r : Query("SELECT name, type FROM pragma_table_info('" + table + "')"))
            if (r[0].s == column) {  // SQLite reports some declared types in capitals
                std::string t = r[1].s;
                for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return t;
            }
        return "<no such column>";
    }

  private:
    sqlite3* db_ = nullptr;
};

inline std::optional<int> ErrorOf(const std::string& in, const std::string& out,
                                  std::chrono::milliseconds limit = 0ms) {
    try {
        corv::ConvertJetFile(in, out, limit);
    } catch (const corv::CorvError& e) {
        return e.number();
    }
    return std::nullopt;
}

}  // namespace corv::jetreadertest
