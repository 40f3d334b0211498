// Every bid of an auction, held compactly so that any round's standings are one pass over memory away.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corv::standings {

// Which amount the standings follow: the bid as placed (gross) or after the bidder's discount (net).
enum class Measure { Gross, Net };

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using NameIndex = std::unordered_map<std::string, std::int32_t, StringHash, std::equal_to<>>;

// One round's bids, column by column, in the table's row order. An amount that is Null is NaN.
struct RoundBids {
    std::vector<std::int32_t> licence;
    std::vector<std::int32_t> bidder;
    std::vector<double> gross;
    std::vector<double> net;  // empty when the table has no net amounts
    std::size_t size() const { return licence.size(); }
    const std::vector<double>& Amounts(Measure m) const { return m == Measure::Net ? net : gross; }
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

    // ---- building ----
    std::int32_t LicenceOf(std::string_view market, std::string_view block);
    // Spellings differing in letter case are one bidder.
    std::int32_t BidderOf(std::string_view name);
    void SetRound(int round, std::shared_ptr<const RoundBids> bids) { rounds_[round] = std::move(bids); }

  private:
    bool hasNet_;
    std::vector<Licence> licences_;
    NameIndex licenceIndex_;  // market, '\x1f', block
    std::string keyBuffer_;
    std::vector<std::string> bidders_;
    NameIndex bidderSpelling_;  // every spelling seen
    NameIndex bidderFolded_;    // letter case folded
    std::map<int, std::shared_ptr<const RoundBids>> rounds_;
};

}  // namespace corv::standings
