#include "support/RoundReference.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace corv::test {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~Db() { sqlite3_close(db); }
    // Every row of sql, each value as text or nullopt.
    std::vector<std::vector<std::optional<std::string>>> Rows(const std::string& sql) const {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        std::vector<std::vector<std::optional<std::string>>> out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            auto& row = out.emplace_back();
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* text = sqlite3_column_text(st, c);
                row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text))
                                   : std::nullopt);
            }
        }
        sqlite3_finalize(st);
        return out;
    }
};

std::optional<double> Number(const std::optional<std::string>& s) {
    return s ? std::optional<double>(std::stod(*s)) : std::nullopt;
}

}  // namespace

RoundReference RoundReference::FromFile(const std::string& path) {
    Db db(path);
    std::vector<Bid> bids;
    for (const auto& r : db.Rows("SELECT Round, Market, Block, [Bidder Name], [Bid Amount], [Net Bid Amount] "
                                 "FROM [Markets and Bidders] ORDER BY rowid"))
        bids.push_back(
            {std::stoi(*r[0]), r[1].value_or(""), Trim(r[2].value_or("")), r[3], Number(r[4]), Number(r[5])});
    std::optional<std::vector<EligibilityRow>> eligibility;
    for (const auto& t : db.Rows("SELECT TableName FROM sysSuppliedTables ORDER BY rowid")) {
        int found = 0;
        for (const auto& c : db.Rows("SELECT lower(name) FROM pragma_table_info('" + *t[0] + "')"))
            found += *c[0] == "round" || *c[0] == "bidder name" || *c[0] == "eligibility";
        if (found < 3) continue;
        eligibility.emplace();
        for (const auto& r :
             db.Rows("SELECT Round, [Bidder Name], Eligibility FROM [" + *t[0] + "] ORDER BY rowid"))
            eligibility->push_back({std::stoi(*r[0]), r[1], Number(r[2])});
        break;
    }
    return RoundReference(std::move(bids), std::move(eligibility));
}

RoundReference::RoundReference(std::vector<Bid> bids, std::optional<std::vector<EligibilityRow>> eligibility)
    : bids_(std::move(bids)), eligibility_(std::move(eligibility)) {
    // First spellings: the bids in round order first, as a history is read.
    std::vector<const Bid*> ordered;
    for (const Bid& b : bids_) ordered.push_back(&b);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Bid* a, const Bid* b) { return a->round < b->round; });
    for (const Bid* b : ordered) spelling_.emplace(Lower(b->bidder.value_or("")), b->bidder.value_or(""));
    if (eligibility_)
        for (const EligibilityRow& e : *eligibility_)
            spelling_.emplace(Lower(e.bidder.value_or("")), e.bidder.value_or(""));
}

std::string RoundReference::Spelling(const std::optional<std::string>& name) const {
    const auto it = spelling_.find(Lower(name.value_or("")));
    return it == spelling_.end() ? name.value_or("") : it->second;
}

std::map<RoundReference::Key, RoundReference::Lead> RoundReference::LeadsAfter(int round, bool net) const {
    std::map<Key, Lead> leads;
    for (int r = 1; r <= round; ++r)
        for (const Bid& b : bids_) {
            const std::optional<double> amount = net ? b.net : b.gross;
            if (b.round != r || !amount) continue;
            const Key key{b.market, b.block};
            const auto it = leads.find(key);
            if (it == leads.end() || *amount > it->second.high) leads[key] = {*amount, Spelling(b.bidder), r};
        }
    return leads;
}

double RoundReference::StandingAfter(int round, bool net) const {
    double total = 0;
    for (const auto& [key, lead] : LeadsAfter(round, net)) total += lead.high;
    return total;
}

int RoundReference::BidsIn(int round, bool net) const {
    return static_cast<int>(std::count_if(bids_.begin(), bids_.end(), [&](const Bid& b) {
        return b.round == round && (net ? b.net : b.gross).has_value();
    }));
}

int RoundReference::LicencesBidIn(int round, bool net) const {
    std::map<Key, int> licences;
    for (const Bid& b : bids_)
        if (b.round == round && (net ? b.net : b.gross)) ++licences[{b.market, b.block}];
    return static_cast<int>(licences.size());
}

int RoundReference::LastBid(const Key& licence, int round, bool net) const {
    int last = 0;
    for (const Bid& b : bids_)
        if (b.round <= round && Key{b.market, b.block} == licence && (net ? b.net : b.gross))
            last = std::max(last, b.round);
    return last;
}

std::map<RoundReference::Key, int> RoundReference::BidsOnLicences(int round, bool net) const {
    std::map<Key, int> out;
    for (const Bid& b : bids_)
        if (b.round == round && (net ? b.net : b.gross)) ++out[{b.market, b.block}];
    return out;
}

std::map<std::string, RoundReference::Activity> RoundReference::BidderActivity(int round, bool net) const {
    std::map<std::string, Activity> out;
    for (const Bid& b : bids_) {
        if (b.round < 1 || b.round > round || !(net ? b.net : b.gross)) continue;
        Activity& a = out[Spelling(b.bidder)];
        a.bids += b.round == round;
        a.first = a.first == 0 ? b.round : std::min(a.first, b.round);
        a.last = std::max(a.last, b.round);
    }
    return out;
}

int RoundReference::LeaderChanges(int round, bool net) const {
    const auto before = LeadsAfter(round - 1, net), after = LeadsAfter(round, net);
    int changes = 0;
    for (const auto& [key, lead] : before) changes += Lower(after.at(key).leader) != Lower(lead.leader);
    return changes;
}

