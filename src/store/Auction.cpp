#include "store/Auction.h"

#include <algorithm>
#include <exception>

#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "store/JetConversion.h"
#include "store/RoundFileNames.h"
#include "store/RoundTables.h"

namespace corv::store {

std::string SqlName(const std::string& name) {
    return "[" + name + "]";
}

std::string SqlText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string SqlDoubleQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

bool IsStatisticsTable(const std::string& tableName) {
    for (const char* name : kStatisticsTables)
        if (tableName == name) return true;
    return false;
}

bool IsProgramOwnTable(const std::string& tableName) {
    return tableName.rfind("MSys", 0) == 0 || tableName.rfind("sys", 0) == 0 ||
           tableName.rfind("sqlite_", 0) == 0;
}

// ---- Auction ----

Auction::Auction(std::shared_ptr<Database> db, std::string path, AuctionListener* events)
    : db_(std::move(db)), path_(std::move(path)), events_(events) {}

bool Auction::ReadOnly() const {
    return db_->Origin() == DatabaseOrigin::Jet;
}

std::optional<int> Auction::Number() const {
    return AuctionNumberFromDatabaseName(SplitFilePath(path_, true));
}

std::vector<Value> Auction::Column(const std::string& sql, const char* field) {
    auto rs = db_->OpenRecordset(sql, RecordsetType::Snapshot);
    std::vector<Value> values;
    if (!rs->Eof()) {
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) values.push_back(rs->GetValue(field));
    }
    rs->Close();
    return values;
}

std::vector<std::string> Auction::SuppliedTables() {
    std::vector<std::string> names;
    for (const Value& v : Column("SELECT [TableName] FROM [sysSuppliedTables]", "TableName"))
        names.push_back(v.toString());
    return names;
}

bool Auction::IsSupplied(const std::string& table) {
    try {
        auto rs = db_->OpenRecordset(
            "SELECT [TableName] FROM [sysSuppliedTables] WHERE [TableName] = " + SqlText(table),
            RecordsetType::Snapshot);
        rs->MoveLast();
        const bool supplied = rs->RecordCount() >= 1;
        rs->Close();
        return supplied;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> Auction::ViewableTables() {
    std::vector<std::string> names;
    for (const Value& v : Column("SELECT * FROM [sysTables]", "TableName")) names.push_back(v.toString());
    return names;
}

std::vector<Value> Auction::Rounds() {
    return Column("SELECT * FROM [sysRounds]", "Round");
}

int Auction::LastRound() {
    const std::vector<Value> last = Column("SELECT Max([Round]) AS Highest FROM [sysRounds]", "Highest");
    return last.empty() || last.front().isNull() ? 0 : static_cast<int>(last.front().asDouble());
}

bool Auction::HasRound(int round) {
    auto rs = db_->OpenRecordset("SELECT [Round] FROM [sysRounds] WHERE [Round] = " + std::to_string(round),
                                 RecordsetType::Snapshot);
    const bool present = rs->RecordCount() > 0;
    rs->Close();
    return present;
}

bool Auction::IsPerRound(const std::string& table) {
    // A name with a quote has always been shown whole: the viewer's lookup of it never matched.
    if (table.find('\'') != std::string::npos) return false;
    return !IsStatisticsTable(table) && IsSupplied(table);
}

std::string Auction::RowsSource(const std::string& table, const std::string& round) {
    const std::string all = "SELECT * FROM " + SqlName(table);
    return round.empty() ? all : all + " WHERE " + SqlName(kRoundColumn) + " = " + round;
}

void Auction::DropTable(const std::string& table) {
    db_->BeginTrans();
    try {
        db_->Execute("DROP TABLE " + SqlName(table));
        db_->Execute("DELETE [TableName] FROM [sysTables] WHERE [TableName] = " + SqlText(table));
        db_->CommitTrans();
    } catch (...) {
        db_->Rollback();
        throw;
    }
    if (events_) events_->TableDropped(*this, table);
}

void Auction::NoteRoundImported(int round) {
    if (events_) events_->RoundImported(*this, round);
}

void Auction::NoteTableAdded(const std::string& table) {
    if (events_) events_->TableAdded(*this, table);
}

// ---- AuctionSession ----

AuctionSession::~AuctionSession() = default;

void AuctionSession::AddListener(AuctionListener* listener) {
    listeners_.push_back(listener);
}

void AuctionSession::RemoveListener(AuctionListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

Auction& AuctionSession::Open(const std::string& path, const JetConversionOffer& jet) {
    // Open first: a failure must leave the current auction in place.
    std::shared_ptr<Database> opened = Engine().OpenDatabase(path);
    if (opened->Origin() == DatabaseOrigin::Jet && HasAuctionCatalog(*opened) && jet) {
        jet([&] {
            ConvertJetAuction(*opened, path);
            opened->Close();
            opened = Engine().OpenDatabase(path);
        });
    }
    // Checked before the file is changed in any way: a database of some other program stays as it was.
    if (!HasAuctionCatalog(*opened)) {
        opened->Close();
        throw CorvError(
            err::UnrecognizedFormat,
            "The file '" + path +
                "' is not an auction database: it has no sysSuppliedTables, sysRounds and sysTables.");
    }
    // Viewers load while commands write: see the rule for readers and the writer in engine/Database.h.
    opened->KeepWriteAheadLog();
    if (current_) relay_.AuctionClosing(*current_);
    std::unique_ptr<Auction> previous = std::move(current_);
    current_ = std::make_unique<Auction>(std::move(opened), path, &relay_);
    previous.reset();
    relay_.AuctionOpened(*current_);
    return *current_;
}

void AuctionSession::Close() {
    if (!current_) return;
    relay_.AuctionClosing(*current_);
    if (current_->Db()->IsOpen()) current_->Db()->Close();
    current_.reset();
    relay_.AuctionClosed();
}

// A listener may come or go while it is told: each is told from a copy of the list.
void AuctionSession::Relay::AuctionOpened(Auction& a) {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->AuctionOpened(a);
}
void AuctionSession::Relay::AuctionClosing(Auction& a) {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->AuctionClosing(a);
}
void AuctionSession::Relay::AuctionClosed() {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->AuctionClosed();
}
void AuctionSession::Relay::RoundImported(Auction& a, int round) {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->RoundImported(a, round);
}
void AuctionSession::Relay::TableAdded(Auction& a, const std::string& table) {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->TableAdded(a, table);
}
void AuctionSession::Relay::TableDropped(Auction& a, const std::string& table) {
    for (AuctionListener* l : std::vector<AuctionListener*>(to_)) l->TableDropped(a, table);
}

}  // namespace corv::store
