#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/engine_support.h"
#include "engine/jet/JetReader.h"
#include "support/NeededFile.h"
#include "tools/JetSandbox.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kSamples = CORVIDEL_SHARED_DIR "/jet-samples";

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

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const void* data, std::size_t n) {
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

std::optional<int> ErrorOf(const std::string& in, const std::string& out,
                           std::chrono::milliseconds limit = 0ms) {
    try {
        corv::ConvertJetFile(in, out, limit);
    } catch (const corv::CorvError& e) {
        return e.number();
    }
    return std::nullopt;
}

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

// Expected counts were taken from mdb-export (mdbtools 1.0) on the sample files:
//   mdb-export FILE TABLE | python3 -c 'import csv,sys; print(sum(1 for _ in csv.reader(sys.stdin)) - 1)'
TEST(JetReader, EveryUserTableWithEveryRow) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/nwind.mdb", dir / "nwind.sqlite");
    Out nw(dir / "nwind.sqlite");
    const std::vector<std::pair<std::string, int>> nwind = {
        {"Order Details", 2155}, {"Orders", 830},  {"Products", 77},  {"Shippers", 3}, {"Categories", 8},
        {"Customers", 91},       {"Employees", 9}, {"Suppliers", 29}, {"Umsätze", 830}};
    std::vector<std::string> names;
    for (auto& [t, n] : nwind) {
        names.push_back(t);
        EXPECT_EQ(nw.One("SELECT count(*) FROM \"" + t + "\"").i, n) << t;
    }
    // Catalog order, no system tables, the non-ASCII name intact.
    EXPECT_EQ(nw.Tables(), names);

    corv::ConvertJetFile(kSamples + "/DateTestDatabase.mdb", dir / "dates.sqlite");
    Out dt(dir / "dates.sqlite");
    EXPECT_EQ(dt.Tables(), std::vector<std::string>{"DateTest"});
    EXPECT_EQ(dt.One("SELECT count(*) FROM DateTest").i, 6);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dates.sqlite", "nwind.sqlite"}))
        << "temporary files left";
}

// Values checked against mdb-export -T '%Y-%m-%d %H:%M:%S' -b hex.
TEST(JetReader, ValuesKeepTheirTypeAndPrecision) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/nwind.mdb", dir / "n.sqlite");
    Out db(dir / "n.sqlite");

    // Declared types carry the Jet types.
    EXPECT_EQ(db.DeclaredType("Orders", "Freight"), "currency");
    EXPECT_EQ(db.DeclaredType("Orders", "OrderDate"), "datetime");
    EXPECT_EQ(db.DeclaredType("Products", "Discontinued"), "boolean");
    EXPECT_EQ(db.DeclaredType("Order Details", "Discount"), "single");
    EXPECT_EQ(db.DeclaredType("Order Details", "Quantity"), "integer");
    EXPECT_EQ(db.DeclaredType("Employees", "Notes"), "longtext");
    EXPECT_EQ(db.DeclaredType("Employees", "Photo"), "longbinary");

    // Currency: exact cents.
    Cell freight = db.One("SELECT Freight FROM Orders WHERE OrderID = 10331");
    EXPECT_EQ(freight.type, SQLITE_FLOAT);
    EXPECT_EQ(freight.d, 10.19);
    EXPECT_EQ(db.One("SELECT UnitPrice FROM [Order Details] WHERE OrderID = 10248 AND ProductID = 42").d,
              9.8);
    EXPECT_EQ(db.One("SELECT UnitPrice FROM Products WHERE ProductID = 5").d, 21.35);

    // DateTime as text with a four-digit year.
    EXPECT_EQ(db.One("SELECT OrderDate FROM Orders WHERE OrderID = 10331").s, "1994-11-16 00:00:00");
    EXPECT_EQ(db.One("SELECT BirthDate FROM Employees WHERE EmployeeID = 1").s, "1948-12-08 00:00:00");

    // Boolean: Jet's True is -1.
    EXPECT_EQ(db.One("SELECT Discontinued FROM Products WHERE ProductID = 5").i, -1);
    EXPECT_EQ(db.One("SELECT Discontinued FROM Products WHERE ProductID = 1").i, 0);
    EXPECT_EQ(db.One("SELECT count(*) FROM Products WHERE Discontinued = -1").i, 8);

    // Single: the typed digits, not the float's binary tail.
    EXPECT_EQ(db.One("SELECT count(*) FROM [Order Details] WHERE Discount = 0.15").i, 157);
    EXPECT_EQ(db.One("SELECT count(*) FROM [Order Details] WHERE Discount = 0.05").i, 185);

    // Text with letters outside ASCII, as UTF-8.
    EXPECT_EQ(db.One("SELECT CompanyName FROM Customers WHERE CustomerID = 'BERGS'").s,
              "Berglunds snabbk\xc3\xb6p");
    EXPECT_EQ(db.One("SELECT City FROM Customers WHERE CustomerID = 'BERGS'").s, "Lule\xc3\xa5");
    EXPECT_EQ(db.One("SELECT count(*) FROM [Umsätze] WHERE ShipName = 'Ottilies K\xc3\xa4seladen'").i,
              db.One("SELECT count(*) FROM Orders WHERE ShipName = 'Ottilies K\xc3\xa4seladen'").i);

    // Null stays Null; text that is there stays text.
    EXPECT_EQ(db.One("SELECT ShipRegion FROM Orders WHERE OrderID = 10331").type, SQLITE_NULL);
    EXPECT_EQ(db.One("SELECT ShipRegion FROM Orders WHERE OrderID = 10330").s, "Lara");
    EXPECT_EQ(db.One("SELECT Region FROM Customers WHERE CustomerID = 'ALFKI'").type, SQLITE_NULL);
    EXPECT_EQ(db.One("SELECT count(*) FROM Orders WHERE ShippedDate IS NULL").i, 21);

    // Memo and OLE values in full.
    Cell notes = db.One("SELECT Notes FROM Employees WHERE EmployeeID = 1");
    EXPECT_EQ(notes.s.size(), 175u);
    EXPECT_EQ(notes.s.rfind("Education includes a BA in psychology", 0), 0u);
    EXPECT_EQ(notes.s.substr(notes.s.size() - 30), "of Toastmasters International.");
    Cell photo = db.One("SELECT Photo FROM Employees WHERE EmployeeID = 1");
    EXPECT_EQ(photo.type, SQLITE_BLOB);
    EXPECT_EQ(photo.s.size(), 21626u);
    EXPECT_EQ(db.One("SELECT sum(length(Picture)) FROM Categories").i, 8 * 10746);
}

