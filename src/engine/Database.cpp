// A database connection and its record sets: statements, transactions, the write-ahead log and the tables in
// use. The reader side of opening a set lives in ProgressiveOpen.cpp, copying in DatabaseCopy.cpp.

#include "engine/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "engine/EngineInternal.h"
#include "engine/ProgressiveOpen.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"
#include "engine/TableClaims.h"
#include "engine/functions/JetFunctions.h"
#include "engine/sql/JetSql.h"

namespace corv {

namespace {

using engine::FieldsOf;
using engine::IsBlankTail;
using engine::PivotType;
using engine::SameName;

struct Stmt {
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

bool StartsWithWord(const std::string& text, std::string_view word) {
    if (text.size() < word.size() || !SameName(std::string_view(text).substr(0, word.size()), word))
        return false;
    if (text.size() == word.size()) return true;
    const char c = text[word.size()];
    return !(std::isalnum(static_cast<unsigned char>(c)) || c == '_');
}

// A record set source that is SQL rather than a table name.
bool LooksLikeQuery(const std::string& text) {
    return StartsWithWord(text, "SELECT") || StartsWithWord(text, "TRANSFORM") ||
           StartsWithWord(text, "WITH") || (!text.empty() && text[0] == '(');
}

std::string TypeFromValue(int sqliteType) {
    switch (sqliteType) {
        case SQLITE_INTEGER:
            return std::string(DeclaredType(FieldType::Long));
        case SQLITE_FLOAT:
            return std::string(DeclaredType(FieldType::Double));
        case SQLITE_TEXT:
            return std::string(DeclaredType(FieldType::Text));
        case SQLITE_BLOB:
            return std::string(DeclaredType(FieldType::LongBinary));
        default:
            return {};
    }
}

CorvError NoCurrentDatabase() {
    return CorvError(engine::kInvalidObject, "The database is closed: the object is no longer valid.");
}

}  // namespace

Database::Database(sqlite3* db, std::string path, DatabaseOrigin origin)
    : db_(db), path_(std::move(path)), origin_(origin), claims_(std::make_shared<TableClaims>()) {
    if (db_) {
        RegisterJetFunctions(db_);
        sqlite3_set_authorizer(db_, &Database::Authorize, this);
    }
}

Database::~Database() {
    Close();
}

int Database::Authorize(void* self, int action, const char* a, const char*, const char* schema, const char*) {
    auto* d = static_cast<Database*>(self);
    switch (action) {
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
            // SQLite would create a missing file on ATTACH; only AttachAlias, which checks first, may attach.
            return d->attaching_ ? SQLITE_OK : SQLITE_DENY;
        default:
            break;
    }
    if (d->origin_ != DatabaseOrigin::Jet) return SQLITE_OK;
    bool writesMain = false;
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_TABLE:
        case SQLITE_DROP_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_DROP_INDEX:
        case SQLITE_CREATE_VIEW:
        case SQLITE_DROP_VIEW:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_CREATE_VTABLE:
        case SQLITE_DROP_VTABLE:
            writesMain = schema && std::string_view(schema) == "main";
            break;
        case SQLITE_ALTER_TABLE:
            writesMain = a && std::string_view(a) == "main";
            break;
        default:
            break;
    }
    if (writesMain) {
        d->readOnlyHit_ = true;
        return SQLITE_DENY;
    }
    return SQLITE_OK;
}

namespace {

CorvError ErrorOf(sqlite3* db, const std::string& path, bool readOnlyHit) {
    const int rc = sqlite3_extended_errcode(db);
    if ((rc & 0xff) == SQLITE_AUTH && !readOnlyHit) {
        return CorvError(err::EngineFailure, "The statement is not allowed by the engine.");
    }
    return engine::SqliteError(rc, sqlite3_errmsg(db), path);
}

}  // namespace

void Database::ReleaseIdleReader() {
    if (reader_) sqlite3_close_v2(reader_);
    reader_ = nullptr;
}

void Database::KeepWriteAheadLog() {
    if (!db_ || origin_ != DatabaseOrigin::Sqlite) return;
    // The switch needs the file to itself.
    ReleaseIdleReader();
    // A read then takes the lock the connection holds until it closes: it tells other programs that the
    // log is still in use, so none of them folds it back and removes it under us.
    sqlite3_exec(db_,
                 "PRAGMA journal_mode = WAL; PRAGMA journal_size_limit = 4194304; "
                 "SELECT count(*) FROM main.sqlite_master",
                 nullptr, nullptr, nullptr);
}

void Database::Checkpoint() {
    if (!db_) throw NoCurrentDatabase();
    if (origin_ != DatabaseOrigin::Sqlite) return;
    ReleaseIdleReader();
    const int rc = sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    // Busy: another connection is checkpointing this moment, which serves as well.
    if (rc != SQLITE_OK && rc != SQLITE_BUSY) throw engine::SqliteError(rc, sqlite3_errmsg(db_), path_);
}

void Database::Close() {
    ReleaseIdleReader();
    if (!db_) return;
    // The last connection to close folds the log back into the file and removes it with the -shm, but only
    // when its own view of the file is current: other connections may have written since it last read.
    if (origin_ == DatabaseOrigin::Sqlite)
        sqlite3_exec(db_, "SELECT count(*) FROM main.sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    attached_.clear();
    transDepth_ = 0;
}

std::string Database::AttachAlias(const std::string& path) {
    if (!db_) throw NoCurrentDatabase();
    std::error_code ec;
    std::string key = std::filesystem::weakly_canonical(path, ec).string();
    if (ec || key.empty()) key = path;
    if (auto it = attached_.find(key); it != attached_.end()) return it->second;

    if (!std::filesystem::exists(path, ec)) {
        throw CorvError(err::FileNotFound, "Could not find the file '" + path + "'.");
    }
    if (!DbEngine::IsSqliteFile(path)) {
        throw CorvError(err::UnrecognizedFormat,
                        "The file '" + path + "' is not a database in a format the engine can write to.");
    }
    const std::string alias = "ext" + std::to_string(attached_.size() + 1);
    const std::string sql = "ATTACH DATABASE ?1 AS " + QuoteName(alias);
    Stmt st;
    attaching_ = true;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st.s, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(st.s, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(st.s);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    attaching_ = false;
    if (rc != SQLITE_OK) throw ErrorOf(db_, path, false);
    sqlite3_finalize(st.s);
    st.s = nullptr;

    // A damaged file must fail here, not half-way through the statement that names it.
    const std::string probe = "SELECT count(*) FROM " + QuoteName(alias) + ".sqlite_master";
    rc = sqlite3_exec(db_, probe.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const CorvError e = engine::SqliteError(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_), path);
        attaching_ = true;
        sqlite3_exec(db_, ("DETACH DATABASE " + QuoteName(alias)).c_str(), nullptr, nullptr, nullptr);
        attaching_ = false;
        throw e;
    }
    attached_[key] = alias;
    return alias;
}

namespace {

std::optional<std::vector<std::string>> TableColumns(sqlite3* db, const std::string& schema,
                                                     const std::string& table) {
    const std::string sql = "PRAGMA " + QuoteName(schema) + ".table_info(" + QuoteName(table) + ")";
    Stmt st;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st.s, nullptr) != SQLITE_OK) return std::nullopt;
    std::vector<std::string> names;
    while (sqlite3_step(st.s) == SQLITE_ROW) {
        const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 1));
        names.emplace_back(n ? n : "");
    }
    if (names.empty()) return std::nullopt;
    return names;
}

