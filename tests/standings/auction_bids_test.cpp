// The shared bids of the open auction: read once, an imported round alone, a failed read tried again.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "standings/AuctionBids.h"
#include "store/RoundImport.h"
#include "support/AuctionDatabase.h"

namespace corv::test {
namespace {

using standings::AuctionBids;
using standings::BidHistory;
using standings::BidsSnapshot;
namespace fs = std::filesystem;

// Every bid by name, round by round: numbers differ between reads, names do not.
using NamedBid =
    std::tuple<std::string, std::string, std::string, std::optional<double>, std::optional<double>>;
std::map<int, std::vector<NamedBid>> Named(const BidHistory& h) {
    auto amount = [](const std::vector<double>& v, std::size_t i) {
        return i < v.size() && !std::isnan(v[i]) ? std::optional<double>(v[i]) : std::nullopt;
    };
    std::map<int, std::vector<NamedBid>> out;
    for (const auto& [round, bids] : h.Rounds())
        for (std::size_t i = 0; i < bids->size(); ++i) {
            const standings::Licence& l = h.Licences()[static_cast<std::size_t>(bids->licence[i])];
            out[round].emplace_back(l.market, l.block, h.Bidders()[static_cast<std::size_t>(bids->bidder[i])],
                                    amount(bids->gross, i), amount(bids->net, i));
        }
    return out;
}

BidsSnapshot Settled(const AuctionBids& bids) {
    BidsSnapshot s = bids.Current();
    while (s.reading) s = bids.NextAfter(s.version);
    return s;
}

class AuctionBidsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        options.rounds = 3;
        path = BuildAuctionDatabase(folder.Path(), options);
        session.AddListener(&bids);
        session.Open(path);
    }
    // Round round's bids, the last round's again a little higher, written as an import writes them.
    void AddRound(int round) {
        Database& db = session.Current()->Data();
        db.BeginTrans();
        db.Execute("INSERT INTO [Markets and Bidders] SELECT [Auction Id], " + std::to_string(round) +
                   ", Market, Block, [Bidder Name], [Bid Amount] + 1, [Net Bid Amount] FROM [Markets and "
                   "Bidders] WHERE Round = " +
                   std::to_string(round - 1));
        db.Execute("INSERT INTO sysRounds (Round) VALUES (" + std::to_string(round) + ")");
        db.CommitTrans();
        session.Current()->NoteRoundImported(round);
    }

    TempFolder folder;
    fixture::AuctionOptions options;
    std::string path;
    AuctionBids bids;
    store::AuctionSession session;
};

TEST_F(AuctionBidsTest, AnImportedRoundIsReadAloneAndTheRoundsBeforeAreShared) {
    const BidsSnapshot before = Settled(bids);
    ASSERT_TRUE(before.history);
    EXPECT_EQ(before.rounds, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Named(*before.history), Named(*standings::ReadAuctionFile(path).history));

    const std::string round4 = folder.File("14_004.mdb");
    fixture::WriteRoundFile(round4, options, 4);
    ImportRoundFile(*session.Current(), round4);
    const BidsSnapshot after = Settled(bids);
    EXPECT_EQ(after.rounds, (std::vector<int>{1, 2, 3, 4}));
    for (int r : {1, 2, 3}) EXPECT_EQ(after.history->Rounds().at(r), before.history->Rounds().at(r));
    EXPECT_EQ(Named(*after.history), Named(*standings::ReadAuctionFile(path).history));
}

TEST_F(AuctionBidsTest, AFailedReadIsTriedAgainWithEveryRoundItWasToRead) {
    Settled(bids);
    fs::rename(path, path + ".away");  // moved away for a moment: the read of round 4 cannot open it
    AddRound(4);
    BidsSnapshot s = bids.Current();
    while (s.failure.empty()) s = bids.NextAfter(s.version);
    EXPECT_TRUE(s.reading);
    EXPECT_EQ(s.rounds, (std::vector<int>{1, 2, 3}));  // the last whole read stays

    fs::rename(path + ".away", path);
    AddRound(5);  // its news names round 5 alone
    s = Settled(bids);
    EXPECT_EQ(s.failure, "");
    EXPECT_EQ(s.rounds, (std::vector<int>{1, 2, 3, 4, 5}));
    ASSERT_TRUE(s.history->Rounds().count(4));
    EXPECT_EQ(Named(*s.history), Named(*standings::ReadAuctionFile(path).history));
}

// The read lets go before the auction's own connection closes, so that close folds the log back and removes
// it.
TEST_F(AuctionBidsTest, ClosingMidReadLeavesNoLogBesideTheFile) {
    fixture::AuctionOptions large;
    large.auction = 15;
    large.bidsPerRound = 100000;
    const std::string big = BuildAuctionDatabase(folder.Path(), large);
    session.Open(big);
    session.Close();
    EXPECT_FALSE(fs::exists(big + "-wal"));
    EXPECT_FALSE(fs::exists(big + "-shm"));
}

}  // namespace
}  // namespace corv::test
