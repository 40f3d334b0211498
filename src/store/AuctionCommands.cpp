#include "store/AuctionCommands.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/AuctionDb.h"

namespace fs = std::filesystem;

namespace corv {

namespace {

constexpr const char* kRoundFileFilter = "Access (*.mdb)|*.mdb";
constexpr const char* kWithdrawalStatistics = "Withdrawal Statistics";

constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccess = 75;

// A second path-not-found failure of the same step is not ours to report: it goes to whoever called the
// command, as the retry has nothing more to try.
struct PathNotFoundAgain {
    CorvError error;
};

void ShowError(const CorvError& e) {
    ShowErrorBox(ErrorForm::ColonNoSpace, e.number(), e.description());
}

// File system failures in the numbering the program's messages use.
CorvError FileError(const std::error_code& ec, const fs::path& source) {
    if (ec == std::errc::no_such_file_or_directory) {
        if (!source.empty() && !fs::exists(source)) return CorvError(err::FileNotFoundIO, "File not found");
        return CorvError(err::PathNotFound, "Path not found");
    }
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
        return CorvError(kPermissionDenied, "Permission denied");
    return CorvError(kPathFileAccess, "Path/File access error");
}

void DeleteFile(const std::string& path) {
    std::error_code ec;
    if (!fs::remove(path, ec) || ec)
        throw FileError(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), path);
}

FileDialogOptions RoundFileDialog() {
    FileDialogOptions o;
    o.filter = kRoundFileFilter;
    o.initialDir = Desktop().DownloadsFolder();
    o.hideReadOnly = true;
    return o;
}

// Runs one numbered step. Path not found: make the program's folder and run the step again from its start.
void Step(const std::function<void()>& step) {
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

std::string QuoteJetText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string Timestamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H%M%S", &local);
    return buf;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return ec ? fs::path(a).lexically_normal() == fs::path(b).lexically_normal() : same;
}

// An earlier auction database of the same number is kept beside the new one under a dated name, whole on
// its own. Whatever stray companion files are left at the name go, so none is ever paired with the new file.
void SetAsideExisting(const std::string& target) {
    std::error_code ec;
    if (fs::exists(target, ec)) {
        if (SameFile(target, AuctionDbPath())) CloseAuctionDb();
        const fs::path t(target);
        const std::string stem = t.stem().string() + " " + Timestamp();
        fs::path aside = t.parent_path() / (stem + t.extension().string());
        for (int n = 2; DbEngine::FileOrSidecarExists(aside.string()); ++n)
            aside = t.parent_path() / (stem + " (" + std::to_string(n) + ")" + t.extension().string());
        Engine().RenameDatabaseFile(target, aside.string());
    }
    DbEngine::RemoveOrphanSidecars(target);
}

// The new file is built under a passing name beside its own and renamed into place only once complete, so a
// crash leaves either the earlier auction or the whole new one at the auction's name.
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

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

[[noreturn]] void ThrowBuildFailure(sqlite3* db) {
    throw CorvError(err::EngineFailure, sqlite3_errmsg(db));
}

// The round 1 file's tables and rows, each column with the type it was declared with. Nothing else of a file
// we did not write comes along: no triggers, views or indexes.
void CopyTables(Database& from, Database& to) {
    sqlite3* in = from.Handle();
    sqlite3* out = to.Handle();
    for (const TableDef& t : from.TableDefs()) {
        Statement read;
        const std::string select = "SELECT * FROM main." + QuoteName(t.Name);
        if (sqlite3_prepare_v2(in, select.c_str(), -1, &read.s, nullptr) != SQLITE_OK) ThrowBuildFailure(in);
        const std::vector<FieldInfo> fields = StatementFields(read.s);
        if (sqlite3_exec(out, CreateTableSql("main", t.Name, fields).c_str(), nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            ThrowBuildFailure(out);
        std::string insert = "INSERT INTO main." + QuoteName(t.Name) + " VALUES (";
        for (std::size_t i = 0; i < fields.size(); ++i) insert += i ? ",?" : "?";
        insert += ")";
        Statement write;
        if (sqlite3_prepare_v2(out, insert.c_str(), -1, &write.s, nullptr) != SQLITE_OK)
            ThrowBuildFailure(out);
        const int columns = static_cast<int>(fields.size());
        int rc;
        while ((rc = sqlite3_step(read.s)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                sqlite3_bind_value(write.s, c + 1, sqlite3_column_value(read.s, c));
            if (sqlite3_step(write.s) != SQLITE_DONE) ThrowBuildFailure(out);
            sqlite3_reset(write.s);
        }
        if (rc != SQLITE_DONE) ThrowBuildFailure(in);
    }
}

void BuildCatalog(Database& db) {
    db.Execute("CREATE TABLE [sysSuppliedTables] ([TableName] Text)");
    const std::vector<TableDef> tables = db.TableDefs();
    for (const TableDef& t : tables) {
        if (IsProgramOwnTable(t.Name)) continue;
        db.Execute("INSERT INTO [sysSuppliedTables] (TableName) VALUES (" + QuoteJetText(t.Name) + ")");
    }
    db.Execute("CREATE TABLE [sysRounds] ([Round] Number)");
    db.Execute("INSERT INTO [sysRounds] VALUES (1)");
    db.Execute("CREATE TABLE [sysTables] ([TableName] Text)");
    db.Execute("INSERT INTO [sysTables] SELECT * FROM [sysSuppliedTables]");
    IndexRoundColumns(db.Handle());
}

// The new auction database at target: the round 1 file's tables and rows and the catalog, built whole under
// a passing name, then renamed into place after any earlier file of that name is set aside.
void WriteAuctionFile(const std::string& source, const std::string& target) {
    // Open the source before anything is touched, so a file that is no database leaves everything as it was.
    std::shared_ptr<Database> round = Engine().OpenDatabase(source);
    if (!fs::is_directory(fs::path(target).parent_path()))
        throw CorvError(err::PathNotFound, "Path not found");
    const std::string building = BuildingPath(target);
    DiscardBuild(building);
    try {
        std::shared_ptr<Database> fresh = Engine().CreateDatabase(building);
        fresh->BeginTrans();
        CopyTables(*round, *fresh);
        BuildCatalog(*fresh);
        fresh->CommitTrans();
        fresh->Close();
    } catch (...) {
        DiscardBuild(building);
        throw;
    }
    round->Close();
    try {
        SetAsideExisting(target);
        std::error_code ec;
        fs::rename(building, target, ec);
        if (ec) throw FileError(ec, {});
    } catch (...) {
        DiscardBuild(building);
        throw;
    }
}

void ShowWrongFile() {
    Desktop().MessageBox("This file does not contain round 1!\r           Please try again.", MsgButtons::OK,
                         MsgIcon::None, "Wrong File");
}

// Creation steps shared by the single and the batch command. Returns the auction number.
int CreateFromRoundOne(const std::string& roundPath, const std::string& fileName) {
    const int auction = AuctionNumberFromFileName(fileName);
    const std::string target = Desktop().ProgramFolder() + "/Auction" + std::to_string(auction) + ".mdb";
    BusyPointer busy;
    Step([&] { WriteAuctionFile(roundPath, target); });
    Step([&] { OpenAuctionDb(target); });
    return auction;
}

std::vector<std::string> SuppliedTables() {
    if (!AuctionDb()) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");
    auto rs = AuctionDb()->OpenRecordset("SELECT TableName FROM sysSuppliedTables", RecordsetType::Snapshot);
    std::vector<std::string> names;
    if (!rs->Eof()) {
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext())
            names.push_back(rs->GetValue("TableName").toString());
    }
    rs->Close();
    return names;
}

// Appends one round results file to the open auction and records the round, all in one transaction held by
// the round file's connection: a failure anywhere leaves the auction database as it was. refusePresent: a
// round already recorded is refused inside that transaction, so two programs importing the same round at
// once cannot both append it.
void AppendRound(const std::string& roundPath, int round, bool refusePresent = false) {
    const std::vector<std::string> tables = SuppliedTables();
    std::shared_ptr<Database> roundDb = Engine().OpenDatabase(roundPath);
    const std::string in = " IN " + QuoteJetText(AuctionDbPath());
    roundDb->BeginTrans();
    try {
        if (refusePresent) {
            auto present = roundDb->OpenRecordset(
                "SELECT Round FROM sysRounds" + in + " WHERE Round = " + std::to_string(round),
                RecordsetType::Snapshot);
            const bool already = present->RecordCount() > 0;
            present->Close();
            if (already)
                throw CorvError(kRoundAlreadyImported,
                                "Round " + std::to_string(round) + " has already been imported");
        }
        for (const std::string& name : tables) {
            if (name == kWithdrawalStatistics) roundDb->Execute("DELETE * FROM [" + name + "]" + in);
            roundDb->Execute("INSERT INTO [" + name + "]" + in + " SELECT * FROM [" + name + "]");
        }
        roundDb->Execute("INSERT INTO sysRounds" + in + " (Round) VALUES (" + std::to_string(round) + ")");
        roundDb->CommitTrans();
    } catch (...) {
        try {
            if (roundDb->InTransaction()) roundDb->Rollback();
        } catch (...) {
        }
        roundDb->Close();
        throw;
    }
    roundDb->Close();
}

std::string ThreeDigits(int n) {
    std::string s = std::to_string(n);
    return s.size() < 3 ? std::string(3 - s.size(), '0') + s : s;
}

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool IsMdbExtension(const std::string& ext) {
    return ext.size() == 4 && ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 'm' &&
           std::tolower(static_cast<unsigned char>(ext[2])) == 'd' &&
           std::tolower(static_cast<unsigned char>(ext[3])) == 'b';
}

// The round file named stem + ".mdb" in folder, the extension in any letter case: files saved elsewhere come
// as ".MDB". When several spellings exist the first of ".mdb", ".MDB", then the others in name order is
// taken. nullopt when there is none.
std::optional<std::string> FindRoundFile(const std::string& folder, const std::string& stem) {
    for (const char* ext : {".mdb", ".MDB"})
        if (IsRegularFile(folder + stem + ext)) return folder + stem + ext;
    std::vector<std::string> others;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.stem() == stem && IsMdbExtension(p.extension().string()) && IsRegularFile(p))
            others.push_back(p.filename().string());
    }
    if (others.empty()) return std::nullopt;
    std::sort(others.begin(), others.end());
    return folder + others.front();
}

// The file dialog both creation commands open with: the chosen file, or nullopt when the command ends here
// (cancelled: the opening question is asked again; no name).
std::optional<std::string> ChooseRoundFile(MainWindowHooks& main) {
    std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (!chosen) {
        main.FileOpen();
        return std::nullopt;
    }
    if (chosen->empty()) return std::nullopt;
    return chosen;
}

// Whether path names a round 1 file; "Wrong File" when not.
bool IsRoundOneFile(const std::string& path) {
    if (RoundNumberFromFileName(SplitFilePath(path, true)) == 1) return true;
    ShowWrongFile();
    return false;
}

void RunCreateAuctionFrom(MainWindowHooks& main, const std::string& path) {
    if (!IsRoundOneFile(path)) return;
    const std::string fileName = SplitFilePath(path, true);
    const int auction = CreateFromRoundOne(path, fileName);
    const MsgAnswer answer =
        Desktop().MessageBox("Auction " + std::to_string(auction) +
                                 " has been successfully created.\r   Would you like to "
                                 "delete the round\r      results file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None, "Round Imported Successfully");
    if (answer == MsgAnswer::Yes) DeleteFile(path);
    main.SetCaption("Corvidel - " + AuctionDbPath());
}

void RunCreateAuction(MainWindowHooks& main) {
    const std::optional<std::string> chosen = ChooseRoundFile(main);
    if (chosen) RunCreateAuctionFrom(main, *chosen);
}

void RunBatchImport(MainWindowHooks& main) {
    const std::optional<std::string> chosen = ChooseRoundFile(main);
    if (!chosen || !IsRoundOneFile(*chosen)) return;
    const std::string& path = *chosen;
    const std::string fileName = SplitFilePath(path, true);
    const std::string folder = SplitFilePath(path, false);
    const std::string prefix = AuctionPrefixFromFileName(fileName);
    CreateFromRoundOne(path, fileName);
    main.SetCaption("Corvidel - " + AuctionDbPath());

    auto roundFile = [&](int n) { return FindRoundFile(folder, prefix + "_" + ThreeDigits(n)); };
    int last = 1;
    while (roundFile(last + 1)) ++last;

    int counter = 2;
    {
        ProgressScope progress;
        if (last > 1) {
            progress.Begin("Batch Auction Import", "Importing round 2 of " + std::to_string(last), last - 1);
        }
        for (;; ++counter) {
            const std::optional<std::string> found = roundFile(counter);
            if (!found) break;
            const std::string& next = *found;
            if (progress.Active()) {
                const std::string text = "Importing round " + std::to_string(counter) + " of " +
                                         std::to_string(std::max(last, counter));
                if (!Desktop().ProgressStep(counter - 2, text)) break;
            }
            BusyPointer busy;
            Step([&] { AppendRound(next, counter); });
        }
    }
    Desktop().MessageBox("Finished importing rounds 1 to " + std::to_string(counter - 1) + ".",
                         MsgButtons::OK, MsgIcon::Information, "Finished Batch Import");
}

void RunImportRoundFile(const std::string& path) {
    const int round = RoundNumberFromFileName(SplitFilePath(path, true));
    if (!AuctionDb()) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");

    auto present = AuctionDb()->OpenRecordset(
        "Select Round From sysRounds Where Round = " + std::to_string(round), RecordsetType::Snapshot);
    const bool already = present->RecordCount() > 0;
    present->Close();
    if (already) {
        if (Desktop().MessageBox(
                "    This round has already been imported!\rDo you wish to delete this round "
                "results file?",
                MsgButtons::YesNo, MsgIcon::None, "Round Already Imported") == MsgAnswer::Yes)
            DeleteFile(path);
        return;
    }

    {
        BusyPointer busy;
        AppendRound(path, round);
    }
    if (Desktop().MessageBox("  Round " + std::to_string(round) +
                                 " has been successfully imported.\rWould you like to delete the round "
                                 "results\r                file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None,
                             "Round Imported Successfully") == MsgAnswer::Yes)
        DeleteFile(path);
}

void RunImportRound() {
    const std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (chosen && !chosen->empty()) RunImportRoundFile(*chosen);
}

// A command's failure as the error it reports; nullopt for a failure no error number explains.
std::optional<CorvError> CommandError(const std::exception& e) {
    if (const auto* c = dynamic_cast<const CorvError*>(&e)) return *c;
    if (const auto* f = dynamic_cast<const fs::filesystem_error*>(&e))
        return FileError(f->code(), f->path1());
    if (dynamic_cast<const std::bad_alloc*>(&e)) return CorvError(7, "Out of memory");
    return std::nullopt;
}

// The command's one handler: the error box, except for a repeated path-not-found, which the caller gets.
template <class F>
void Handled(F&& body) {
    try {
        body();
    } catch (const PathNotFoundAgain& again) {
        throw again.error;
    } catch (const std::exception& e) {
        const std::optional<CorvError> error = CommandError(e);
        if (!error) throw;
        ShowError(*error);
    }
}

}  // namespace

void CreateAuction(MainWindowHooks& main) {
    Handled([&] { RunCreateAuction(main); });
}

void CreateAuctionFrom(MainWindowHooks& main, const std::string& roundOnePath) {
    Handled([&] { RunCreateAuctionFrom(main, roundOnePath); });
}

void ImportRound() {
    if (!RequireWritableAuction()) return;
    Handled([] { RunImportRound(); });
}

void ImportRoundFrom(const std::string& path) {
    if (!RequireWritableAuction()) return;
    Handled([&] { RunImportRoundFile(path); });
}

void BatchImportAuction(MainWindowHooks& main) {
    Handled([&] { RunBatchImport(main); });
}

std::optional<int> OpenAuctionNumber() {
    if (!AuctionDb()) return std::nullopt;
    return AuctionNumberFromDatabaseName(SplitFilePath(AuctionDbPath(), true));
}

int LastImportedRound() {
    if (!AuctionDb()) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");
    auto rs =
        AuctionDb()->OpenRecordset("SELECT Max(Round) AS Highest FROM sysRounds", RecordsetType::Snapshot);
    const Value last = rs->Eof() ? Value() : rs->GetValue("Highest");
    rs->Close();
    return last.isNull() ? 0 : static_cast<int>(last.asDouble());
}

int ImportRoundFile(const std::string& path) {
    if (!AuctionDb()) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");
    if (AuctionReadOnly())
        throw CorvError(err::ReadOnlyDatabase, "The auction database " +
                                                   SplitFilePath(AuctionDbPath(), true) +
                                                   " is in the Jet format and open read-only; convert it in "
                                                   "Corvidel to import into it.");
    const std::string name = SplitFilePath(path, true);
    const int round = RoundNumberFromFileName(name);
    const int fileAuction = AuctionNumberFromFileName(name);
    const std::optional<int> auction = OpenAuctionNumber();
    if (!auction)
        throw CorvError(kRoundOfAnotherAuction, "The auction number cannot be read from the name of " +
                                                    SplitFilePath(AuctionDbPath(), true));
    if (fileAuction != *auction)
        throw CorvError(kRoundOfAnotherAuction, name + " is a round results file of auction " +
                                                    std::to_string(fileAuction) + ", not of auction " +
                                                    std::to_string(*auction));
    try {
        AppendRound(path, round, true);
    } catch (const CorvError&) {
        throw;
    } catch (const std::exception& e) {
        throw CommandError(e).value_or(CorvError(err::EngineFailure, e.what()));
    }
    return round;
}

}  // namespace corv