bool TableExists(sqlite3* db, const std::string& schema, const std::string& table) {
    const std::string sql = "SELECT 1 FROM " + QuoteName(schema) +
                            ".sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE";
    Stmt st;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st.s, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_text(st.s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    return sqlite3_step(st.s) == SQLITE_ROW;
}

// Names a new table's columns can all have: duplicates (a join's two "Round"s) numbered, blanks named.
void MakeNamesUnique(std::vector<FieldInfo>& fields) {
    std::vector<std::string> used;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string& name = fields[i].name;
        if (name.empty()) name = "Expr" + std::to_string(1000 + i);
        const auto taken = [&](const std::string& n) {
            return std::any_of(used.begin(), used.end(),
                               [&](const std::string& u) { return SameName(u, n); });
        };
        if (taken(name)) {
            int k = 1;
            while (taken(name + std::to_string(k))) ++k;
            name += std::to_string(k);
        }
        used.push_back(name);
    }
}

PivotType PivotTypeOf(sqlite3* db, const jetsql::Translation& tr) {
    if (tr.pivotTypeSql.empty()) return {};
    Stmt probe;
    // Should the probe fail, so does the query itself, which reports it.
    if (sqlite3_prepare_v2(db, tr.pivotTypeSql.c_str(), -1, &probe.s, nullptr) != SQLITE_OK) return {};
    const char* decl = sqlite3_column_decltype(probe.s, 0);
    if (!decl || (tr.pivotTypeMoneyOnly && FieldTypeFromDeclared(decl) != FieldType::Currency)) return {};
    return {tr.pivotFirst, decl};
}

}  // namespace