TEST(JetReader, Jet4DatesAndMemos) {
    NEED_SAMPLES();
    TempDir dir;
    corv::ConvertJetFile(kSamples + "/DateTestDatabase.mdb", dir / "d.sqlite");
    Out db(dir / "d.sqlite");
    // The rows' own descriptions say what they hold; libmdb's text binding gets them wrong.
    auto rows = db.Query(
        "SELECT IDCol, DateTimeCol, DateCol, TimeCol, LongTextCol, ShortTextCol FROM DateTest ORDER BY "
        "IDCol");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][1].s, "2021-12-02 00:00:00");
    EXPECT_EQ(rows[1][1].s, "9999-01-01 00:00:00");
    EXPECT_EQ(rows[1][4].s, "Year 9999");
    EXPECT_EQ(rows[2][1].s, "1898-01-01 00:00:00");
    EXPECT_EQ(rows[2][2].s, "1899-01-01 00:00:00");
    EXPECT_EQ(rows[2][3].s, "1900-01-01 00:00:00");
    EXPECT_EQ(rows[3][1].s, "0632-01-01 00:00:00");
    EXPECT_EQ(rows[5][4].s, "New line\r\nin field");
    EXPECT_EQ(rows[4][5].s, "Escaped new line \\r\\n in field");
}

// The Jet date rule at its edges, through the real file format: the date cells of DateTestDatabase
// (all 2021-12-02, stored as the double 44532) are overwritten with chosen values.
TEST(JetReader, DateConversionEdges) {
    NEED_SAMPLES();
    TempDir dir;
    auto bytes = ReadAll(kSamples + "/DateTestDatabase.mdb");
    double marker = 44532.0;
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i + 8 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, &marker, 8) == 0) at.push_back(i);
    ASSERT_EQ(at.size(), 9u);
    const std::vector<std::pair<double, std::string>> cases = {
        {-1.25, "1899-12-29 06:00:00"},  // negative day, the time still counts forward
        {-0.5, "1899-12-30 12:00:00"},   // day zero from below
        {2.75, "1900-01-01 18:00:00"},
        {1.9999999999, "1900-01-01 00:00:00"},   // rounding carries into the next day
        {-1.9999999999, "1899-12-30 00:00:00"},  // ... also below zero
        {36526 + 1.0 / 86400, "2000-01-01 00:00:01"},
        {-657434.0, "0100-01-01 00:00:00"},
        {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59"},
        {59.5, "1900-02-27 12:00:00"},  // no phantom 1900-02-29
    };
    std::multiset<std::string> expected;
    for (std::size_t k = 0; k < at.size(); ++k) {
        std::memcpy(bytes.data() + at[k], &cases[k].first, 8);
        expected.insert(cases[k].second);
    }
    WriteAll(dir / "edges.mdb", bytes.data(), bytes.size());
    corv::ConvertJetFile(dir / "edges.mdb", dir / "edges.sqlite");
    Out db(dir / "edges.sqlite");
    std::multiset<std::string> got;
    for (auto& r : db.Query("SELECT DateTimeCol, DateCol, TimeCol FROM DateTest WHERE IDCol IN (1, 5, 6)"))
        for (auto& c : r) got.insert(c.s);
    EXPECT_EQ(got, expected);
}

