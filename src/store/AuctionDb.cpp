#include "store/AuctionDb.h"

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

}  // namespace corv
