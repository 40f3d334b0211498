// Filter and Sort of a record set are answered by SQLite itself: the set's rows are exposed as a virtual
// table on a scratch connection and queried there, so Jet conditions mean what they mean everywhere else.

#include <sqlite3.h>

#include <cstdlib>
#include <mutex>

#include "engine/EngineInternal.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"

namespace corv::engine {

namespace {

constexpr const char* kRowColumn = "_corv_row";
constexpr const char* kRowIdColumn = "_corv_rowid";  // a paged set's row id in its file

struct ScratchState {
    std::mutex mutex;
    sqlite3* db = nullptr;
    const SnapshotData* current = nullptr;  // the set CREATE VIRTUAL TABLE is to expose
    ~ScratchState() {
        if (db) sqlite3_close_v2(db);
    }
};

struct SnapTable {
    sqlite3_vtab base{};
    const SnapshotData* data = nullptr;
};

struct SnapCursor {
    sqlite3_vtab_cursor base{};
    std::size_t row = 0;
    // The page the cursor is in: its rows first..end-1. SQLite is done with a row's values before the
    // cursor moves on, so they may point into the page.
    std::shared_ptr<const SnapshotData> keep;
    const SnapshotData* page = nullptr;
    std::size_t first = 0;
    std::size_t end = 0;
    std::uint64_t used = ~std::uint64_t{0};  // the columns the query reads, as SQLite's colUsed
};

std::string SafeTypeName(std::string_view decl) {
    std::string out;
    for (char c : decl) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == ' ' || c == '(' || c == ')' || c == ',' || c == '_';
        if (ok) out += c;
    }
    return out;
}

bool HoldsText(const SnapshotData& d, int column, const FieldInfo& f) {
    if (!f.declaredType.empty() || f.type != FieldType::Unknown) {
        const std::string decl = f.declaredType.empty() ? std::string(DeclaredType(f.type)) : f.declaredType;
        return IsTextDeclaredType(decl);
    }
    // An expression column: judge by its first value.
    for (std::size_t r = 0; r < d.RowCount(); ++r) {
        const Value v = d.Cell(r, column);
        if (!v.isNull()) return v.isText();
    }
    return false;
}

std::string DeclareSql(const SnapshotData& d) {
    std::string sql = "CREATE TABLE x(";
    std::vector<std::string> used;
    for (int i = 0; i < d.ColumnCount(); ++i) {
        const FieldInfo& f = d.Fields()[i];
        std::string name = f.name.empty() ? "Expr" + std::to_string(1000 + i) : f.name;
        for (const auto& u : used) {
            if (SameName(u, name)) {
                name += "_" + std::to_string(i);  // a join's second "Round"; reachable by position only
                break;
            }
        }
        used.push_back(name);
        sql += QuoteName(name);
        std::string type = SafeTypeName(f.declaredType.empty() ? DeclaredType(f.type) : f.declaredType);
        if (!type.empty()) sql += " " + type;
        if (HoldsText(d, i, f)) sql += " COLLATE NOCASE";
        sql += ", ";
    }
    sql += std::string(kRowColumn) + " HIDDEN, " + kRowIdColumn + " HIDDEN)";
    return sql;
}

int SnapCreate(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char** err) {
    auto* state = static_cast<ScratchState*>(aux);
    if (!state->current) {
        *err = sqlite3_mprintf("no record set to expose");
        return SQLITE_ERROR;
    }
    const int rc = sqlite3_declare_vtab(db, DeclareSql(*state->current).c_str());
    if (rc != SQLITE_OK) return rc;
    auto* t = new SnapTable;
    t->data = state->current;
    *out = &t->base;
    return SQLITE_OK;
}

int SnapDisconnect(sqlite3_vtab* vt) {
    delete reinterpret_cast<SnapTable*>(vt);
    return SQLITE_OK;
}

int SnapBestIndex(sqlite3_vtab* vt, sqlite3_index_info* info) {
    const auto* t = reinterpret_cast<SnapTable*>(vt);
    info->estimatedCost = static_cast<double>(t->data->RowCount()) + 1;
    info->estimatedRows = static_cast<sqlite3_int64>(t->data->RowCount());
    // A paged set reads from its file only the columns the query uses.
    info->idxStr = sqlite3_mprintf("%llu", static_cast<unsigned long long>(info->colUsed));
    info->needToFreeIdxStr = 1;
    return SQLITE_OK;
}

int SnapOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    auto* c = new SnapCursor;
    *out = &c->base;
    return SQLITE_OK;
}

int SnapClose(sqlite3_vtab_cursor* cur) {
    delete reinterpret_cast<SnapCursor*>(cur);
    return SQLITE_OK;
}

int SnapFilter(sqlite3_vtab_cursor* cur, int, const char* idxStr, int, sqlite3_value**) {
    auto* c = reinterpret_cast<SnapCursor*>(cur);
    c->row = 0;
    c->used = idxStr ? std::strtoull(idxStr, nullptr, 10) : ~std::uint64_t{0};
    c->page = nullptr;
    c->keep.reset();
    return SQLITE_OK;
}

int SnapNext(sqlite3_vtab_cursor* cur) {
    ++reinterpret_cast<SnapCursor*>(cur)->row;
    return SQLITE_OK;
}

const SnapshotData& DataOf(sqlite3_vtab_cursor* cur) {
    return *reinterpret_cast<SnapTable*>(cur->pVtab)->data;
}

