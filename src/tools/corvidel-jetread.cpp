// corvidel-jetread IN.mdb OUT.sqlite [--cpu SECONDS] [--parent PID] [--table NAME] [--stats 1]
//
// Copies every user table of a Jet 3 / Jet 4 file into a new SQLite file. libmdb can loop forever or crash
// on damaged files, so this runs as its own process; the caller owns the time limit and the clean-up. With
// --parent, the reader ends with that process, its parent. Exit status: 0 read, 1 the file cannot be read,
// 2 wrong arguments, 3 no room for the output, 4 the output cannot be written otherwise.
// Files come from the internet: once set up, the reader confines itself (JetSandbox.h) before it parses
// a single table. Values are read from the row bytes and converted here: libmdb's text binding loses dates,
// precision, the difference between Null and "" and the tail of long memos.
//
// All that runs before and after the confinement is here, to be reviewed in one place; the plain conversions
// of row bytes, which make no system call, are in JetRowBytes.cpp.
#include <fcntl.h>
#include <glib.h>  // mdbtools.h includes it inside extern "C"
#include <mdbtools.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/FieldInfo.h"
#include "engine/Schema.h"
#include "engine/Value.h"
#include "tools/JetRowBytes.h"
#include "tools/JetSandbox.h"

namespace {

using corv::FieldInfo;
using corv::FieldType;
using corv::jetbytes::GuidText;
using corv::jetbytes::JetDateText;
using corv::jetbytes::Le;
using corv::jetbytes::LeDouble;
using corv::jetbytes::SingleAsDouble;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The output's folder refused it: no fault of the Jet file's.
struct OutputFailure : Failure {
    OutputFailure(const std::string& what, int e) : Failure(what + ": " + std::strerror(e)), error(e) {}
    int error;
};

constexpr int kNoRoom = 3;
constexpr int kCannotWrite = 4;

FieldType TypeOf(int jetType) {
    switch (jetType) {
        case MDB_BOOL:
            return FieldType::Boolean;
        case MDB_BYTE:
            return FieldType::Byte;
        case MDB_INT:
            return FieldType::Integer;
        case MDB_LONGINT:
            return FieldType::Long;
        case MDB_MONEY:
            return FieldType::Currency;
        case MDB_FLOAT:
            return FieldType::Single;
        case MDB_DOUBLE:
            return FieldType::Double;
        case MDB_DATETIME:
            return FieldType::DateTime;
        case MDB_TEXT:
            return FieldType::Text;
        case MDB_OLE:
            return FieldType::LongBinary;
        case MDB_MEMO:
            return FieldType::Memo;
        case MDB_REPID:
            return FieldType::Guid;
        case MDB_NUMERIC:
            return FieldType::Numeric;
        default:
            return FieldType::Binary;  // raw bytes of anything newer
    }
}

// ---- the Jet side -------------------------------------------------------------------------------------

class JetFile {
  public:
    explicit JetFile(const std::string& path) {
        CheckShape(path);
        mdb_ = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!mdb_) throw Failure("libmdb cannot open the file");
        pageSize_ = static_cast<std::size_t>(mdb_->fmt->pg_size);
        if (fileSize_ % pageSize_ != 0)
            throw Failure("the file is not a whole number of pages: it is truncated or damaged");
        pages_ = fileSize_ / pageSize_;
    }
    ~JetFile() {
        if (mdb_) mdb_close(mdb_);
    }
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    MdbHandle* handle() const { return mdb_; }

