// The Markets and Bidders tabs and the totals against a row-by-row count, round by round.
#include <gtest/gtest.h>

#include <QChart>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QXYSeries>
#include <filesystem>
#include <set>

#include "OverviewTestSupport.h"
#include "dialogue/AuctionCommands.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewModels.h"
#include "overview/OverviewPages.h"
#include "overview/OverviewRoundModels.h"
#include "store/LatestRound.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using overview::BiddersModel;
using overview::frmOverview;
using overview::kSortRole;
using overview::MarketsModel;
namespace fs = std::filesystem;

class OverviewTablesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
        session.AddListener(&bids);
    }
    // The fixture auction with rows that make the awkward cases: ties, a Null name, Null amounts, a bidder
    // spelled twice, a market without blocks skipping a round.
    std::string FixtureAuction() {
        fixture::AuctionOptions o;
        o.rounds = 5;
        o.markets = 7;
        o.bidders = 6;
        o.bidsPerRound = 25;
        const std::string path = BuildAuctionDatabase(folder.Path(), o);
        RunSqlite(path,
                  "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount], "
                  "[Net Bid Amount]) VALUES "
                  "(1, 'ZZ Tie', '  ', 'D''Arcy Mobile', 5000, 4000),"
                  "(1, 'ZZ Tie', '  ', 'Kestrel Networks', 5000, 4500),"  // a tie: D'Arcy keeps the lead
                  "(2, 'ZZ Tie', '  ', 'KESTREL NETWORKS', 9000, 9000),"  // the same bidder spelled anew
                  "(2, 'ZZ Tie', '  ', NULL, 9000, NULL),"                // tie again, Null name, Null net
                  "(4, 'ZZ Tie', '  ', NULL, 10000, 10500),"              // round 3 has no bid on it
                  "(3, 'ZZ Null', 'A', 'D''Arcy Mobile', NULL, 700),"     // no gross bid at all
                  "(5, 'ZZ Tie', '  ', 'd''arcy mobile', 10000, 1)");
        return path;
    }
    void Open(const std::string& path) {
        session.Open(path);
        window = ShowOverview(session, bids);
    }
    void Choose(int round) { ChooseRound(*window, round); }
    // Every tab row and the totals line against the count, for every round, as gross and net amounts.
    void ExpectEveryRoundMatches() {
        const std::vector<BidRow> rows = ReadRows(session.Current()->Data());
        for (bool net : {false, true}) {
            QTest::mouseClick(net ? window->optNet : window->optGross, Qt::LeftButton);
            WaitIdle(*window);
            for (int i = 0; i < window->cboRound->count(); ++i) {
                const int round = window->cboRound->itemData(i).toInt();
                Choose(round);
                ASSERT_EQ(window->ShownRound(), round);
                ExpectMatches(ExpectedRound(rows, round, net), round);
            }
        }
    }
    void ExpectMatches(const Expected& e, int round) {
        SCOPED_TRACE("round " + std::to_string(round));
        MarketsModel& m = *window->markets;
        ASSERT_EQ(m.rowCount(), static_cast<int>(e.markets.size()));
        auto cell = [](QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
            return model.index(row, column).data(role);
        };
        for (int r = 0; r < m.rowCount(); ++r) {
            const auto key = std::make_pair(cell(m, r, MarketsModel::Market).toString().toStdString(),
                                            cell(m, r, MarketsModel::Block).toString().toStdString());
            SCOPED_TRACE(key.first + "/" + key.second);
            ASSERT_TRUE(e.markets.count(key));
            const ExpectedMarket& x = e.markets.at(key);
            EXPECT_DOUBLE_EQ(cell(m, r, MarketsModel::HighBid, kSortRole).toDouble(), x.high);
            EXPECT_EQ(cell(m, r, MarketsModel::HighBidder).toString().toStdString(), x.bidder);
            EXPECT_EQ(cell(m, r, MarketsModel::SinceRound).toInt(), x.since);
            EXPECT_EQ(cell(m, r, MarketsModel::PreviousHigh).isValid(), x.previous.has_value());
            if (x.previous) {
                EXPECT_DOUBLE_EQ(cell(m, r, MarketsModel::PreviousHigh, kSortRole).toDouble(), *x.previous);
                if (*x.previous != 0) {
                    EXPECT_EQ(cell(m, r, MarketsModel::ChangePercent).toString(),
                              QLocale().toString((x.high - *x.previous) / *x.previous * 100, 'f', 2) + "%");
                }
            }
            EXPECT_EQ(cell(m, r, MarketsModel::Bids).toInt(), x.bids);
            const bool marked = x.leaderChanged || x.since == round;
            EXPECT_EQ(cell(m, r, MarketsModel::Market, Qt::FontRole).value<QFont>().bold(), marked);
            EXPECT_EQ(cell(m, r, MarketsModel::Market, Qt::DecorationRole).isValid(), marked);
        }
        const standings::Totals& t = window->Shown()->totals;
        EXPECT_NEAR(t.standing, e.standing, 1e-6);
        EXPECT_NEAR(t.change, e.change, 1e-6);
        EXPECT_EQ(t.withHigh, static_cast<int>(e.markets.size()));
        EXPECT_EQ(t.leaderChanges, e.leaderChanges);
        EXPECT_TRUE(window->lblTotals->text().contains(overview::FormatAmount(e.standing)));

        BiddersModel& b = *window->bidders;
        ASSERT_EQ(b.rowCount(), static_cast<int>(e.bidders.size()));
        for (int r = 0; r < b.rowCount(); ++r) {
            const std::string name = cell(b, r, BiddersModel::Bidder).toString().toStdString();
            SCOPED_TRACE(name);
            ASSERT_TRUE(e.bidders.count(name));
            const ExpectedBidder& x = e.bidders.at(name);
            EXPECT_EQ(cell(b, r, BiddersModel::Leads).toInt(), x.leads);
            EXPECT_NEAR(cell(b, r, BiddersModel::Held, kSortRole).toDouble(), x.held, 1e-6);
            EXPECT_EQ(cell(b, r, BiddersModel::Bids).toInt(), x.bids);
            EXPECT_EQ(cell(b, r, BiddersModel::FirstRound).toInt(), x.first);
            EXPECT_EQ(cell(b, r, BiddersModel::LastRound).toInt(), x.last);
        }
    }

    TempFolder folder;
    ScriptedDesktop desktop;
    standings::AuctionBids bids;
    store::AuctionSession session;
    std::unique_ptr<frmOverview> window;
};