void Database::Execute(std::string_view jetSql) {
    if (!db_) throw NoCurrentDatabase();
    jetsql::Context ctx;
    ctx.attach = [this](const std::string& p) { return AttachAlias(p); };
    ctx.columns = [this](const std::string& schema, const std::string& table) {
        return TableColumns(db_, schema, table);
    };
    ctx.rows = [this](const std::string& query) { return ReadRows(query); };
    const jetsql::Translation tr = jetsql::Translate(jetSql, ctx);

    if (tr.kind == jetsql::StatementKind::Select) {
        throw CorvError(
            engine::kNotActionQuery,
            "A select query cannot be executed: it has no action. Open it as a record set instead.");
    }
    if (tr.kind == jetsql::StatementKind::DropTable && tr.targetSchema == "main" &&
        claims_->IsClaimed(tr.targetTable)) {
        throw CorvError(err::TableInUse, "The table '" + tr.targetTable +
                                             "' cannot be dropped: it is in use by an open record set.");
    }
    if (tr.kind == jetsql::StatementKind::SelectInto) {
        if (TableExists(db_, tr.intoSchema, tr.intoTable)) {
            throw CorvError(err::TableExists, "The table '" + tr.intoTable + "' already exists.");
        }
        readOnlyHit_ = false;
        Stmt sel;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db_, tr.sql.c_str(), static_cast<int>(tr.sql.size()), &sel.s, &tail);
        if (rc != SQLITE_OK) throw ErrorOf(db_, path_, readOnlyHit_);
        if (!sel.s || !IsBlankTail(tail))
            throw CorvError(err::SyntaxError, "Only one statement can be executed at a time.");
        std::vector<FieldInfo> fields = FieldsOf(sel.s, PivotTypeOf(db_, tr));
        auto untyped = std::count_if(fields.begin(), fields.end(),
                                     [](const FieldInfo& f) { return f.declaredType.empty(); });
        // Expression columns have no declared type: take it from each one's first value that is not Null.
        while (untyped > 0 && (rc = sqlite3_step(sel.s)) == SQLITE_ROW) {
            for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
                if (fields[i].declaredType.empty() && sqlite3_column_type(sel.s, i) != SQLITE_NULL) {
                    fields[i].declaredType = TypeFromValue(sqlite3_column_type(sel.s, i));
                    fields[i].type = FieldTypeFromDeclared(fields[i].declaredType);
                    --untyped;
                }
            }
        }
        if (untyped > 0 && rc != SQLITE_DONE) throw ErrorOf(db_, path_, readOnlyHit_);
        sqlite3_finalize(sel.s);
        sel.s = nullptr;
        MakeNamesUnique(fields);

        // All or nothing: a failure half-way must not leave a half-filled table behind.
        const auto exec = [this](const std::string& sql) {
            return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
        };
        rc = exec("SAVEPOINT corv_into");
        if (rc != SQLITE_OK) throw ErrorOf(db_, path_, readOnlyHit_);
        rc = exec(CreateTableSql(tr.intoSchema, tr.intoTable, fields));
        if (rc == SQLITE_OK) {
            rc = exec("INSERT INTO " + QuoteName(tr.intoSchema) + "." + QuoteName(tr.intoTable) + " " +
                      tr.sql);
        }
        if (rc != SQLITE_OK) {
            const CorvError e = ErrorOf(db_, path_, readOnlyHit_);
            exec("ROLLBACK TO corv_into");
            exec("RELEASE corv_into");
            throw e;
        }
        rc = exec("RELEASE corv_into");
        if (rc != SQLITE_OK) throw ErrorOf(db_, path_, readOnlyHit_);
        return;
    }

    readOnlyHit_ = false;
    Stmt st;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, tr.sql.c_str(), static_cast<int>(tr.sql.size()), &st.s, &tail);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, readOnlyHit_);
    if (!st.s || !IsBlankTail(tail)) {
        throw CorvError(err::SyntaxError, "Only one statement can be executed at a time.");
    }
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) throw ErrorOf(db_, path_, readOnlyHit_);
}

