#include "support/FixtureAuction.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "store/Recordset.h"
#include "store/Schema.h"
#include "store/Value.h"

namespace corv::fixture {

namespace {

// splitmix64: tiny, and its output is the same on every platform and library.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for fixture purposes.
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

  private:
    std::uint64_t state_;
};

std::uint64_t Mix(std::uint32_t seed, int auction, int round, int stream) {
    Rng r((static_cast<std::uint64_t>(seed) << 32) ^ (static_cast<std::uint64_t>(auction) << 20) ^
          (static_cast<std::uint64_t>(round) << 4) ^ static_cast<std::uint64_t>(stream));
    r.next();
    return r.next();
}

const char* const kBidderNames[] = {
    "Arcadia Wireless", "O'Brien Wireless",  "Bluewater PCS",   "Crestline Telecom",
    "Delta Airwaves",   "Evergreen Mobile",  "Fairhaven Radio", "Granite Personal Communications",
    "Harbor Cellular",  "Ironwood Networks", "Juniper Telecom", "Keystone Mobile Partners",
};
constexpr int kNamedBidders = static_cast<int>(sizeof kBidderNames / sizeof kBidderNames[0]);

struct Licence {
    std::string market;
    std::string block;
};

// Every third market is split into lettered blocks; the others are sold whole, which the auction marks
// with the two-space block.
std::vector<Licence> Licences(const AuctionOptions& o) {
    std::vector<Licence> out;
    auto markets = MarketNames(o);
    for (size_t i = 0; i < markets.size(); ++i) {
        if (i % 3 == 0) {
            int blocks = (i % 2 == 0) ? 3 : 2;
            for (int b = 0; b < blocks; ++b) out.push_back({markets[i], std::string(1, char('A' + b))});
        } else {
            out.push_back({markets[i], "  "});
        }
    }
    return out;
}

// Discount (in percent) a bidder receives on its bids; Net Bid Amount is the bid less it.
int DiscountPercent(int bidderIndex) {
    static const int kDiscounts[] = {0, 25, 0, 15, 35, 0, 10};
    return kDiscounts[bidderIndex % 7];
}

double Cents(double v) {
    return std::round(v * 100.0) / 100.0;
}

using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;

class Db {
  public:
    explicit Db(const std::string& path) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("cannot create " + path + ": " + msg);
        }
        // A fixture that is lost in a crash is simply written again.
        exec("PRAGMA journal_mode=OFF");
        exec("PRAGMA synchronous=OFF");
        exec("BEGIN");
    }
    ~Db() {
        if (db_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close_v2(db_);
        }
    }
    void commit() {
        exec("COMMIT");
        sqlite3_close_v2(db_);  // the tables' statements finalize after this
        db_ = nullptr;
    }
    void exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : "";
            sqlite3_free(err);
            throw std::runtime_error(sql + ": " + msg);
        }
    }

    // Creates the table and returns a prepared insert for all its columns.
    class Table {
      public:
        Table(Db& db, const std::string& name, const std::vector<FieldInfo>& cols) : db_(db) {
            db.exec(CreateTableSql("", name, cols));
            std::string sql = "INSERT INTO " + QuoteName(name) + " VALUES (";
            for (size_t i = 0; i < cols.size(); ++i) sql += i ? ",?" : "?";
            sql += ")";
            if (sqlite3_prepare_v2(db.db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
                throw std::runtime_error(sql + ": " + sqlite3_errmsg(db.db_));
        }
        ~Table() { sqlite3_finalize(stmt_); }
        Table(const Table&) = delete;
        Table& operator=(const Table&) = delete;

        void insert(const std::vector<Cell>& row) {
            for (size_t i = 0; i < row.size(); ++i) {
                int c = static_cast<int>(i) + 1;
                const Cell& v = row[i];
                if (std::holds_alternative<std::int64_t>(v))
                    sqlite3_bind_int64(stmt_, c, std::get<std::int64_t>(v));
                else if (std::holds_alternative<double>(v))
                    sqlite3_bind_double(stmt_, c, std::get<double>(v));
                else if (std::holds_alternative<std::string>(v)) {
                    const auto& s = std::get<std::string>(v);
                    sqlite3_bind_text(stmt_, c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
                } else
                    sqlite3_bind_null(stmt_, c);
            }
            if (sqlite3_step(stmt_) != SQLITE_DONE)
                throw std::runtime_error(std::string("insert failed: ") + sqlite3_errmsg(db_.db_));
            sqlite3_reset(stmt_);
        }

      private:
        Db& db_;
        sqlite3_stmt* stmt_ = nullptr;
    };

  private:
    sqlite3* db_ = nullptr;
};

FieldInfo Col(const char* name, FieldType t) {
    return FieldInfo{name, t, {}};
}

Cell I(std::int64_t v) {
    return Cell(v);
}
Cell D(double v) {
    return Cell(v);
}
Cell S(std::string v) {
    return Cell(std::move(v));
}

// Opening price of a licence: the same in every round of an auction.
double BasePrice(const AuctionOptions& o, size_t licence) {
    Rng r(Mix(o.seed, o.auction, 0, 1000 + static_cast<int>(licence)));
    return 50000.0 + 1000.0 * r.below(4000);
}

}  // namespace

std::vector<std::string> BidderNames(const AuctionOptions& options) {
    std::vector<std::string> out;
    if (options.bidders <= 0) return out;
    if (options.bidders == 1) return {kBidderNames[1]};  // the apostrophe is the point of the fixture
    for (int i = 0; i < options.bidders; ++i) {
        if (i < kNamedBidders) {
            out.emplace_back(kBidderNames[i]);
        } else {
            char buf[32];
            std::snprintf(buf, sizeof buf, "Bidder %03d", i + 1);
            out.emplace_back(buf);
        }
    }
    return out;
}

std::vector<std::string> MarketNames(const AuctionOptions& options) {
    std::vector<std::string> out;
    for (int i = 0; i < options.markets; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "MTA%03d", i + 1);
        out.emplace_back(buf);
    }
    return out;
}