TEST_F(OverviewTablesTest, FixtureAuctionMatchesARowByRowCountInEveryRound) {
    const std::string path = FixtureAuction();
    Open(path);
    EXPECT_EQ(window->cboRound->currentText(), store::kLatestRoundEntry);
    EXPECT_EQ(window->windowTitle(), "Auction Overview - Round 5");
    ExpectEveryRoundMatches();
    // The awkward rows as the count sees them, so the cases are really there.
    const Expected round2 = ExpectedRound(ReadRows(session.Current()->Data()), 2, false);
    EXPECT_EQ(ExpectedRound(ReadRows(session.Current()->Data()), 1, false).markets.at({"ZZ Tie", ""}).bidder,
              "D'Arcy Mobile");
    EXPECT_EQ(round2.markets.at({"ZZ Tie", ""}).bidder, "Kestrel Networks");
    EXPECT_TRUE(ExpectedRound(ReadRows(session.Current()->Data()), 4, false)
                    .markets.at({"ZZ Tie", ""})
                    .bidder.empty());
    EXPECT_EQ(ExpectedRound(ReadRows(session.Current()->Data()), 3, false).markets.count({"ZZ Null", "A"}),
              0u);
}

TEST_F(OverviewTablesTest, JetSampleAuctionMatchesARowByRowCountInEveryRound) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    ASSERT_TRUE(ImportJetSample(samples, folder.Path(), desktop, session));
    const std::string path = session.Current()->Path();
    Open(path);
    // Round 2 spells "Kestrel Networks" in capitals: the count keeps one bidder in its first spelling.
    ExpectEveryRoundMatches();
}

TEST_F(OverviewTablesTest, AJetAuctionOpenedAsItIsIsReadWhereItIsHeld) {
    const std::string sample = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction/Auction31.mdb";
    CORV_NEED_FILE(sample);
    fs::copy_file(sample, folder.File("Auction31.mdb"));
    desktop.Answer(MsgAnswer::No);  // not converted
    Open(folder.File("Auction31.mdb"));
    ASSERT_EQ(session.Current()->Db()->Origin(), DatabaseOrigin::Jet);
    EXPECT_EQ(window->cboRound->count(), 3 + 1);  // and Latest
    ExpectEveryRoundMatches();
}

TEST_F(OverviewTablesTest, AnEmptyTableShowsEmptyTabsAndZeroTotals) {
    const std::string path = FixtureAuction();
    RunSqlite(path, "DELETE FROM [Markets and Bidders]");
    Open(path);
    EXPECT_EQ(window->ShownRound(), 5);
    EXPECT_EQ(window->markets->rowCount(), 0);
    EXPECT_EQ(window->bidders->rowCount(), 0);
    EXPECT_EQ(window->Shown()->totals.standing, 0);
    EXPECT_FALSE(window->lblProblem->isVisible());
}