namespace {

// The table a text names when it asks for every row of one table of this file as it stands: "t", "[t]" or
// "SELECT * FROM [t]". Such a set pages by row ids.
std::optional<std::string> WholeTable(const std::string& text) {
    std::string rest = text;
    while (!rest.empty() && (rest.back() == ';' || std::isspace(static_cast<unsigned char>(rest.back()))))
        rest.pop_back();
    if (StartsWithWord(rest, "SELECT")) {
        rest = Trim(std::string_view(rest).substr(6));
        if (rest.empty() || rest[0] != '*') return std::nullopt;
        rest = Trim(std::string_view(rest).substr(1));
        if (!StartsWithWord(rest, "FROM")) return std::nullopt;
        rest = Trim(std::string_view(rest).substr(4));
    } else if (LooksLikeQuery(rest)) {
        return std::nullopt;
    }
    if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
        rest = rest.substr(1, rest.size() - 2);
        if (rest.find_first_of("[]") != std::string::npos) return std::nullopt;
    } else {
        for (char c : rest)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return std::nullopt;
    }
    if (rest.empty()) return std::nullopt;
    return rest;
}

}  // namespace

std::shared_ptr<Recordset> Database::OpenRecordset(std::string_view source, RecordsetType type) {
    if (!db_) throw NoCurrentDatabase();
    const std::string text = Trim(source);
    std::string sql;
    std::vector<std::string> tables;
    bool external = false;
    PivotType pivot;
    if (LooksLikeQuery(text)) {
        jetsql::Context ctx;
        ctx.attach = [this, &external](const std::string& p) {
            external = true;
            return AttachAlias(p);
        };
        ctx.columns = [this](const std::string& schema, const std::string& table) {
            return TableColumns(db_, schema, table);
        };
        ctx.rows = [this](const std::string& query) { return ReadRows(query); };
        jetsql::Translation tr = jetsql::Translate(text, ctx);
        if (tr.kind != jetsql::StatementKind::Select) {
            throw CorvError(engine::kInvalidOperation,
                            "Only a select query or a table name can be opened as a record set.");
        }
        pivot = PivotTypeOf(db_, tr);
        sql = std::move(tr.sql);
        tables = std::move(tr.sourceTables);
    } else {
        std::string name = text;
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        if (name.empty()) throw CorvError(err::ObjectNotFound, "No table or query was named.");
        sql = "SELECT * FROM main." + QuoteName(name);
        tables.push_back(name);
    }

    // Another connection sees only what is committed to the file itself: not the changes of an open
    // transaction, nor other files attached here.
    if (origin_ == DatabaseOrigin::Sqlite && !external && transDepth_ == 0 && sqlite3_get_autocommit(db_)) {
        if (auto data = engine::OpenProgressively(path_, sql, pivot, WholeTable(text), reader_)) {
            return std::make_shared<Recordset>(weak_from_this(), std::move(data), type, std::string(source),
                                               std::move(tables), claims_);
        }
    }

    readOnlyHit_ = false;
    Stmt st;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st.s, &tail);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, readOnlyHit_);
    if (!st.s || !IsBlankTail(tail))
        throw CorvError(err::SyntaxError, "Only one statement can be opened at a time.");
    auto data = std::make_shared<SnapshotData>(FieldsOf(st.s, pivot));
    rc = data->AppendRows(st.s);
    if (rc != SQLITE_DONE) throw ErrorOf(db_, path_, readOnlyHit_);
    sqlite3_finalize(st.s);
    st.s = nullptr;
    data->ShrinkToFit();
    return std::make_shared<Recordset>(weak_from_this(), std::move(data), type, std::string(source),
                                       std::move(tables), claims_);
}

