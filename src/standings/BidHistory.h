// Every bid of an auction, held compactly so that any round's standings are one pass over memory away.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corv::standings {

// Which amount the standings follow: the bid as placed (gross) or after the bidder's discount (net).
enum class Measure { Gross, Net };

// Names numbered in the order first seen, looked up without allocating: an open-addressed table of their
// hashes, the names themselves kept by the owner. Copying it is copying one vector.
class NameSlots {
  public:
    static std::uint64_t Hash(std::string_view text, std::uint64_t seed = 0);
    // The number whose name has that hash and is the one asked for (is(number)), or -1.
    template <class Is>
    std::int32_t Find(std::uint64_t hash, Is is) const {
        if (slots_.empty()) return -1;
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            const Slot& s = slots_[i];
            if (s.number < 0) return -1;
            if (s.hash == hash && is(s.number)) return s.number;
        }
    }
    void Add(std::uint64_t hash, std::int32_t number);

  private:
    struct Slot {
        std::uint64_t hash = 0;
        std::int32_t number = -1;
    };
    std::vector<Slot> slots_;  // a power of two long, never more than half full
    std::size_t used_ = 0;
};

// One round's bids, column by column, in the table's row order. An amount that is Null is NaN.
struct RoundBids {
    std::vector<std::int32_t> licence;
    std::vector<std::int32_t> bidder;
    std::vector<double> gross;
    std::vector<double> net;  // empty when the table has no net amounts
    std::size_t size() const { return licence.size(); }
    const std::vector<double>& Amounts(Measure m) const { return m == Measure::Net ? net : gross; }
};

// One round's rows of the eligibility table, in the table's row order. A Null eligibility is NaN.
struct RoundEligibility {
    std::vector<std::int32_t> bidder;
    std::vector<double> eligibility;
    std::size_t size() const { return bidder.size(); }
};

// A market and block. The block as stored ("  " for a market sold whole, "" for Null).
struct Licence {
    std::string market;
    std::string block;
};

// Built by one thread, then never changed: the threads computing from it share it read-only. A newly imported
// round makes a new history that shares the unchanged rounds with the old one.
class BidHistory {
  public:
    explicit BidHistory(bool hasNet) : hasNet_(hasNet) {}

    bool HasNet() const { return hasNet_; }
    const std::vector<Licence>& Licences() const { return licences_; }
    // In the first spelling seen; "" for a Null name.
    const std::vector<std::string>& Bidders() const { return bidders_; }
    // Rounds holding at least one row, ascending.
    const std::map<int, std::shared_ptr<const RoundBids>>& Rounds() const { return rounds_; }
    std::size_t BidCount() const;
    // The auction's eligibility table as it spells it; empty when it has none.
    const std::string& EligibilityTable() const { return eligibilityTable_; }
    // Rounds holding at least one row of it, ascending. Its bidders are numbered with those of the bids.
    const std::map<int, std::shared_ptr<const RoundEligibility>>& Eligibility() const { return eligibility_; }

    // ---- building ----
    std::int32_t LicenceOf(std::string_view market, std::string_view block);
    // Spellings differing in letter case are one bidder.
    std::int32_t BidderOf(std::string_view name);
    void SetRound(int round, std::shared_ptr<const RoundBids> bids) { rounds_[round] = std::move(bids); }
    void SetEligibilityTable(std::string name) { eligibilityTable_ = std::move(name); }
    void SetEligibility(int round, std::shared_ptr<const RoundEligibility> rows) {
        if (rows->size() == 0)
            eligibility_.erase(round);
        else
            eligibility_[round] = std::move(rows);
    }

  private:
    bool hasNet_;
    std::vector<Licence> licences_;
    NameSlots licenceSlots_;
    std::vector<std::string> bidders_;
    std::vector<std::string> folded_;  // of each bidder, letter case folded
    NameSlots foldedSlots_;
    std::vector<std::string> spellings_;  // every spelling seen
    std::vector<std::int32_t> spellingBidder_;
    NameSlots spellingSlots_;
    std::map<int, std::shared_ptr<const RoundBids>> rounds_;
    std::string eligibilityTable_;
    std::map<int, std::shared_ptr<const RoundEligibility>> eligibility_;
};

}  // namespace corv::standings
