#include "store/AuctionFile.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

#include "engine/Database.h"
#include "platform/DesktopServices.h"
#include "store/Auction.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"
#include "store/RoundTables.h"

namespace fs = std::filesystem;

namespace corv {

namespace {

constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccess = 75;

std::string Timestamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H%M%S", &local);
    return buf;
}

// An earlier auction database of the same number is kept beside the new one under a dated name, whole on
// its own. Whatever stray companion files are left at the name go, so none is ever paired with the new file.
void SetAsideExisting(const std::string& target, const std::function<void(const std::string&)>& releaseOpen,
                      const std::string& keepAsideAs) {
    std::error_code ec;
    if (fs::exists(target, ec)) {
        if (releaseOpen) releaseOpen(target);
        const bool promised = !keepAsideAs.empty() && !DbEngine::FileOrSidecarExists(keepAsideAs);
        Engine().RenameDatabaseFile(target, promised ? keepAsideAs : KeepAsidePath(target));
    }
    DbEngine::RemoveOrphanSidecars(target);
}

void BuildCatalog(Database& db) {
    db.Execute("CREATE TABLE [sysSuppliedTables] ([TableName] Text)");
    const std::vector<TableDef> tables = db.TableDefs();
    for (const TableDef& t : tables) {
        if (store::IsProgramOwnTable(t.Name)) continue;
        db.Execute("INSERT INTO [sysSuppliedTables] (TableName) VALUES (" + store::SqlDoubleQuoted(t.Name) +
                   ")");
    }
    db.Execute("CREATE TABLE [sysRounds] ([Round] Number)");
    db.Execute("INSERT INTO [sysRounds] VALUES (1)");
    db.Execute("CREATE TABLE [sysTables] ([TableName] Text)");
    db.Execute("INSERT INTO [sysTables] SELECT * FROM [sysSuppliedTables]");
    IndexRoundColumns(db);
}

}  // namespace

std::string KeepAsidePath(const std::string& target) {
    const fs::path t(target);
    const std::string stem = t.stem().string() + " " + Timestamp();
    fs::path aside = t.parent_path() / (stem + t.extension().string());
    for (int n = 2; DbEngine::FileOrSidecarExists(aside.string()); ++n)
        aside = t.parent_path() / (stem + " (" + std::to_string(n) + ")" + t.extension().string());
    return aside.string();
}

CorvError FileError(const std::error_code& ec, const fs::path& source) {
    if (ec == std::errc::no_such_file_or_directory) {
        if (!source.empty() && !fs::exists(source)) return CorvError(err::FileNotFoundIO, "File not found");
        return CorvError(err::PathNotFound, "Path not found");
    }
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
        return CorvError(kPermissionDenied, "Permission denied");
    return CorvError(kPathFileAccess, "Path/File access error");
}

std::optional<CorvError> CommandError(const std::exception& e) {
    if (const auto* c = dynamic_cast<const CorvError*>(&e)) return *c;
    if (const auto* f = dynamic_cast<const fs::filesystem_error*>(&e))
        return FileError(f->code(), f->path1());
    if (dynamic_cast<const std::bad_alloc*>(&e)) return CorvError(7, "Out of memory");
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return ec ? fs::path(a).lexically_normal() == fs::path(b).lexically_normal() : same;
}

void DiscardFile(const std::string& path) {
    if (Desktop().MoveToTrash(path)) return;
    std::error_code ec;
    if (!fs::remove(path, ec) || ec)
        throw FileError(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), path);
}

void RetryInProgramFolder(const std::function<void()>& step) {
    try {
        step();
    } catch (const CorvError& e) {
        if (e.number() != err::PathNotFound) throw;
        std::error_code ec;
        fs::create_directories(Desktop().ProgramFolder(), ec);
        try {
            step();
        } catch (const CorvError& again) {
            if (again.number() == err::PathNotFound) throw PathNotFoundAgain{again};
            throw;
        }
    }
}

// A crash while building leaves either the earlier auction or the whole new one at the auction's name.
std::string BuildingPath(const std::string& target) {
    const fs::path t(target);
    return (t.parent_path() / ("." + t.filename().string() + ".new")).string();
}

// A build cut short holds nothing worth keeping.
void DiscardBuild(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    DbEngine::RemoveOrphanSidecars(path);
}

void WriteAuctionFile(const std::string& source, const std::string& target,
                      const std::function<void(const std::string& path)>& releaseOpen,
                      const std::string& keepAsideAs) {
    // Open and check the source before anything is touched, so a file that is no database, or not the round
    // 1 it is named as, leaves everything as it was.
    std::shared_ptr<Database> round = Engine().OpenDatabase(source);
    CheckRoundFileRows(*round, SplitFilePath(source, true), 1,
                       AuctionNumberFromDatabaseName(SplitFilePath(target, true)));
    if (!fs::is_directory(fs::path(target).parent_path()))
        throw CorvError(err::PathNotFound, "Path not found");
    const std::string building = BuildingPath(target);
    DiscardBuild(building);
    try {
        std::shared_ptr<Database> fresh = Engine().CreateDatabase(building);
        fresh->BeginTrans();
        fresh->CopyTablesFrom(*round);
        BuildCatalog(*fresh);
        fresh->CommitTrans();
        fresh->Close();
    } catch (...) {
        DiscardBuild(building);
        throw;
    }
    round->Close();
    try {
        SetAsideExisting(target, releaseOpen, keepAsideAs);
        std::error_code ec;
        fs::rename(building, target, ec);
        if (ec) throw FileError(ec, {});
    } catch (...) {
        DiscardBuild(building);
        throw;
    }
}

// Without these, every round change of a viewer scans the whole auction's rows.
void IndexRoundColumns(Database& db) {
    for (const std::string& t : db.TablesWithColumn(store::kRoundColumn))
        if (!store::IsProgramOwnTable(t) && !store::IsStatisticsTable(t))
            db.CreateIndex("sysRoundIndex " + t, t, store::kRoundColumn);
}

}  // namespace corv
