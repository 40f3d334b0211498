#include "standings/BidHistory.h"

#include "engine/functions/JetFunctions.h"

namespace corv::standings {

std::size_t BidHistory::BidCount() const {
    std::size_t n = 0;
    for (const auto& [round, bids] : rounds_) n += bids->size();
    return n;
}

std::int32_t BidHistory::LicenceOf(std::string_view market, std::string_view block) {
    // One key buffer for every row: a lookup allocates nothing.
    std::string& key = keyBuffer_;
    key.assign(market).push_back('\x1f');
    key.append(block);
    if (auto it = licenceIndex_.find(key); it != licenceIndex_.end()) return it->second;
    const auto index = static_cast<std::int32_t>(licences_.size());
    licences_.push_back({std::string(market), std::string(block)});
    licenceIndex_.emplace(key, index);
    return index;
}

std::int32_t BidHistory::BidderOf(std::string_view name) {
    // Most rows repeat a spelling already seen: only a new spelling pays for folding.
    if (auto it = bidderSpelling_.find(name); it != bidderSpelling_.end()) return it->second;
    // Folded as the engine folds text, so a bidder is the one the auction's own queries see.
    const std::string folded = JetLowerText(name);
    std::int32_t index;
    if (auto it = bidderFolded_.find(folded); it != bidderFolded_.end()) {
        index = it->second;
    } else {
        index = static_cast<std::int32_t>(bidders_.size());
        bidders_.emplace_back(name);
        bidderFolded_.emplace(folded, index);
    }
    bidderSpelling_.emplace(std::string(name), index);
    return index;
}

}  // namespace corv::standings
