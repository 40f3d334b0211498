#include "store/JetConversion.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "store/AuctionFile.h"

namespace fs = std::filesystem;

namespace corv {

namespace {

constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccess = 75;
constexpr const char* kSidecars[] = {"-wal", "-shm", "-journal"};

CorvError FileFailure(const std::error_code& ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system)
        return CorvError(kPermissionDenied, "Permission denied");
    return CorvError(kPathFileAccess, "Path/File access error");
}

CorvError FileFailure(int error) {
    return FileFailure(std::error_code(error, std::generic_category()));
}

// The converted file, whole, at building; closed on return. The name is claimed exclusively first, so a file
// system refusal reads as one and nothing there is ever overwritten.
void WriteConvertedCopy(Database& jet, const std::string& building) {
    const int fd = ::open(building.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw FileFailure(errno);
    ::close(fd);
    jet.BackupTo(building);
    std::shared_ptr<Database> out = Engine().OpenDatabase(building);
    out->BeginTrans();
    try {
        IndexRoundColumns(*out);
        out->CommitTrans();
    } catch (...) {
        out->Rollback();
        out->Close();
        throw;
    }
    out->Close();
}

fs::path KeptName(const fs::path& original, int n) {
    const std::string tag = n == 1 ? " (Jet)" : " (Jet " + std::to_string(n) + ")";
    return original.parent_path() / (original.stem().string() + tag + original.extension().string());
}

// Puts the converted file at original's name and keeps the original beside it. Where the file system allows
// a second name, the original gets one first and the rename then replaces it in one step, so either file is
// at the name at any moment; elsewhere the original is moved aside and moved back if the copy cannot follow.
fs::path SwapIn(const fs::path& original, const std::string& building) {
    fs::path kept;
    bool linked = false;
    for (int n = 1;; ++n) {
        kept = KeptName(original, n);
        if (DbEngine::FileOrSidecarExists(kept.string())) continue;
        if (::link(original.c_str(), kept.c_str()) == 0) {
            linked = true;
            break;
        }
        if (errno == EEXIST) continue;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK)
            throw FileFailure(errno);
        break;
    }
    std::error_code ec;
    if (!linked) {
        fs::rename(original, kept, ec);
        if (ec) throw FileFailure(ec);
    }
    // Log files named after the Jet file cannot be its own: none may pair up with the new file.
    for (const char* suffix : kSidecars) fs::remove(original.string() + suffix, ec);
    fs::rename(building, original, ec);
    if (ec) {
        std::error_code undo;
        if (linked)
            fs::remove(kept, undo);
        else
            fs::rename(kept, original, undo);
        throw FileFailure(ec);
    }
    return kept;
}

}  // namespace

bool HasAuctionCatalog(Database& db) {
    int found = 0;
    for (const TableDef& t : db.TableDefs())
        for (const char* catalog : {"sysSuppliedTables", "sysRounds", "sysTables"})
            if (strcasecmp(t.Name.c_str(), catalog) == 0) ++found;
    return found == 3;
}

std::string ConvertJetAuction(Database& jet, const std::string& path) {
    const fs::path original(path);
    // Beside the original, as a new auction is built: a crash leaves only a hidden leftover.
    const std::string building = BuildingPath(path);
    DiscardBuild(building);
    try {
        WriteConvertedCopy(jet, building);
        return SwapIn(original, building).string();
    } catch (...) {
        DiscardBuild(building);
        throw;
    }
}

}  // namespace corv