TEST(JetReader, MissingInputIsFileNotFound) {
    TempDir dir;
    try {
        corv::ConvertJetFile(dir / "nothere.mdb", dir / "out.sqlite");
        FAIL() << "no error";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), corv::err::FileNotFound);
        EXPECT_NE(e.description().find("nothere.mdb"), std::string::npos);
    }
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(JetReader, MissingOutputFolderIsPathNotFound) {
    NEED_SAMPLES();
    TempDir dir;
    EXPECT_EQ(ErrorOf(kSamples + "/DateTestDatabase.mdb", dir / "no/such/folder/out.sqlite"),
              corv::err::PathNotFound);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(JetReader, DamagedInputsAreUnrecognizedAndLeaveNothing) {
    TempDir dir;
    WriteAll(dir / "empty.mdb", "", 0);
    std::string text = "Standard Jet DB? no, just a note somebody named .mdb\n";
    WriteAll(dir / "note.mdb", text.data(), text.size());
    // A database of another kind under a Jet name is not read either.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "sqlite.mdb").c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE t (a); INSERT INTO t VALUES (1)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    std::vector<std::string> inputs = {"empty.mdb", "note.mdb", "sqlite.mdb"};
    if (fs::exists(kSamples + "/nwind.mdb")) {
        for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb"}) {
            auto bytes = ReadAll(kSamples + "/" + name);
            // Mid-page, early pages, the catalog, half the data.
            for (std::size_t cut :
                 {std::size_t{100}, std::size_t{4096}, std::size_t{12288}, std::size_t{40960},
                  bytes.size() / 2, bytes.size() / 2 + 100, bytes.size() - 1}) {
                std::string in = "cut" + std::to_string(cut) + "_" + name;
                WriteAll(dir / in, bytes.data(), cut);
                inputs.push_back(in);
            }
        }
    }
    auto before = dir.Entries();
    for (const auto& in : inputs) {
        try {
            corv::ConvertJetFile(dir / in, dir / "out.sqlite", 10s);
            ADD_FAILURE() << in << " was read";
        } catch (const corv::CorvError& e) {
            EXPECT_EQ(e.number(), corv::err::UnrecognizedFormat) << in << ": " << e.description();
            EXPECT_NE(e.description().find("Unrecognized database format '" + (dir / in) + "'."),
                      std::string::npos)
                << e.description();
            // Refused by the reader itself, not stopped by its confinement on the way out.
            EXPECT_EQ(e.description().find("signal"), std::string::npos) << e.description();
        }
        EXPECT_EQ(dir.Entries(), before) << "left behind after " << in;
    }
}

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
        if (tiny.full()) EXPECT_EQ(e.number(), corv::err::DiskFull) << e.description();
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

// Random byte flips in a real Jet 4 file: every variant is either read or refused with 3343, never a crash
// or hang of this process, and a refused one leaves no output behind.
TEST(JetReaderFuzz, FlippedBytesAreReadOrRefused) {
    NEED_SAMPLES();
    TempDir dir;
    const auto original = ReadAll(kSamples + "/DateTestDatabase.mdb");
    std::uint64_t state = 20240611;
    auto next = [&state] {  // splitmix64: same sequence everywhere
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    int read = 0, refused = 0;
    const std::size_t hot = std::min<std::size_t>(original.size(), 24 * 4096);  // catalog, definitions, data
    for (int variant = 0; variant < 300; ++variant) {
        auto bytes = original;
        // From a single changed byte to a badly mangled file; most changes land where the structure is.
        const int flips = 1 << (2 * (next() % 4));
        for (int f = 0; f < flips; ++f) {
            std::size_t span = (next() % 4 == 0) ? bytes.size() : hot;
            bytes[next() % span] ^= static_cast<unsigned char>(1 + next() % 255);
        }
        WriteAll(dir / "v.mdb", bytes.data(), bytes.size());
        auto out = dir / "v.sqlite";
        try {
            corv::ConvertJetFile(dir / "v.mdb", out, 3s);
            ++read;
            Out db(out);  // what was read is a sound database
            EXPECT_EQ(db.One("PRAGMA integrity_check").s, "ok") << "variant " << variant;
            fs::remove(out);
        } catch (const corv::CorvError& e) {
            ++refused;
            EXPECT_EQ(e.number(), corv::err::UnrecognizedFormat)
                << "variant " << variant << ": " << e.description();
            EXPECT_FALSE(fs::exists(out)) << "variant " << variant;
        }
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"v.mdb"}) << "variant " << variant;
    }
    std::printf("flipped variants: %d read, %d refused\n", read, refused);
    EXPECT_EQ(read + refused, 300);
}