void WriteRoundFile(const std::string& path, const AuctionOptions& o, int round) {
    const auto bidders = BidderNames(o);
    const auto markets = MarketNames(o);
    const auto licences = Licences(o);
    const int nb = static_cast<int>(bidders.size());
    const int nl = static_cast<int>(licences.size());
    if (nb == 0 || nl == 0) throw std::invalid_argument("an auction needs bidders and markets");

    Db db(path);

    // Table order matters: it is the order the auction's catalog lists them in.
    Db::Table bids(
        db, "Markets and Bidders",
        {Col("Auction Id", FieldType::Long), Col("Round", FieldType::Long), Col("Market", FieldType::Text),
         Col("Block", FieldType::Text), Col("Bidder Name", FieldType::Text),
         Col("Bid Amount", FieldType::Currency), Col("Net Bid Amount", FieldType::Currency)});
    Db::Table roundStats(db, "Round Statistics",
                         {Col("Round", FieldType::Long), Col("Market", FieldType::Text),
                          Col("Block", FieldType::Text), Col("New Bids", FieldType::Long),
                          Col("High Bid", FieldType::Currency), Col("Percent Increase", FieldType::Double)});
    Db::Table incrementStats(
        db, "Increment Statistics",
        {Col("Round", FieldType::Long), Col("Market", FieldType::Text), Col("Block", FieldType::Text),
         Col("Increment", FieldType::Double), Col("Minimum Bid", FieldType::Currency)});
    Db::Table miscStats(db, "Miscellaneous Statistics",
                        {Col("Statistic", FieldType::Text), Col("Figure", FieldType::Double),
                         Col("Recorded", FieldType::DateTime)});
    Db::Table reductionStats(
        db, "Reduction Statistics",
        {Col("Round", FieldType::Long), Col("Bidder Name", FieldType::Text),
         Col("Eligibility Before", FieldType::Long), Col("Eligibility After", FieldType::Long)});
    Db::Table withdrawalStats(
        db, "Withdrawal Statistics",
        {Col("Round", FieldType::Long), Col("Market", FieldType::Text), Col("Block", FieldType::Text),
         Col("Bidder Name", FieldType::Text), Col("Withdrawn Amount", FieldType::Currency)});
    Db::Table waiverStats(db, "Waiver Statistics",
                          {Col("Round", FieldType::Long), Col("Bidder Name", FieldType::Text),
                           Col("Waivers Used", FieldType::Integer), Col("Waivers Left", FieldType::Integer),
                           Col("Proactive", FieldType::Boolean)});
    Db::Table eligibility(db, "Bidder Eligibility",
                          {Col("Round", FieldType::Long), Col("Bidder Name", FieldType::Text),
                           Col("Orvane Acct", FieldType::Text), Col("Eligibility", FieldType::Long)});

    Rng rng(Mix(o.seed, o.auction, round, 1));
    const double growth = 1.0 + 0.05 * (round - 1);

    std::vector<int> newBids(nl, 0);
    std::vector<double> high(nl, 0.0);
    std::vector<int> highBidder(nl, 0);
    for (int i = 0; i < o.bidsPerRound; ++i) {
        // The first pass covers every licence and every bidder, so small rounds still show all kinds.
        int l = i < nl ? i : rng.below(nl);
        int b = i < nb ? i : rng.below(nb);
        double amount = std::floor(BasePrice(o, l) * growth * (1.0 + rng.below(200) / 1000.0));
        if (rng.chance(25)) amount += rng.below(99) / 100.0 + 0.01;  // some bids carry cents
        double net = Cents(amount * (100 - DiscountPercent(b)) / 100.0);
        bids.insert({I(o.auction), I(round), S(licences[l].market), S(licences[l].block), S(bidders[b]),
                     D(amount), D(net)});
        ++newBids[l];
        if (amount > high[l]) {
            high[l] = amount;
            highBidder[l] = b;
        }
    }

    for (int l = 0; l < nl; ++l) {
        double prev = std::floor(BasePrice(o, l) * (1.0 + 0.05 * (round - 2)));
        double pct = high[l] > 0 && round > 1 ? std::round((high[l] / prev - 1.0) * 10000.0) / 100.0 : 0.0;
        roundStats.insert({I(round), S(licences[l].market), S(licences[l].block), I(newBids[l]),
                           high[l] > 0 ? D(high[l]) : Cell(), D(pct)});
        double inc = 0.05 + 0.05 * rng.below(3);
        double base = high[l] > 0 ? high[l] : BasePrice(o, l);
        incrementStats.insert({I(round), S(licences[l].market), S(licences[l].block), D(inc),
                               D(std::ceil(base * (1.0 + inc)))});
    }

    int totalBids = 0;
    for (int n : newBids) totalBids += n;
    char when[32];
    std::snprintf(when, sizeof when, "1997-%02d-%02d %02d:%02d:00", 1 + (round / 28) % 12, 1 + round % 28,
                  9 + round % 8, (round * 7) % 60);
    miscStats.insert({S("Round"), D(round), S(when)});
    miscStats.insert({S("Bids Placed"), D(totalBids), S(when)});
    miscStats.insert({S("Active Bidders"), D(nb), S(when)});
    miscStats.insert({S("Licences With Bids"),
                      D(std::count_if(newBids.begin(), newBids.end(), [](int n) { return n > 0; })),
                      S(when)});

    for (int b = 0; b < nb; ++b) {
        std::int64_t before = 1000000 - 10000LL * ((b * 7 + round) % 13);
        std::int64_t cut = (b + round) % 3 == 0 ? 10000LL * (1 + rng.below(5)) : 0;
        if (cut) reductionStats.insert({I(round), S(bidders[b]), I(before), I(before - cut)});
        int used = (round + b) / 4 > 5 ? 5 : (round + b) / 4;
        waiverStats.insert({I(round), S(bidders[b]), I(used), I(5 - used), I(rng.chance(30) ? -1 : 0)});
        char acct[16];
        std::snprintf(acct, sizeof acct, "%07d", 4410 + 37 * b);  // leading zeros: an account, not a number
        eligibility.insert({I(round), S(bidders[b]), S(acct), I(before - cut)});
    }
    // Each round has at least one withdrawal, so the table is never empty after an import.
    int withdrawals = 1 + rng.below(2);
    for (int w = 0; w < withdrawals; ++w) {
        int l = rng.below(nl);
        withdrawalStats.insert({I(round), S(licences[l].market), S(licences[l].block),
                                S(bidders[highBidder[l]]), D(std::floor(BasePrice(o, l) * growth))});
    }

    db.commit();
}

std::vector<std::string> WriteAuctionRounds(const std::string& folder, const AuctionOptions& options) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> paths;
    for (int r = 1; r <= options.rounds; ++r) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d_%03d.mdb", options.auction, r);
        std::string path = (std::filesystem::path(folder) / name).string();
        WriteRoundFile(path, options, r);
        paths.push_back(path);
    }
    return paths;
}

}  // namespace corv::fixture
