#include "standings/BidHistory.h"

#include <cstring>

#include "engine/functions/JetFunctions.h"

namespace corv::standings {

namespace {

std::uint64_t Load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

std::uint64_t Load4(const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 m = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(m) ^ static_cast<std::uint64_t>(m >> 64);
}

constexpr std::uint64_t kOdd1 = 0xa0761d6478bd642fULL, kOdd2 = 0xe7037ed1a0b428dbULL;

}  // namespace

std::uint64_t NameSlots::Hash(std::string_view text, std::uint64_t seed) {
    // Hashing the names is most of a lookup, and they are short: every byte is read in at most a few
    // overlapping words, mixed by independent multiplications.
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t a = 0, b = 0;
    if (n <= 16) {
        if (n >= 8) {
            a = Load8(p);
            b = Load8(p + n - 8);
        } else if (n >= 4) {
            a = Load4(p);
            b = Load4(p + n - 4);
        } else if (n > 0) {
            a = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
                static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
                static_cast<unsigned char>(p[n - 1]);
        }
    } else {
        std::size_t i = 0;
        for (; i + 16 < n; i += 16) seed = Mix(Load8(p + i) ^ kOdd1, Load8(p + i + 8) ^ seed);
        a = Load8(p + n - 16);
        b = Load8(p + n - 8);
    }
    return Mix(kOdd1 ^ n, Mix(a ^ kOdd2, b ^ seed ^ kOdd1));
}

void NameSlots::Add(std::uint64_t hash, std::int32_t number) {
    if ((used_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old(slots_.empty() ? 32 : slots_.size() * 2);
        old.swap(slots_);
        used_ = 0;
        for (const Slot& s : old)
            if (s.number >= 0) Add(s.hash, s.number);
    }
    std::size_t i = hash & (slots_.size() - 1);
    while (slots_[i].number >= 0) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = {hash, number};
    ++used_;
}

std::size_t BidHistory::BidCount() const {
    std::size_t n = 0;
    for (const auto& [round, bids] : rounds_) n += bids->size();
    return n;
}

std::int32_t BidHistory::LicenceOf(std::string_view market, std::string_view block) {
    const std::uint64_t hash = NameSlots::Hash(block, NameSlots::Hash(market));
    const std::int32_t found = licenceSlots_.Find(hash, [&](std::int32_t n) {
        const Licence& l = licences_[static_cast<std::size_t>(n)];
        return l.market == market && l.block == block;
    });
    if (found >= 0) return found;
    const auto index = static_cast<std::int32_t>(licences_.size());
    licences_.push_back({std::string(market), std::string(block)});
    licenceSlots_.Add(hash, index);
    return index;
}

std::int32_t BidHistory::BidderOf(std::string_view name) {
    // Most rows repeat a spelling already seen: only a new spelling pays for folding.
    const std::uint64_t hash = NameSlots::Hash(name);
    const std::int32_t spelling = spellingSlots_.Find(
        hash, [&](std::int32_t n) { return spellings_[static_cast<std::size_t>(n)] == name; });
    if (spelling >= 0) return spellingBidder_[static_cast<std::size_t>(spelling)];
    // Folded as the engine folds text, so a bidder is the one the auction's own queries see.
    std::string folded = JetLowerText(name);
    const std::uint64_t foldedHash = NameSlots::Hash(folded);
    std::int32_t index = foldedSlots_.Find(
        foldedHash, [&](std::int32_t n) { return folded_[static_cast<std::size_t>(n)] == folded; });
    if (index < 0) {
        index = static_cast<std::int32_t>(bidders_.size());
        bidders_.emplace_back(name);
        folded_.push_back(std::move(folded));
        foldedSlots_.Add(foldedHash, index);
    }
    spellingSlots_.Add(hash, static_cast<std::int32_t>(spellings_.size()));
    spellings_.emplace_back(name);
    spellingBidder_.push_back(index);
    return index;
}

}  // namespace corv::standings
