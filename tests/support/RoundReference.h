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

  private:
    std::vector<Bid> bids_;
    std::optional<std::vector<EligibilityRow>> eligibility_;
    std::map<std::string, std::string> spelling_;  // lower case to first spelling
};

}  // namespace corv::test