std::vector<std::vector<std::optional<std::string>>> Database::ReadRows(const std::string& sql) {
    readOnlyHit_ = false;
    Stmt st;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st.s, nullptr) != SQLITE_OK)
        throw ErrorOf(db_, path_, readOnlyHit_);
    std::vector<std::vector<std::optional<std::string>>> rows;
    const int n = sqlite3_column_count(st.s);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int i = 0; i < n; ++i) {
            if (sqlite3_column_type(st.s, i) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
                continue;
            }
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.s, i));
            row.emplace_back(std::string(text ? text : "", sqlite3_column_bytes(st.s, i)));
        }
    }
    if (rc != SQLITE_DONE) throw ErrorOf(db_, path_, readOnlyHit_);
    return rows;
}

std::vector<TableDef> Database::TableDefs() {
    if (!db_) throw NoCurrentDatabase();
    Stmt st;
    const char* sql =
        "SELECT name FROM main.sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "ORDER BY rowid";
    int rc = sqlite3_prepare_v2(db_, sql, -1, &st.s, nullptr);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, false);
    std::vector<TableDef> defs;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0));
        defs.push_back(TableDef{n ? n : ""});
    }
    if (rc != SQLITE_DONE) throw ErrorOf(db_, path_, false);
    return defs;
}

void Database::BeginTrans() {
    if (!db_) throw NoCurrentDatabase();
    const std::string sql = transDepth_ == 0 ? std::string("BEGIN IMMEDIATE")
                                             : "SAVEPOINT corv_trans" + std::to_string(transDepth_);
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, false);
    ++transDepth_;
}

void Database::CommitTrans() {
    if (!db_) throw NoCurrentDatabase();
    if (transDepth_ > 0 && sqlite3_get_autocommit(db_)) {
        transDepth_ = 0;
        throw CorvError(
            engine::kNoTransaction,
            "The transaction was already undone by the engine after an error; nothing was committed.");
    }
    if (transDepth_ == 0) {
        throw CorvError(engine::kNoTransaction,
                        "There is no transaction to commit: BeginTrans was not called.");
    }
    const std::string sql =
        transDepth_ == 1 ? std::string("COMMIT") : "RELEASE corv_trans" + std::to_string(transDepth_ - 1);
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, false);
    --transDepth_;
}

void Database::Rollback() {
    if (!db_) throw NoCurrentDatabase();
    if (transDepth_ > 0 && sqlite3_get_autocommit(db_)) {
        transDepth_ = 0;  // already undone
        return;
    }
    if (transDepth_ == 0) {
        throw CorvError(engine::kNoTransaction,
                        "There is no transaction to roll back: BeginTrans was not called.");
    }
    const std::string name = "corv_trans" + std::to_string(transDepth_ - 1);
    const std::string sql =
        transDepth_ == 1 ? std::string("ROLLBACK") : "ROLLBACK TO " + name + "; RELEASE " + name;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ErrorOf(db_, path_, false);
    --transDepth_;
}

bool Database::InTransaction() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

}  // namespace corv