int SnapEof(sqlite3_vtab_cursor* cur) {
    return reinterpret_cast<SnapCursor*>(cur)->row >= DataOf(cur).RowCount();
}

int SnapColumn(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int column) {
    const SnapshotData& d = DataOf(cur);
    const std::size_t row = reinterpret_cast<SnapCursor*>(cur)->row;
    if (column == d.ColumnCount()) {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(row));
    } else if (column > d.ColumnCount()) {
        sqlite3_result_int64(ctx, d.IsPaged() ? d.RowId(row) : static_cast<sqlite3_int64>(row));
    } else {
        auto* c = reinterpret_cast<SnapCursor*>(cur);
        if (!c->page || row < c->first || row >= c->end) {
            try {
                if (d.IsPaged()) {
                    c->keep = d.ReadPageColumns(row, c->used, c->first);
                    c->page = c->keep.get();
                } else {
                    c->page = d.PageOf(row, c->first, c->keep);
                }
            } catch (const CorvError& e) {
                c->page = nullptr;
                sqlite3_result_error(ctx, e.description().c_str(), -1);
                return SQLITE_ERROR;
            }
            c->end = c->first + c->page->RowCount();
        }
        c->page->ResultCell(ctx, row - c->first, column);
    }
    return SQLITE_OK;
}

int SnapRowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
    *rowid = static_cast<sqlite3_int64>(reinterpret_cast<SnapCursor*>(cur)->row);
    return SQLITE_OK;
}

sqlite3_module MakeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = SnapCreate;
    m.xConnect = SnapCreate;
    m.xBestIndex = SnapBestIndex;
    m.xDisconnect = SnapDisconnect;
    m.xDestroy = SnapDisconnect;
    m.xOpen = SnapOpen;
    m.xClose = SnapClose;
    m.xFilter = SnapFilter;
    m.xNext = SnapNext;
    m.xEof = SnapEof;
    m.xColumn = SnapColumn;
    m.xRowid = SnapRowid;
    return m;
}

const sqlite3_module kModule = MakeModule();

ScratchState& Scratch() {
    static ScratchState state;
    return state;
}

struct StmtGuard {
    sqlite3_stmt* stmt = nullptr;
    ~StmtGuard() { sqlite3_finalize(stmt); }
};

}  // namespace

std::shared_ptr<SnapshotData> QuerySnapshot(const std::shared_ptr<const SnapshotData>& data,
                                            const std::string& whereSql, const std::string& orderSql) {
    ScratchState& s = Scratch();
    std::lock_guard lock(s.mutex);
    if (!s.db) {
        sqlite3* db = OpenScratchConnection();
        const int rc = sqlite3_create_module_v2(db, "corv_snapshot", &kModule, &s, nullptr);
        if (rc != SQLITE_OK) {
            CorvError e = SqliteError(rc, sqlite3_errmsg(db));
            sqlite3_close_v2(db);
            throw e;
        }
        // A large sort's runs are sorted on a second thread. (Sorting wholly in memory was slower here.)
        sqlite3_exec(db, "PRAGMA threads = 2", nullptr, nullptr, nullptr);
        s.db = db;
    }
    s.current = data.get();
    char* msg = nullptr;
    int rc = sqlite3_exec(s.db, "CREATE VIRTUAL TABLE temp.snap USING corv_snapshot", nullptr, nullptr, &msg);
    s.current = nullptr;
    if (rc != SQLITE_OK) {
        CorvError e = SqliteError(rc, msg ? msg : sqlite3_errmsg(s.db));
        sqlite3_free(msg);
        throw e;
    }
    struct DropSnap {
        sqlite3* db;
        ~DropSnap() { sqlite3_exec(db, "DROP TABLE temp.snap", nullptr, nullptr, nullptr); }
    } drop{s.db};

    std::string sql = data->IsPaged() ? std::string("SELECT ") + kRowIdColumn + " FROM temp.snap"
                                      : std::string("SELECT * FROM temp.snap");
    if (!whereSql.empty()) sql += " WHERE " + whereSql;
    // Rows that sort alike keep the order they had.
    if (!orderSql.empty()) sql += " ORDER BY " + orderSql + ", " + kRowColumn;
    StmtGuard g;
    const char* tail = nullptr;
    rc = sqlite3_prepare_v2(s.db, sql.c_str(), static_cast<int>(sql.size()), &g.stmt, &tail);
    if (rc != SQLITE_OK) ThrowSqlite(s.db, rc);
    if (tail && *tail) {
        for (const char* p = tail; *p; ++p)
            if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r' && *p != ';')
                throw CorvError(err::SyntaxError,
                                "Syntax error in the filter or sort: more than one statement.");
    }
    if (data->IsPaged()) {
        // The result is the source's rows in another order or fewer of them: their ids are enough.
        auto out = std::make_shared<SnapshotData>(data->Fields(), data->Source());
        while ((rc = sqlite3_step(g.stmt)) == SQLITE_ROW) out->AppendRowId(sqlite3_column_int64(g.stmt, 0));
        if (rc != SQLITE_DONE) ThrowSqlite(s.db, rc);
        out->FinishRowIds();
        return out;
    }
    auto out = std::make_shared<SnapshotData>(data->Fields());
    rc = out->AppendRows(g.stmt);
    if (rc != SQLITE_DONE) ThrowSqlite(s.db, rc);
    out->ShrinkToFit();
    return out;
}

}  // namespace corv::engine
