#include "store/RoundImport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "store/Auction.h"
#include "store/AuctionFile.h"
#include "store/RoundFileNames.h"
#include "store/RoundReadAhead.h"
#include "store/RoundTables.h"

namespace fs = std::filesystem;

namespace corv {

namespace {

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool IsMdbExtension(const std::string& ext) {
    return ext.size() == 4 && ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 'm' &&
           std::tolower(static_cast<unsigned char>(ext[2])) == 'd' &&
           std::tolower(static_cast<unsigned char>(ext[3])) == 'b';
}

bool SameJetName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The distinct values of column in the bids other than expected, lowest first; none when the table or the
// column is missing.
std::vector<std::string> OtherBidValues(Database& db, const std::string& column, int expected) {
    const std::vector<TableDef> tables = db.TableDefs();
    const auto bids = std::find_if(tables.begin(), tables.end(),
                                   [](const TableDef& t) { return SameJetName(t.Name, store::kBidsTable); });
    if (bids == tables.end()) return {};
    const std::string from = " FROM [" + bids->Name + "]";
    auto rs = db.OpenRecordset("SELECT *" + from + " WHERE 0 = 1", RecordsetType::Snapshot);
    const bool hasColumn = rs->FieldIndex(column) >= 0;
    rs->Close();
    if (!hasColumn) return {};
    rs = db.OpenRecordset("SELECT DISTINCT [" + column + "]" + from + " WHERE [" + column + "] <> " +
                              std::to_string(expected) + " ORDER BY [" + column + "]",
                          RecordsetType::Snapshot);
    std::vector<std::string> values;
    for (; !rs->Eof(); rs->MoveNext()) values.push_back(rs->GetValue(0).toString());
    rs->Close();
    return values;
}

}  // namespace

void CheckRoundFileRows(Database& roundDb, const std::string& fileName, int round,
                        std::optional<int> auction) {
    const std::vector<std::string> rounds = OtherBidValues(roundDb, store::kRoundColumn, round);
    if (!rounds.empty())
        throw CorvError(kRoundOfAnotherAuction, fileName + " is named as round " + std::to_string(round) +
                                                    ", but its bids in " + store::kBidsTable +
                                                    " are of round " + rounds.front());
    if (!auction) return;
    const std::vector<std::string> auctions = OtherBidValues(roundDb, store::kAuctionIdColumn, *auction);
    if (!auctions.empty())
        throw CorvError(kRoundOfAnotherAuction, fileName + " holds bids of auction " + auctions.front() +
                                                    " in " + store::kBidsTable + ", not of auction " +
                                                    std::to_string(*auction));
}

void AppendRound(store::Auction& auction, const std::string& roundPath, int round, bool refusePresent) {
    AppendRound(auction, Engine().OpenDatabase(roundPath), round, refusePresent);
}

// The round file's connection holds the transaction, with the auction attached through IN.
void AppendRound(store::Auction& auction, std::shared_ptr<Database> roundDb, int round, bool refusePresent) {
    const std::vector<std::string> tables = auction.SuppliedTables();
    try {
        CheckRoundFileRows(*roundDb, SplitFilePath(roundDb->Name(), true), round, auction.Number());
    } catch (...) {
        roundDb->Close();
        throw;
    }
    const std::string in = " IN " + store::SqlDoubleQuoted(auction.Path());
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
            if (name == store::kWithdrawalStatisticsTable)
                roundDb->Execute("DELETE * FROM [" + name + "]" + in);
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
    auction.NoteRoundImported(round);
}

// Files saved elsewhere come as ".MDB".
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

int LastRoundInRow(const std::string& folder, const std::string& prefix, int first) {
    int last = first - 1;
    while (FindRoundFile(folder, RoundFileStem(prefix, last + 1))) ++last;
    return last;
}

int AuctionNumberOf(const std::string& auctionPath) {
    const std::string name = SplitFilePath(auctionPath, true);
    const std::optional<int> number = AuctionNumberFromDatabaseName(name);
    if (!number)
        throw CorvError(kRoundOfAnotherAuction, "The auction number cannot be read from the name of " + name);
    return *number;
}

int AuctionTakingRounds(const store::Auction& auction) {
    if (auction.ReadOnly())
        throw CorvError(err::ReadOnlyDatabase, "The auction database " + SplitFilePath(auction.Path(), true) +
                                                   " is in the Jet format and open read-only; convert it in "
                                                   "Corvidel to import into it.");
    return AuctionNumberOf(auction.Path());
}

int ImportRoundFile(store::Auction& auction, const std::string& path) {
    const int number = AuctionTakingRounds(auction);
    const std::string name = SplitFilePath(path, true);
    const int round = RoundNumberFromFileName(name);
    const int fileAuction = AuctionNumberFromFileName(name);
    if (fileAuction != number)
        throw CorvError(kRoundOfAnotherAuction, name + " is a round results file of auction " +
                                                    std::to_string(fileAuction) + ", not of auction " +
                                                    std::to_string(number));
    try {
        AppendRound(auction, path, round, true);
    } catch (const CorvError&) {
        throw;
    } catch (const std::exception& e) {
        throw CommandError(e).value_or(CorvError(err::EngineFailure, e.what()));
    }
    return round;
}

namespace {

// Round files opened at once ahead of the round being appended. A Jet file is converted by a process of its
// own, whose start and whose waits a second one fills on the other core; more would only contend for two.
constexpr std::size_t kReadsAhead = 2;

}  // namespace

int ImportRoundsInRow(store::Auction& auction, const std::string& folder, const std::string& prefix,
                      const RoundStep& eachRound) {
    RoundReadAhead ahead;
    int listed = 1;  // the files of rounds 2 to listed are found, in a row, and being opened
    bool rowGoesOn = true;
    const auto listNext = [&] {
        const std::optional<std::string> found = FindRoundFile(folder, RoundFileStem(prefix, listed + 1));
        if (!found) return rowGoesOn = false;
        ahead.Start(*found);
        ++listed;
        return true;
    };
    listNext();
    int round = 2;
    for (; round <= listed; ++round) {
        bool appended = false;
        const auto append = [&] {
            RoundReadAhead::Read current = ahead.Next();
            while (rowGoesOn && ahead.Count() < kReadsAhead) listNext();
            RetryInProgramFolder([&] { AppendRound(auction, current.Take(), round); });
            appended = true;
        };
        if (eachRound)
            eachRound(round, append);
        else
            append();
        if (!appended) break;
    }
    return round - 1;
}

}  // namespace corv