    // Text in the file's own encoding (code page for Jet 3, UCS-2 with optional compression for Jet 4) as
    // UTF-8.
    std::string Text(const unsigned char* src, std::size_t len) {
        if (len == 0) return {};
        // Worst cases: one code-page byte or one compressed byte becomes 3 bytes of UTF-8.
        std::size_t cap = len * 4 + 16;
        if (buf_.size() < cap + 1) buf_.resize(cap + 1);
        int n = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(src), len, buf_.data(), cap);
        if (n < 0 || static_cast<std::size_t>(n) > cap) throw Failure("text conversion failed");
        return std::string(buf_.data(), static_cast<std::size_t>(n));
    }

    // The bytes of a Memo or OLE value whose 12-byte header is at p (in the current row page).
    std::vector<unsigned char> LongValue(const unsigned char* p, std::size_t siz) {
        std::vector<unsigned char> out;
        if (siz < MDB_MEMO_OVERHEAD) {
            if (siz == 0) return out;
            throw Failure("long value header cut short");
        }
        std::uint32_t head = static_cast<std::uint32_t>(Le(p, 4));
        std::size_t len = head & 0x3fffffff;
        std::uint32_t where = static_cast<std::uint32_t>(Le(p + 4, 4));
        if (head & 0x80000000u) {  // stored in the row itself
            if (len > siz - MDB_MEMO_OVERHEAD) throw Failure("inline long value runs past its row");
            out.assign(p + MDB_MEMO_OVERHEAD, p + MDB_MEMO_OVERHEAD + len);
            return out;
        }
        if (len > fileSize_) throw Failure("long value larger than the file");
        out.reserve(len);
        if (head & 0x40000000u) {  // one row on one page
            auto [data, n] = LvalRow(where);
            if (n < len) throw Failure("long value shorter than its header says");
            out.assign(data, data + len);
            return out;
        }
        // A chain of rows, each starting with the address of the next.
        std::size_t hops = 0;
        while (where != 0 && out.size() < len) {
            if (++hops > pages_ * 256) throw Failure("long value chain loops");
            auto [data, n] = LvalRow(where);
            if (n < 4) break;
            std::uint32_t next = static_cast<std::uint32_t>(Le(data, 4));
            std::size_t take = std::min(n - 4, len - out.size());
            out.insert(out.end(), data + 4, data + 4 + take);
            where = next;
        }
        if (out.size() != len) throw Failure("long value chain ends early");
        return out;
    }

    // Where a row lies on the current data page, with the page's own bounds checked.
    bool RowBounds(const unsigned char* page, int row, std::size_t& start, std::size_t& len) const {
        int rco = mdb_->fmt->row_count_offset;
        int rows = static_cast<int>(Le(page + rco, 2));
        if (row < 0 || row >= rows || rco + 2 + (row + 1) * 2 > static_cast<int>(pageSize_)) return false;
        std::size_t s = Le(page + rco + 2 + row * 2, 2) & 0x1fff;
        std::size_t e = row == 0 ? pageSize_ : (Le(page + rco + row * 2, 2) & 0x1fff);
        if (s >= pageSize_ || e > pageSize_ || s > e) return false;
        start = s;
        len = e - s;
        return true;
    }

  private:
    void CheckShape(const std::string& path) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) throw Failure("cannot open " + path + ": " + std::strerror(errno));
        unsigned char head[32] = {};
        std::size_t n = std::fread(head, 1, sizeof head, f);
        struct stat st {};
        bool statOk = fstat(fileno(f), &st) == 0;
        std::fclose(f);
        if (n < 20 || (std::memcmp(head + 4, "Standard Jet DB", 15) != 0 &&
                       std::memcmp(head + 4, "Standard ACE DB", 15) != 0))
            throw Failure("not a Jet database");
        if (!statOk) throw Failure("cannot read the file's size");
        fileSize_ = static_cast<std::size_t>(st.st_size);
    }

    std::pair<const unsigned char*, std::size_t> LvalRow(std::uint32_t pgRow) {
        std::uint32_t pg = pgRow >> 8;
        int row = static_cast<int>(pgRow & 0xff);
        if (pg == 0 || pg >= pages_) throw Failure("long value points outside the file");
        if (mdb_read_alt_pg(mdb_, pg) != static_cast<ssize_t>(pageSize_)) throw Failure("cannot read a page");
        if (mdb_->alt_pg_buf[0] != MDB_PAGE_DATA)
            throw Failure("long value points at a page that holds no data");
        std::size_t start, len;
        if (!RowBounds(mdb_->alt_pg_buf, row, start, len)) throw Failure("long value row out of bounds");
        return {mdb_->alt_pg_buf + start, len};
    }

    MdbHandle* mdb_ = nullptr;
    std::size_t fileSize_ = 0;
    std::size_t pageSize_ = 0;
    std::size_t pages_ = 0;
    std::vector<char> buf_;
};

// ---- the SQLite side ----------------------------------------------------------------------------------

