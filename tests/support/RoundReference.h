// The figures of a round counted plainly, row by row, straight from an auction file's rows: what tests hold
// the standings core, the overview and the report against. Slow on purpose; shares no code with them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corv::test {

class RoundReference {
  public:
    struct Bid {
        int round = 0;
        std::string market, block;  // the block without its surrounding blanks
        std::optional<std::string> bidder;
        std::optional<double> gross, net;
    };
    struct EligibilityRow {
        int round = 0;
        std::optional<std::string> bidder;
        std::optional<double> eligibility;
    };
    // Market and block (without blanks).
    using Key = std::pair<std::string, std::string>;
    struct Lead {
        double high = 0;
        std::string leader;  // in its first spelling
        int since = 0;
    };

    // Every row of the bids and of the eligibility table (the first supplied table with its columns) of a
    // SQLite auction file.
    static RoundReference FromFile(const std::string& path);
    RoundReference(std::vector<Bid> bids, std::optional<std::vector<EligibilityRow>> eligibility);

    // Each bidder's first spelling, found by its name in any letter case.
    std::string Spelling(const std::optional<std::string>& name) const;

    std::map<Key, Lead> LeadsAfter(int round, bool net) const;
    double StandingAfter(int round, bool net) const;
    int BidsIn(int round, bool net) const;
    int LicencesBidIn(int round, bool net) const;
    // The latest round up to round with a bid on the licence.
    int LastBid(const Key& licence, int round, bool net) const;
    // Bids with an amount placed on each licence in round.
    std::map<Key, int> BidsOnLicences(int round, bool net) const;
    struct Activity {
        int bids = 0;             // in round
        int first = 0, last = 0;  // rounds up to round with a bid of its
    };
    // Each bidder that bid up to round, by its first spelling.
    std::map<std::string, Activity> BidderActivity(int round, bool net) const;
    // Licences held after round - 1 and led by another bidder after round.
    int LeaderChanges(int round, bool net) const;

    bool HasEligibility() const { return eligibility_.has_value(); }
    // Bidders (first spelling) with a row in round: the first row's eligibility, nullopt for a Null one.
    std::map<std::string, std::optional<double>> EligibilityIn(int round) const;
    // Bidders with a row in any round up to round, in the order first seen.
    std::vector<std::string> EligibilitySeen(int round) const;
    // "active", "reduced" or "out" after round.
    std::string Status(const std::string& bidder, int round) const;

    // Every licence bid on in any round.
    std::vector<Key> Licences() const;
    // A row of market data that keeps to the rules; block "" gives every block of the market.
    struct Size {
        std::string market, block;
        double population = 0, mhz = 0;
    };
    struct Prices {
        std::map<Key, double> licences;         // each licence with a high bid and a size
        std::map<std::string, double> bidders;  // each bidder leading a licence with a size
        std::optional<double> withHigh, all;
    };
    // $/MHz-pop after round, each a sum over a sum.
    Prices PricesAfter(int round, bool net, const std::vector<Size>& sizes) const;

  private:
    std::vector<Bid> bids_;
    std::optional<std::vector<EligibilityRow>> eligibility_;
    std::map<std::string, std::string> spelling_;  // lower case to first spelling
};

// Writes market data over licences into the auction at path as the user's table named table, in sysTables:
// a row per block for some markets, one market row for others, a market row with a block row overriding it,
// markets left without, a block never bid on, and rows with a population of 0 or of text. Returns the rows
// that keep to the rules and the number that do not.
struct MarketDataRows {
    std::vector<RoundReference::Size> sizes;
    int leftOut = 0;
};
MarketDataRows AddMarketData(const std::string& path, const std::string& table,
                             const std::vector<RoundReference::Key>& licences);

}  // namespace corv::test