std::map<std::string, std::optional<double>> RoundReference::EligibilityIn(int round) const {
    std::map<std::string, std::optional<double>> out;
    if (eligibility_)
        for (const EligibilityRow& e : *eligibility_)
            if (e.round == round) out.emplace(Spelling(e.bidder), e.eligibility);
    return out;
}

std::vector<std::string> RoundReference::EligibilitySeen(int round) const {
    std::vector<std::string> out;
    for (int r = 1; r <= round && eligibility_; ++r)
        for (const EligibilityRow& e : *eligibility_) {
            const std::string bidder = Spelling(e.bidder);
            if (e.round == r && std::find(out.begin(), out.end(), bidder) == out.end()) out.push_back(bidder);
        }
    return out;
}

std::string RoundReference::Status(const std::string& bidder, int round) const {
    const auto now = EligibilityIn(round), before = EligibilityIn(round - 1);
    const auto it = now.find(bidder);
    if (it == now.end()) {
        if (now.empty()) return round <= 1 ? "active" : Status(bidder, round - 1);
        for (int r = 1; r < round; ++r)
            if (EligibilityIn(r).count(bidder)) return "out";
        return "active";
    }
    if (it->second == 0.0) return "out";
    const auto was = before.find(bidder);
    if (it->second && was != before.end() && was->second && *it->second < *was->second) return "reduced";
    return "active";
}

std::vector<RoundReference::Key> RoundReference::Licences() const {
    std::vector<Key> out;
    for (const Bid& b : bids_) out.emplace_back(b.market, b.block);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

RoundReference::Prices RoundReference::PricesAfter(int round, bool net,
                                                   const std::vector<Size>& sizes) const {
    const auto sizeOf = [&](const Key& key) -> std::optional<double> {
        for (const Size& s : sizes)
            if (s.market == key.first && !s.block.empty() && s.block == key.second)
                return s.population * s.mhz;
        for (const Size& s : sizes)
            if (s.market == key.first && s.block.empty()) return s.population * s.mhz;
        return std::nullopt;
    };
    Prices out;
    double high = 0, highSize = 0;
    std::map<std::string, std::pair<double, double>> bidders;
    for (const auto& [key, lead] : LeadsAfter(round, net)) {
        const auto size = sizeOf(key);
        if (!size) continue;
        out.licences[key] = lead.high / *size;
        high += lead.high;
        highSize += *size;
        bidders[lead.leader].first += lead.high;
        bidders[lead.leader].second += *size;
    }
    for (const auto& [bidder, sums] : bidders) out.bidders[bidder] = sums.first / sums.second;
    if (highSize > 0) out.withHigh = high / highSize;

    // Every licence the data gives: those bid on, blocks named and never bid on, markets none of whose
    // blocks was bid on.
    std::vector<Key> given = Licences();
    for (const Size& s : sizes) {
        const bool bidOn = std::any_of(given.begin(), given.end(), [&](const Key& k) {
            return k.first == s.market && (s.block.empty() || k.second == s.block);
        });
        if (!bidOn) given.emplace_back(s.market, s.block);
    }
    double all = 0;
    for (const Key& key : given) all += sizeOf(key).value_or(0);
    if (all > 0) out.all = high / all;
    return out;
}

MarketDataRows AddMarketData(const std::string& path, const std::string& table,
                             const std::vector<RoundReference::Key>& licences) {
    std::map<std::string, std::vector<std::string>> markets;
    for (const auto& [market, block] : licences) markets[market].push_back(block);
    MarketDataRows out;
    std::string values;
    const auto add = [&](const std::string& market, const std::optional<std::string>& block,
                         const std::string& population, const std::string& mhz) {
        values += std::string(values.empty() ? "" : ", ") + "('" + market + "', " +
                  (block ? "'" + *block + "'" : std::string("NULL")) + ", " + population + ", " + mhz + ")";
    };
    const auto good = [&](const std::string& market, const std::optional<std::string>& block,
                          double population, double mhz) {
        add(market, block, std::to_string(static_cast<long long>(population)), std::to_string(mhz));
        out.sizes.push_back({market, Trim(block.value_or("")), population, mhz});
    };
    int i = 0;
    bool overridden = false;
    for (const auto& [market, blocks] : markets) {
        const double population = 150000 + 37000.0 * i, mhz = 10 + 5 * (i % 3);
        if (!overridden && !blocks.front().empty()) {
            good(market, std::nullopt, population, mhz);
            good(market, "  " + blocks.front(), population, mhz * 2);
            overridden = true;
        } else if (i % 3 == 0) {
            for (const std::string& block : blocks)
                good(market, block.empty() ? "  " : block, population, mhz);
        } else if (i % 3 == 1) {
            good(market, "", population, mhz);
        } else {
            add(market, std::nullopt, i % 2 ? "0" : "'many'", std::to_string(mhz));
            ++out.leftOut;
        }
        ++i;
    }
    good("ZZ Never Bid", "A", 90000, 10);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_busy_timeout(db, 5000);
    const std::string sql =
        "CREATE TABLE [" + table + "] (market TEXT, BLOCK TEXT, Population, mhz); INSERT INTO [" + table +
        "] VALUES " + values + "; INSERT INTO sysTables (TableName) VALUES ('" + table + "');";
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(message);
    return out;
}

}  // namespace corv::test