TEST_F(OverviewTablesTest, NumbersSortAsNumbersAndTheFilterIgnoresLetterCase) {
    Open(FixtureAuction());
    QTableView& grid = *window->grdMarkets;
    grid.sortByColumn(MarketsModel::HighBid, Qt::DescendingOrder);
    for (int r = 1; r < grid.model()->rowCount(); ++r)
        EXPECT_GE(grid.model()->index(r - 1, MarketsModel::HighBid).data(kSortRole).toDouble(),
                  grid.model()->index(r, MarketsModel::HighBid).data(kSortRole).toDouble());
    QTest::keyClicks(window->txtFilter, "d'arcy");
    EXPECT_EQ(grid.model()->rowCount(), 0);  // it leads nothing: its last bid only tied
    EXPECT_EQ(window->grdBidders->model()->rowCount(), 1);
    window->txtFilter->clear();
    QTest::keyClicks(window->txtFilter, "zZ tIE");
    ASSERT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(grid.model()->index(0, MarketsModel::Market).data().toString(), "ZZ Tie");
}

TEST_F(OverviewTablesTest, ALastRoundWithoutBidsStandsAsTheRoundBefore) {
    const std::string path = FixtureAuction();
    RunSqlite(path, "INSERT INTO sysRounds (Round) VALUES (6)");
    Open(path);
    ASSERT_EQ(window->ShownRound(), 6);
    const std::vector<BidRow> rows = ReadRows(session.Current()->Data());
    ExpectMatches(ExpectedRound(rows, 6, false), 6);
    const auto* total = static_cast<QXYSeries*>(window->charts->Chart()->series().value(0));
    ASSERT_NE(total, nullptr);
    ASSERT_EQ(total->count(), 6);
    EXPECT_NEAR(total->at(5).y(), ExpectedRound(rows, 5, false).standing, 1e-6);
    const auto* marked = static_cast<QXYSeries*>(window->charts->Chart()->series().value(1));
    ASSERT_NE(marked, nullptr);
    EXPECT_EQ(marked->points(), QList<QPointF>{total->at(5)});
}

TEST_F(OverviewTablesTest, EveryAmountOfAColumnHasTheSameDecimals) {
    Open(FixtureAuction());
    const QChar point = QLocale().decimalPoint().front();
    auto decimals = [point](const QString& text) {
        const qsizetype at = text.indexOf(point);
        return at < 0 ? 0 : static_cast<int>(text.size() - at - 1);
    };
    bool mixed = false;  // whole amounts beside amounts with cents in one column
    using overview::ChangesModel;
    using overview::PaceModel;
    const std::pair<QAbstractItemModel*, int> columns[] = {
        {window->markets, MarketsModel::HighBid},
        {window->markets, MarketsModel::PreviousHigh},
        {window->bidders, BiddersModel::Held},
        {window->changesPage->changes, ChangesModel::HighBefore},
        {window->changesPage->changes, ChangesModel::HighNow},
        {window->changesPage->changes, ChangesModel::Rise},
        {window->changesPage->bidders, overview::ChangeBiddersModel::HeldChange},
        {window->eligibilityPage->model, overview::EligibilityModel::Held},
        {window->pacePage->model, PaceModel::Standing},
        {window->pacePage->model, PaceModel::Change}};
    for (const auto& [model, column] : columns) {
        std::set<int> shown;
        std::set<bool> cents;
        for (int r = 0; r < model->rowCount(); ++r) {
            const QModelIndex cell = model->index(r, column);
            if (!cell.data().isValid()) continue;
            shown.insert(decimals(cell.data().toString()));
            cents.insert(overview::HasCents(cell.data(kSortRole).toDouble()));
        }
        EXPECT_EQ(shown.size(), 1u) << column;
        mixed = mixed || cents.size() == 2;
    }
    EXPECT_TRUE(mixed);
}

TEST_F(OverviewTablesTest, LatestFollowsImportsARoundChosenByItsNumberStays) {
    const std::string path = FixtureAuction();
    Open(path);
    auto import = [&](int round) {
        session.Current()->Data().Execute(
            "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount]) VALUES (" +
            std::to_string(round) + ", 'ZZ Tie', '  ', 'Newcomer', " + std::to_string(20000 * round) + ")");
        session.Current()->Data().Execute("INSERT INTO sysRounds (Round) VALUES (" + std::to_string(round) +
                                          ")");
        session.Current()->NoteRoundImported(round);
        WaitIdle(*window);
    };
    import(6);
    EXPECT_EQ(window->ShownRound(), 6);
    EXPECT_EQ(window->windowTitle(), "Auction Overview - Round 6");
    ExpectMatches(ExpectedRound(ReadRows(session.Current()->Data()), 6, false), 6);
    Choose(6);  // the newest, by its number
    import(7);
    EXPECT_EQ(window->ShownRound(), 6);
    window->cboRound->setFocus();
    QTest::keyClick(window->cboRound, Qt::Key_End);
    WaitIdle(*window);
    EXPECT_EQ(window->cboRound->currentText(), store::kLatestRoundEntry);
    EXPECT_EQ(window->ShownRound(), 7);
    import(8);
    EXPECT_EQ(window->ShownRound(), 8);
    EXPECT_EQ(window->windowTitle(), "Auction Overview - Round 8");
}

