#include "store/AuctionDb.h"

#include <sqlite3.h>

#include <cctype>
#include <vector>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"
#include "store/JetConversion.h"

namespace corv {

std::shared_ptr<Database>& AuctionDb() {
    static std::shared_ptr<Database> db;
    return db;
}

std::string& AuctionDbPath() {
    static std::string path;
    return path;
}

namespace {

bool ConvertChosen() {
    return Desktop().MessageBox(
               "This auction database is in the Jet format.\rConvert it to Corvidel's own "
               "format now? The original is kept.",
               MsgButtons::YesNo, MsgIcon::Question, "Convert Auction Database") == MsgAnswer::Yes;
}

}  // namespace

void OpenAuctionDb(const std::string& path, JetAuctionOpen jet) {
    // Open first: a failure must leave the current auction in place.
    std::shared_ptr<Database> opened = Engine().OpenDatabase(path);
    if (opened->Origin() == DatabaseOrigin::Jet && HasAuctionCatalog(*opened) &&
        jet == JetAuctionOpen::AskToConvert && ConvertChosen()) {
        BusyPointer busy;
        ConvertJetAuction(*opened, path);
        opened->Close();
        opened = Engine().OpenDatabase(path);
    }
    // Viewers load while commands write: see the rule for readers and the writer in engine/Database.h.
    opened->KeepWriteAheadLog();
    std::shared_ptr<Database> previous = std::move(AuctionDb());
    AuctionDb() = std::move(opened);
    AuctionDbPath() = path;
    previous.reset();
}

void CloseAuctionDb() {
    if (auto& db = AuctionDb()) {
        if (db->IsOpen()) db->Close();
        db.reset();
    }
    AuctionDbPath().clear();
}

bool AuctionReadOnly() {
    const std::shared_ptr<Database>& db = AuctionDb();
    return db && db->Origin() == DatabaseOrigin::Jet;
}

bool RequireWritableAuction() {
    if (!AuctionReadOnly()) return true;
    Desktop().MessageBox("This auction database is open read-only. Reopen it and convert it to change it.",
                         MsgButtons::OK, MsgIcon::Exclamation, "Read-Only Auction");
    return false;
}

std::string SplitFilePath(const std::string& path, bool fileName) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return fileName ? path : std::string();
    return fileName ? path.substr(slash + 1) : path.substr(0, slash + 1);
}

namespace {

// The whole number written in the characters [first, first + count) of a file name. Surrounding blanks are
// allowed; anything else that is not a digit, or nothing at all, is a type mismatch.
int NumberInName(const std::string& fileName, std::size_t first, std::size_t count) {
    const std::string part = first < fileName.size() ? fileName.substr(first, count) : std::string();
    std::size_t b = 0, e = part.size();
    while (b < e && part[b] == ' ') ++b;
    while (e > b && part[e - 1] == ' ') --e;
    if (b == e) throw CorvError(err::TypeMismatch, "Type mismatch");
    int value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(part[i])))
            throw CorvError(err::TypeMismatch, "Type mismatch");
        value = value * 10 + (part[i] - '0');
    }
    return value;
}

}  // namespace

int RoundNumberFromFileName(const std::string& fileName) {
    return NumberInName(fileName, 3, 3);
}

int AuctionNumberFromFileName(const std::string& fileName) {
    return NumberInName(fileName, 0, 2);
}

std::string AuctionPrefixFromFileName(const std::string& fileName) {
    return fileName.substr(0, 2);
}

std::optional<int> AuctionNumberFromDatabaseName(const std::string& fileName) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string name = lower(fileName);
    const std::string prefix = "auction", ext = ".mdb";
    if (name.size() <= prefix.size() + ext.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    if (digits.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool IsStatisticsTable(const std::string& tableName) {
    static const char* const kStatistics[] = {
        "Round Statistics",     "Increment Statistics",  "Miscellaneous Statistics",
        "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics",
    };
    for (const char* name : kStatistics)
        if (tableName == name) return true;
    return false;
}

bool IsProgramOwnTable(const std::string& tableName) {
    return tableName.rfind("MSys", 0) == 0 || tableName.rfind("sys", 0) == 0 ||
           tableName.rfind("sqlite_", 0) == 0;
}

namespace {

[[noreturn]] void ThrowEngineFailure(sqlite3* db) {
    throw CorvError(err::EngineFailure,
                    "The database engine failed: " + std::string(sqlite3_errmsg(db)) + ".");
}

std::string QuoteSqlName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

}  // namespace

// Without these, every round change of a viewer scans the whole auction's rows.
void IndexRoundColumns(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(
            db,
            "SELECT m.name FROM sqlite_schema m WHERE m.type = 'table' AND EXISTS (SELECT 1 "
            "FROM pragma_table_info(m.name) WHERE name = 'Round' COLLATE NOCASE) ORDER BY rowid",
            -1, &stmt, nullptr) != SQLITE_OK)
        ThrowEngineFailure(db);
    std::vector<std::string> tables;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        if (!IsProgramOwnTable(name) && !IsStatisticsTable(name)) tables.push_back(name);
    }
    sqlite3_finalize(stmt);
    for (const std::string& t : tables) {
        const std::string create =
            "CREATE INDEX " + QuoteSqlName("sysRoundIndex " + t) + " ON " + QuoteSqlName(t) + " (\"Round\")";
        if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ThrowEngineFailure(db);
    }
}

}  // namespace corv
