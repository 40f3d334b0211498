// The $/MHz-pop columns and totals of the Markets and Bidders tabs against a plain count over the auction's
// rows and its market data.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "OverviewTestSupport.h"
#include "overview/OverviewModels.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using overview::BiddersModel;
using overview::frmOverview;
using overview::kSortRole;
using overview::MarketsModel;
using Key = RoundReference::Key;

std::string Text(const QAbstractItemModel& model, int row, int column) {
    return model.index(row, column).data().toString().toStdString();
}
QString Price(double value) {
    return QLocale().toString(value, 'f', 4);
}

class OverviewPricesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
        session.AddListener(&bids);
    }
    std::string FixtureAuction(const std::string& in, int auction = 14) {
        fixture::AuctionOptions o;
        o.auction = auction;
        o.rounds = 4;
        o.markets = 8;
        o.bidders = 5;
        o.bidsPerRound = 25;
        std::filesystem::create_directories(in);
        return BuildAuctionDatabase(in, o);
    }
    void ShowWindow() { window = ShowOverview(session, bids); }
    void Choose(int round) {
        ChooseRound(*window, round);
        ASSERT_EQ(window->ShownRound(), round);
    }
    void ExpectPrices(const RoundReference& ref, const MarketDataRows& data, int round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const RoundReference::Prices p = ref.PricesAfter(round, false, data.sizes);
        const MarketsModel& m = *window->markets;
        ASSERT_EQ(m.columnCount(), MarketsModel::Columns);
        int priced = 0;
        for (int r = 0; r < m.rowCount(); ++r) {
            const Key key{Text(m, r, MarketsModel::Market),
                          m.index(r, MarketsModel::Block).data().toString().trimmed().toStdString()};
            const QModelIndex cell = m.index(r, MarketsModel::PricePerMHzPop);
            const auto it = p.licences.find(key);
            ASSERT_EQ(cell.data().isValid(), it != p.licences.end()) << key.first << "/" << key.second;
            if (it == p.licences.end()) continue;
            ++priced;
            EXPECT_NEAR(cell.data(kSortRole).toDouble(), it->second, 1e-12);
            EXPECT_EQ(cell.data().toString(), Price(it->second));
        }
        EXPECT_EQ(priced, static_cast<int>(p.licences.size()));
        const BiddersModel& b = *window->bidders;
        ASSERT_EQ(b.columnCount(), BiddersModel::Columns);
        for (int r = 0; r < b.rowCount(); ++r) {
            const auto it = p.bidders.find(Text(b, r, BiddersModel::Bidder));
            const QModelIndex cell = b.index(r, BiddersModel::PricePerMHzPop);
            ASSERT_EQ(cell.data().isValid(), it != p.bidders.end()) << Text(b, r, BiddersModel::Bidder);
            if (it != p.bidders.end()) {
                EXPECT_NEAR(cell.data(kSortRole).toDouble(), it->second, 1e-12);
            }
        }
        // Both figures, in their order, and the rows left out.
        ASSERT_TRUE(p.withHigh && p.all);
        const QString totals = window->lblTotals->text();
        const auto withHigh = totals.indexOf(": " + Price(*p.withHigh));
        EXPECT_GE(withHigh, 0) << totals.toStdString();
        EXPECT_GT(totals.indexOf(": " + Price(*p.all), withHigh + 1), withHigh) << totals.toStdString();
        if (data.leftOut > 0) {
            EXPECT_TRUE(totals.contains(QStringLiteral("%1 row").arg(data.leftOut))) << totals.toStdString();
        }
    }

    TempFolder folder;
    ScriptedDesktop desktop;
    standings::AuctionBids bids;
    store::AuctionSession session;
    std::unique_ptr<frmOverview> window;
};