TEST_F(OverviewTablesTest, OpenedBeforeTheBidsAreReadItSaysSoAndFillsInWhenTheyAre) {
    session.RemoveListener(&bids);  // the bids hear of the auction only once the window is open
    session.Open(FixtureAuction());
    window = std::make_unique<frmOverview>(session, bids);
    window->show();
    EXPECT_TRUE(window->lblProblem->isVisible());
    EXPECT_EQ(window->lblProblem->text(), QStringLiteral("Reading the bids\u2026"));
    EXPECT_EQ(window->ShownRound(), 0);
    bids.AuctionOpened(*session.Current());
    WaitIdle(*window);
    EXPECT_FALSE(window->lblProblem->isVisible());
    ExpectMatches(ExpectedRound(ReadRows(session.Current()->Data()), 5, false), 5);
}

TEST_F(OverviewTablesTest, AFailedReadIsTriedAgainAndTheWindowRecoversWithEveryRound) {
    const std::string path = FixtureAuction();
    Open(path);
    auto import = [&](int round) {
        session.Current()->Data().Execute(
            "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount]) VALUES (" +
            std::to_string(round) + ", 'ZZ Round " + std::to_string(round) + "', 'A', 'Newcomer', 70000)");
        session.Current()->Data().Execute("INSERT INTO sysRounds (Round) VALUES (" + std::to_string(round) +
                                          ")");
        session.Current()->NoteRoundImported(round);
    };
    fs::rename(path, path + ".away");  // moved away for a moment: the read of round 6 cannot open it
    import(6);
    while (!window->lblProblem->isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(window->lblProblem->text().startsWith("The bids cannot be read just now ("));
    EXPECT_TRUE(window->lblProblem->text().endsWith(QStringLiteral("). Trying again\u2026")));
    EXPECT_TRUE(window->tabs->isVisible());  // the round before stays on screen
    EXPECT_EQ(window->ShownRound(), 5);

    fs::rename(path + ".away", path);
    import(7);  // its news names round 7 alone
    WaitIdle(*window);
    EXPECT_FALSE(window->lblProblem->isVisible());
    ASSERT_EQ(window->ShownRound(), 7);
    ExpectMatches(ExpectedRound(ReadRows(session.Current()->Data()), 7, false), 7);
    ExpectEveryRoundMatches();
}

TEST_F(OverviewTablesTest, AStaleRoundIsDroppedWhenAnotherWasChosenMeanwhile) {
    Open(FixtureAuction());
    QSignalSpy shown(window.get(), &frmOverview::RoundShown);
    window->cboRound->setCurrentIndex(window->cboRound->findData(2));
    window->cboRound->setCurrentIndex(window->cboRound->findData(3));
    WaitIdle(*window);
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown.at(0).at(0).toInt(), 3);
    EXPECT_EQ(window->ShownRound(), 3);
    EXPECT_EQ(desktop.busyDepth, 0);
}

TEST_F(OverviewTablesTest, AMissingNeededColumnIsOneSentenceNamingIt) {
    const std::string path = FixtureAuction();
    RunSqlite(path, "ALTER TABLE [Markets and Bidders] DROP COLUMN [Bid Amount]");
    Open(path);
    EXPECT_TRUE(window->lblProblem->isVisible());
    EXPECT_EQ(
        window->lblProblem->text().toStdString(),
        "The \"Markets and Bidders\" table of this auction has no \"Bid Amount\" column, so there are no "
        "bids to show.");
    EXPECT_FALSE(window->tabs->isVisible());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(OverviewTablesTest, WithoutNetBidAmountOnlyGrossCanBeChosen) {
    const std::string path = FixtureAuction();
    RunSqlite(path, "ALTER TABLE [Markets and Bidders] DROP COLUMN [Net Bid Amount]");
    RunSqlite(path, "ALTER TABLE [Markets and Bidders] DROP COLUMN Block");
    Open(path);
    EXPECT_FALSE(window->optNet->isEnabled());
    EXPECT_TRUE(window->optGross->isChecked());
    EXPECT_GT(window->markets->rowCount(), 0);
    EXPECT_EQ(window->markets->index(0, MarketsModel::Block).data().toString(), "");
}

}  // namespace
}  // namespace corv::test