class Output {
  public:
    // The file is created here, before the reader is confined; the database is built in memory and
    // written to it whole at the end, so the confined reader never opens, locks or looks up a file by name.
    explicit Output(const std::string& path) {
        std::remove(path.c_str());
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0) throw OutputFailure("cannot create " + path, errno);
        if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            throw Failure(std::string("cannot start the output: ") +
                          (db_ ? sqlite3_errmsg(db_) : "out of memory"));
        Exec("PRAGMA journal_mode=OFF");
        Exec("BEGIN");
    }
    ~Output() {
        sqlite3_finalize(insert_);
        sqlite3_close_v2(db_);
        if (fd_ >= 0) ::close(fd_);
    }

    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(db_);
            sqlite3_free(err);
            throw Failure(msg);
        }
    }

    void StartTable(const std::string& name, const std::vector<FieldInfo>& cols) {
        sqlite3_finalize(insert_);
        insert_ = nullptr;
        Exec(corv::CreateTableSql("", name, cols));
        std::string sql = "INSERT INTO " + corv::QuoteName(name) + " VALUES (";
        for (std::size_t i = 0; i < cols.size(); ++i) sql += i ? ",?" : "?";
        sql += ")";
        if (cols.empty()) sql = "INSERT INTO " + corv::QuoteName(name) + " DEFAULT VALUES";
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr) != SQLITE_OK)
            throw Failure(sqlite3_errmsg(db_));
    }

    sqlite3_stmt* Row() const { return insert_; }
    void Insert() {
        if (sqlite3_step(insert_) != SQLITE_DONE) throw Failure(sqlite3_errmsg(db_));
        sqlite3_reset(insert_);
        sqlite3_clear_bindings(insert_);
    }
    void Commit() {
        sqlite3_finalize(insert_);
        insert_ = nullptr;
        Exec("COMMIT");
        sqlite3_int64 size = -1;
        unsigned char* image = sqlite3_serialize(db_, "main", &size, 0);
        // A file without tables of its own gives a database of no pages: an empty file is just that.
        if (!image && size != 0) throw Failure("cannot build the output");
        struct Free {
            unsigned char* p;
            ~Free() { sqlite3_free(p); }
        } freeImage{image};
        for (sqlite3_int64 done = 0; done < size;) {
            ssize_t n = ::write(fd_, image + done, static_cast<std::size_t>(size - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw OutputFailure("cannot write the output", n < 0 ? errno : ENOSPC);
            done += n;
        }
        if (::close(fd_) != 0) throw OutputFailure("cannot write the output", errno);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

// ---- one table ------------------------------------------------------------------------------------------

void BindText(sqlite3_stmt* st, int c, const std::string& s) {
    sqlite3_bind_text(st, c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* st, int c, const void* p, std::size_t n) {
    // A zero-length blob must stay a blob, not Null.
    if (n == 0)
        sqlite3_bind_zeroblob(st, c, 0);
    else
        sqlite3_bind_blob(st, c, p, static_cast<int>(n), SQLITE_TRANSIENT);
}

std::size_t CopyTable(JetFile& jet, MdbCatalogEntry* entry, Output& out) {
    MdbHandle* mdb = jet.handle();
    MdbTableDef* table = mdb_read_table(entry);
    if (!table) throw Failure(std::string("cannot read the definition of table ") + entry->object_name);
    struct Free {
        MdbTableDef* t;
        ~Free() { mdb_free_tabledef(t); }
    } freeTable{table};
    if (!mdb_read_columns(table))
        throw Failure(std::string("cannot read the columns of ") + entry->object_name);
    if (table->num_cols > MDB_MAX_COLS || table->num_cols != table->columns->len)
        throw Failure(std::string("bad column count in ") + entry->object_name);

    std::vector<MdbColumn*> cols;
    std::vector<FieldInfo> infos;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        cols.push_back(col);
        infos.push_back(FieldInfo{col->name, TypeOf(col->col_type), {}});
    }
    out.StartTable(table->name, infos);
    mdb_rewind_table(table);

    std::vector<MdbField> fields(MDB_MAX_COLS + 1);
    sqlite3_stmt* st = out.Row();
    std::size_t rows = 0;
    std::string s;
    while (mdb_fetch_row(table)) {
        // fetch_row leaves the row's page in pg_buf; crack it again to get the raw fields and nulls.
        std::size_t start, len;
        if (!jet.RowBounds(mdb->pg_buf, static_cast<int>(table->cur_row) - 1, start, len))
            throw Failure(std::string("row out of bounds in ") + table->name);
        int n = mdb_crack_row(table, static_cast<int>(start), len, fields.data());
        if (n < 0) throw Failure(std::string("cannot decode a row of ") + table->name);
        for (unsigned i = 0; i < cols.size(); ++i) {
            const MdbField& f = fields[i];
            const MdbColumn* col = cols[static_cast<unsigned>(f.colnum) < cols.size() ? f.colnum : i];
            int c = static_cast<int>(i) + 1;
            if (col->col_type == MDB_BOOL) {  // the bit lives in the null mask: set means True
                sqlite3_bind_int(st, c, f.is_null ? 0 : -1);
                continue;
            }
            if (f.is_null) continue;  // bindings were cleared: Null
            const auto* p = static_cast<const unsigned char*>(f.value);
            std::size_t siz = f.siz > 0 ? static_cast<std::size_t>(f.siz) : 0;
            if (siz && (!p || p < mdb->pg_buf || p + siz > mdb->pg_buf + sizeof mdb->pg_buf))
                throw Failure(std::string("field outside its page in ") + table->name);
            auto need = [&](std::size_t k) {
                if (siz < k) throw Failure(std::string("field cut short in ") + table->name);
            };
            switch (col->col_type) {
                case MDB_BYTE:
                    need(1);
                    sqlite3_bind_int(st, c, p[0]);
                    break;
                case MDB_INT:
                    need(2);
                    sqlite3_bind_int(st, c, static_cast<std::int16_t>(Le(p, 2)));
                    break;
                case MDB_LONGINT:
                    need(4);
                    sqlite3_bind_int64(st, c, static_cast<std::int32_t>(Le(p, 4)));
                    break;
                case MDB_MONEY:  // a count of ten-thousandths
                    need(8);
                    sqlite3_bind_double(st, c, static_cast<double>(Le(p, 8)) / 10000.0);
                    break;
                case MDB_FLOAT:
                    need(4);
                    sqlite3_bind_double(st, c, SingleAsDouble(p));
                    break;
                case MDB_DOUBLE:
                    need(8);
                    sqlite3_bind_double(st, c, LeDouble(p));
                    break;
                case MDB_DATETIME: {
                    need(8);
                    double v = LeDouble(p);
                    // Not a date any Jet file holds: keep the number rather than invent a date.
                    if (JetDateText(v, s))
                        BindText(st, c, s);
                    else if (std::isfinite(v))
                        sqlite3_bind_double(st, c, v);
                    break;
                }
                case MDB_TEXT:
                    BindText(st, c, jet.Text(p, siz));
                    break;
                case MDB_MEMO: {
                    auto bytes = jet.LongValue(p, siz);
                    BindText(st, c, jet.Text(bytes.data(), bytes.size()));
                    break;
                }
                case MDB_OLE: {
                    auto bytes = jet.LongValue(p, siz);
                    BindBlob(st, c, bytes.data(), bytes.size());
                    break;
                }
                case MDB_REPID:
                    need(16);
                    BindText(st, c, GuidText(p));
                    break;
                case MDB_NUMERIC: {
                    need(17);
                    char* text = mdb_numeric_to_string(mdb, f.start, col->col_scale, col->col_prec);
                    if (text) {
                        BindText(st, c, text);  // NUMERIC affinity stores it as a number when exact
                        g_free(text);
                    }
                    break;
                }
                default:
                    BindBlob(st, c, p, siz);
                    break;
            }
        }
        out.Insert();
        ++rows;
    }
    // Missing data pages end the scan early without an error from libmdb: the table definition's own
    // count tells a cut or damaged file from a short table.
    if (rows < table->num_rows)
        throw Failure(std::string("table ") + table->name + " should hold " +
                      std::to_string(table->num_rows) + " rows but only " + std::to_string(rows) +
                      " could be read");
    return rows;
}

// Rows in the definition of MSysObjects, which always lives on page 2.
std::size_t CatalogRowCount(MdbHandle* mdb) {
    MdbCatalogEntry entry{};
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = 2;
    std::snprintf(entry.object_name, sizeof entry.object_name, "MSysObjects");
    MdbTableDef* t = mdb_read_table(&entry);
    if (!t) throw Failure("cannot read the catalog's definition");
    std::size_t n = t->num_rows;
    mdb_free_tabledef(t);
    if (n == 0) throw Failure("the catalog is empty");
    return n;
}

bool StartsWith(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

void SetLimits(long cpuSeconds) {
    // Second guard behind the caller's wall-clock limit: a runaway read cannot eat the machine.
    rlimit mem{4ull << 30, 4ull << 30};
    setrlimit(RLIMIT_AS, &mem);
    rlimit cpu{static_cast<rlim_t>(cpuSeconds), static_cast<rlim_t>(cpuSeconds + 1)};
    setrlimit(RLIMIT_CPU, &cpu);
    rlimit core{0, 0};  // a crash on a damaged file is expected, its core is not wanted
    setrlimit(RLIMIT_CORE, &core);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: corvidel-jetread IN.mdb OUT.sqlite [--cpu SECONDS] [--parent PID] [--table NAME] "
                 "[--stats 1]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    long cpu = 600;
    long parent = 0;
    std::string only;    // one table, for measuring
    bool stats = false;  // per-table timings on stdout, for measuring
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        if (std::strcmp(argv[i], "--cpu") == 0) {
            char* end = nullptr;
            cpu = std::strtol(argv[i + 1], &end, 10);
            if (!end || *end || cpu <= 0) return Usage();
        } else if (std::strcmp(argv[i], "--parent") == 0) {
            char* end = nullptr;
            parent = std::strtol(argv[i + 1], &end, 10);
            if (!end || *end || parent <= 0) return Usage();
        } else if (std::strcmp(argv[i], "--table") == 0) {
            only = argv[i + 1];
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            stats = std::strcmp(argv[i + 1], "1") == 0;
        } else {
            return Usage();
        }
    }
    if (parent > 0) {
        // A parent killed outright cannot stop us: the kernel does, and a parent gone before this line (the
        // signal then never comes) shows in who our parent is now.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            std::fprintf(stderr, "corvidel-jetread: %s: the program that started the reader has ended\n",
                         argv[1]);
            return 1;
        }
    }
    SetLimits(cpu);
    // One thread, and nobody asks how much memory SQLite holds: its locks and counters are only cost.
    sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    // What libmdb reads from the environment must not change what we get.
    unsetenv("MDBOPTS");
    setenv("MDBICONV", "UTF-8", 1);

    const std::string in = argv[1], outPath = argv[2];
    bool confined = false;
    try {
        JetFile jet(in);
        Output out(outPath);
        // Everything that opens a file is done by now: libmdb opened the input and its conversion modules,
        // and a first conversion shows that none is loaded lazily. The file's tables, the catalog among
        // them, are parsed only under confinement.
        jet.Text(reinterpret_cast<const unsigned char*>("A\0"), 2);
        if (corv::JetSandboxWanted()) {
            corv::ConfineJetReader();
            confined = true;
        }
        GPtrArray* catalog = mdb_read_catalog(jet.handle(), MDB_ANY);
        if (!catalog) throw Failure("cannot read the table catalog");
        // libmdb stops quietly at a missing catalog page: hold the catalog to its own row count.
        std::size_t expected = CatalogRowCount(jet.handle());
        if (catalog->len < expected)
            throw Failure("the catalog should list " + std::to_string(expected) + " objects but only " +
                          std::to_string(catalog->len) + " could be read");
        for (unsigned i = 0; i < catalog->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (entry->object_type != MDB_TABLE) continue;
            // The engine's own tables stay behind; their names go to stdout for whoever wants them.
            if (mdb_is_system_table(entry) || StartsWith(entry->object_name, "MSys")) {
                std::printf("system table: %s\n", entry->object_name);
                continue;
            }
            if (!only.empty() && only != entry->object_name) continue;
            auto t0 = std::chrono::steady_clock::now();
            std::size_t rows = CopyTable(jet, entry, out);
            if (stats)
                std::printf("stat\t%s\t%zu\t%.6f\n", entry->object_name, rows,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        out.Commit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvidel-jetread: %s: %s\n", in.c_str(), e.what());
        // A confined reader cannot remove files: what it leaves is the caller's to remove.
        if (!confined) std::remove(outPath.c_str());
        if (const auto* out = dynamic_cast<const OutputFailure*>(&e))
            return out->error == ENOSPC || out->error == EDQUOT ? kNoRoom : kCannotWrite;
        return 1;
    }
    return 0;
}