TEST_F(OverviewPricesTest, FixtureAuctionPricesMatchTheCount) {
    const std::string path = FixtureAuction(folder.Path());
    // A licence of a published figure, outside the made-up market data.
    RunSqlite(
        path,
        "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount], [Net Bid "
        "Amount]) VALUES (2, 'ZZ Nation', '  ', 'Quiet Holdings', 4748319000, 4748319000)");
    MarketDataRows data = AddMarketData(path, "Sizes", RoundReference::FromFile(path).Licences());
    RunSqlite(path, "INSERT INTO Sizes VALUES ('ZZ Nation', NULL, 285620445, 22)");
    data.sizes.push_back({"ZZ Nation", "", 285620445, 22});
    session.Open(path);
    ShowWindow();
    const RoundReference ref = RoundReference::FromFile(path);
    for (int round : {1, 4}) {
        Choose(round);
        ExpectPrices(ref, data, round);
    }
    const MarketsModel& m = *window->markets;
    bool published = false;
    for (int r = 0; r < m.rowCount(); ++r)
        if (Text(m, r, MarketsModel::Market) == "ZZ Nation")
            published = Text(m, r, MarketsModel::PricePerMHzPop) == "0.7557";
    EXPECT_TRUE(published);
}

TEST_F(OverviewPricesTest, JetSampleAuctionPricesMatchTheCount) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    ASSERT_TRUE(ImportJetSample(samples, folder.Path(), desktop, session));
    const std::string path = session.Current()->Path();
    const MarketDataRows data = AddMarketData(path, "Sizes", RoundReference::FromFile(path).Licences());
    session.Current()->NoteTableAdded("Sizes");
    ShowWindow();
    const RoundReference ref = RoundReference::FromFile(path);
    for (int round : {1, 6}) {
        Choose(round);
        ExpectPrices(ref, data, round);
    }
}

TEST_F(OverviewPricesTest, TheColumnsComeAndGoWithTheMarketData) {
    const std::string path = FixtureAuction(folder.Path());
    session.Open(path);
    ShowWindow();
    EXPECT_EQ(window->markets->columnCount(), MarketsModel::PricePerMHzPop);
    EXPECT_EQ(window->bidders->columnCount(), BiddersModel::PricePerMHzPop);
    EXPECT_FALSE(window->cboMarketData->isVisible());

    AddMarketData(path, "Sizes", RoundReference::FromFile(path).Licences());
    session.Current()->NoteTableAdded("Sizes");
    WaitIdle(*window);
    EXPECT_EQ(window->markets->columnCount(), MarketsModel::Columns);
    EXPECT_EQ(window->bidders->columnCount(), BiddersModel::Columns);
    EXPECT_TRUE(window->cboMarketData->isVisible());

    session.Current()->DropTable("Sizes");
    WaitIdle(*window);
    EXPECT_EQ(window->markets->columnCount(), MarketsModel::PricePerMHzPop);
    EXPECT_FALSE(window->cboMarketData->isVisible());
}

TEST_F(OverviewPricesTest, TheChoiceAmongSeveralIsRememberedPerAuction) {
    const std::string first = FixtureAuction(folder.File("a")), second = FixtureAuction(folder.File("b"), 15);
    MarketDataRows other;
    for (const std::string& path : {second, first}) {
        const auto licences = RoundReference::FromFile(path).Licences();
        AddMarketData(path, "Sizes", licences);
        other = AddMarketData(path, "Other sizes", {licences.begin(), licences.begin() + 3});
    }
    session.Open(first);
    ShowWindow();
    ASSERT_EQ(window->cboMarketData->count(), 2);
    EXPECT_EQ(window->cboMarketData->currentText(), "Sizes");
    window->cboMarketData->setFocus();
    QTest::keyClick(window->cboMarketData, Qt::Key_Down);
    WaitIdle(*window);
    EXPECT_EQ(window->cboMarketData->currentText(), "Other sizes");

    // Shown again, the auction keeps its choice; another auction starts at the first.
    window.reset();
    ShowWindow();
    EXPECT_EQ(window->cboMarketData->currentText(), "Other sizes");
    ExpectPrices(RoundReference::FromFile(first), other, 4);
    session.Open(second);
    window.reset();
    ShowWindow();
    EXPECT_EQ(window->cboMarketData->currentText(), "Sizes");
}

}  // namespace
}  // namespace corv::test
