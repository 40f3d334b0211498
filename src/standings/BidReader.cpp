#include "standings/BidReader.h"

#include <sqlite3.h>

#include <cmath>
#include <optional>

#include "engine/CorvError.h"
#include "standings/SqliteStatement.h"
#include "store/RoundTables.h"

namespace corv::standings {

namespace {

using detail::ColumnsOf;
using detail::Quoted;
using detail::Statement;
using store::FindColumn;

// The row's values are taken once each (sqlite3_column_value) and read with the value calls: the column calls
// each pay for the connection's bookkeeping, which over a million rows is a good part of the read.
std::optional<long long> WholeNumber(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(v);
        case SQLITE_FLOAT:
            return std::llround(sqlite3_value_double(v));
        default:
            return std::nullopt;
    }
}

double Amount(sqlite3_value* v) {
    const int type = sqlite3_value_type(v);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT ? sqlite3_value_double(v) : std::nan("");
}

std::string_view Text(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// The first supplied table, in the catalog's order, holding every eligibility column; empty for none.
std::string EligibilityTableOf(sqlite3* db) {
    std::vector<std::string> supplied;
    {
        Statement st(db, "SELECT TableName FROM sysSuppliedTables ORDER BY rowid");
        while (st.Step())
            if (const auto* name = sqlite3_column_text(*st, 0))
                supplied.emplace_back(reinterpret_cast<const char*>(name));
    }
    for (const std::string& table : supplied) {
        const std::vector<std::string> columns = ColumnsOf(db, table);
        bool all = !columns.empty();
        for (const char* needed : store::kEligibilityColumns) all = all && FindColumn(columns, needed);
        if (all) return table;
    }
    return {};
}

// The eligibility table's rows of rounds (every round without a base) into history.
void ReadEligibility(sqlite3* db, BidHistory& history, bool onlyRounds, const std::vector<int>& rounds) {
    const std::string table = EligibilityTableOf(db);
    history.SetEligibilityTable(table);
    std::map<int, std::shared_ptr<RoundEligibility>> read;
    for (int r : rounds) read[r] = std::make_shared<RoundEligibility>();
    if (!table.empty()) {
        const std::vector<std::string> columns = ColumnsOf(db, table);
        const std::string round = Quoted(*FindColumn(columns, store::kRoundColumn));
        std::string sql = "SELECT " + round + ", " + Quoted(*FindColumn(columns, store::kBidderColumn)) +
                          ", " + Quoted(*FindColumn(columns, store::kEligibilityColumn)) + " FROM " +
                          Quoted(table);
        if (onlyRounds) {
            std::string list;
            for (int r : rounds) list += (list.empty() ? "" : ", ") + std::to_string(r);
            sql += " WHERE " + round + " IN (" + list + ")";
        }
        Statement st(db, sql + " ORDER BY rowid");
        while (st.Step()) {
            const auto r = WholeNumber(sqlite3_column_value(*st, 0));
            if (!r) continue;
            auto& slot = read[static_cast<int>(*r)];
            if (!slot) slot = std::make_shared<RoundEligibility>();
            slot->bidder.push_back(history.BidderOf(Text(sqlite3_column_value(*st, 1))));
            slot->eligibility.push_back(Amount(sqlite3_column_value(*st, 2)));
        }
    }
    for (auto& [r, rows] : read) history.SetEligibility(r, std::move(rows));
}

}  // namespace

LoadedAuction ReadAuction(sqlite3* db, const BidHistory* base, const std::vector<int>& rounds) {
    LoadedAuction out;
    // One read transaction, so the rounds and the bids agree.
    Statement(db, "BEGIN").Step();
    struct End {
        sqlite3* db;
        ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end{db};

    {
        Statement st(db, "SELECT Round FROM sysRounds ORDER BY Round");
        while (st.Step())
            if (auto r = WholeNumber(sqlite3_column_value(*st, 0));
                r && (out.rounds.empty() || out.rounds.back() != *r))
                out.rounds.push_back(static_cast<int>(*r));
    }

    const std::vector<std::string> columns = ColumnsOf(db, store::kBidsTable);
    if (columns.empty()) {
        out.problem = std::string("This auction has no \"") + store::kBidsTable +
                      "\" table, so there are no bids to show.";
        return out;
    }
    std::string select;
    for (const char* needed :
         {store::kRoundColumn, store::kMarketColumn, store::kBidderColumn, store::kBidAmountColumn}) {
        const auto name = FindColumn(columns, needed);
        if (!name) {
            out.problem = std::string("The \"") + store::kBidsTable + "\" table of this auction has no \"" +
                          needed + "\" column, so there are no bids to show.";
            return out;
        }
        select += (select.empty() ? "" : ", ") + Quoted(*name);
    }
    const auto block = FindColumn(columns, store::kBlockColumn);
    const auto net = FindColumn(columns, store::kNetBidAmountColumn);
    select += ", " + (block ? Quoted(*block) : "NULL") + ", " + (net ? Quoted(*net) : "NULL");

    auto history = std::make_shared<BidHistory>(base ? *base : BidHistory(net.has_value()));
    const bool hasNet = history->HasNet();
    std::string sql = "SELECT " + select + " FROM " + Quoted(store::kBidsTable);
    if (base) {
        std::string list;
        for (int r : rounds) list += (list.empty() ? "" : ", ") + std::to_string(r);
        sql += " WHERE " + Quoted(*FindColumn(columns, store::kRoundColumn)) + " IN (" + list + ")";
    }
    sql += " ORDER BY rowid";

    std::map<int, std::shared_ptr<RoundBids>> read;
    if (base)  // a round read again replaces what the base held of it, even with nothing
        for (int r : rounds) read[r] = std::make_shared<RoundBids>();
    int lastRound = 0;
    RoundBids* bids = nullptr;
    Statement st(db, sql);
    while (st.Step()) {
        const auto r = WholeNumber(sqlite3_column_value(*st, 0));
        if (!r) continue;  // a row of no round belongs to no round's standings
        if (!bids || *r != lastRound) {
            lastRound = static_cast<int>(*r);
            auto& slot = read[lastRound];
            if (!slot) {
                // Rounds are much alike in size: reserving the last one's saves growing and trimming.
                const std::size_t expect = bids ? bids->size() : 0;
                slot = std::make_shared<RoundBids>();
                slot->licence.reserve(expect);
                slot->bidder.reserve(expect);
                slot->gross.reserve(expect);
                if (hasNet) slot->net.reserve(expect);
            }
            bids = slot.get();
        }
        const std::string_view market = Text(sqlite3_column_value(*st, 1));
        bids->bidder.push_back(history->BidderOf(Text(sqlite3_column_value(*st, 2))));
        bids->gross.push_back(Amount(sqlite3_column_value(*st, 3)));
        bids->licence.push_back(
            history->LicenceOf(market, block ? Text(sqlite3_column_value(*st, 4)) : std::string_view()));
        if (hasNet) bids->net.push_back(Amount(sqlite3_column_value(*st, 5)));
    }
    for (auto& [r, b] : read) {
        b->licence.shrink_to_fit();
        b->bidder.shrink_to_fit();
        b->gross.shrink_to_fit();
        b->net.shrink_to_fit();
        history->SetRound(r, std::move(b));
    }
    ReadEligibility(db, *history, base != nullptr, rounds);
    out.tables = std::make_shared<const UserTables>(ReadUserTables(db));
    out.history = std::move(history);
    return out;
}

ReadConnection::ReadConnection(const std::string& path) {
    // Only one thread uses the connection: SQLite's own locking of it is not needed.
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db_);
        throw CorvError(err::FileNotFound, "The auction database " + path + " cannot be read");
    }
    sqlite3_busy_timeout(db_, 5000);
    // Pages mapped rather than copied: one pass over a million rows reads a good deal faster.
    sqlite3_exec(db_, "PRAGMA mmap_size = 1073741824", nullptr, nullptr, nullptr);
}

ReadConnection::~ReadConnection() {
    sqlite3_close_v2(db_);
}

LoadedAuction ReadAuctionFile(const std::string& path, const BidHistory* base,
                              const std::vector<int>& rounds) {
    ReadConnection connection(path);
    return ReadAuction(connection.Handle(), base, rounds);
}

}  // namespace corv::standings
