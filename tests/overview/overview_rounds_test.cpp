// The Changes, Eligibility and Rounds tabs and the Markets tab's Last Bid and Stood against a plain count
// over the auction file's rows.
#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QXYSeries>
#include <cmath>

#include "OverviewTestSupport.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewModels.h"
#include "overview/OverviewPages.h"
#include "overview/OverviewRoundModels.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using overview::ChangeBiddersModel;
using overview::ChangesModel;
using overview::EligibilityModel;
using overview::frmOverview;
using overview::kSortRole;
using overview::MarketsModel;
using overview::PaceModel;
using Key = RoundReference::Key;

QVariant Cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.index(row, column).data(role);
}
double Raw(const QAbstractItemModel& model, int row, int column) {
    return Cell(model, row, column, kSortRole).toDouble();
}
std::string Text(const QAbstractItemModel& model, int row, int column) {
    return Cell(model, row, column).toString().toStdString();
}
Key KeyOf(const QAbstractItemModel& model, int row, int market, int block) {
    return {Text(model, row, market), Cell(model, row, block).toString().trimmed().toStdString()};
}
// A percentage as a follower reads it: two decimals.
QString Percent(double value) {
    return QLocale().toString(value, 'f', 2) + "%";
}
// An optional figure: blank when missing.
void ExpectFigure(const QAbstractItemModel& model, int row, int column, std::optional<double> expected) {
    EXPECT_EQ(Cell(model, row, column).isValid(), expected.has_value()) << column;
    if (expected) {
        EXPECT_NEAR(Raw(model, row, column), *expected, 1e-6) << column;
    }
}

class OverviewRoundsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
        session.AddListener(&bids);
    }
    // The fixture auction with a licence that goes quiet after round 1, a rise of a hundredth of a percent
    // and a last round without bids.
    std::string FixtureAuction(int rounds) {
        fixture::AuctionOptions o;
        o.rounds = rounds;
        o.markets = 6;
        o.bidders = 5;
        o.bidsPerRound = 20;
        const std::string path = BuildAuctionDatabase(folder.Path(), o);
        RunSqlite(path,
                  "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount], "
                  "[Net Bid Amount]) VALUES "
                  "(1, 'ZZ Quiet', 'A', 'Quiet Holdings', 5000, 4000),"
                  "(1, 'ZZ Small', '  ', 'Quiet Holdings', 100000, 90000),"
                  "(2, 'ZZ Small', '  ', 'Quiet Holdings', 100010, 90009)");
        RunSqlite(path, "INSERT INTO sysRounds (Round) VALUES (" + std::to_string(rounds + 1) + ")");
        return path;
    }
    void Open(const std::string& path) {
        session.Open(path);
        window = ShowOverview(session, bids);
    }
    void Choose(int round) {
        ChooseRound(*window, round);
        ASSERT_EQ(window->ShownRound(), round);
    }
    void ExpectEveryRoundMatches() {
        const RoundReference ref = RoundReference::FromFile(session.Current()->Path());
        const std::vector<BidRow> rows = ReadRows(session.Current()->Data());
        for (bool net : {false, true}) {
            QTest::mouseClick(net ? window->optNet : window->optGross, Qt::LeftButton);
            WaitIdle(*window);
            for (int i = 0; i < window->cboRound->count(); ++i) {
                const int round = window->cboRound->itemData(i).toInt();
                SCOPED_TRACE("round " + std::to_string(round) + (net ? " net" : " gross"));
                Choose(round);
                ExpectMarkets(ref, round, net);
                ExpectChanges(ref, round, std::max(round - 1, 0), net);
                ExpectEligibility(ref, ExpectedRound(rows, round, net), round, net);
                ExpectPace(ref, round, net);
            }
        }
    }

    void ExpectMarkets(const RoundReference& ref, int round, bool net) {
        const auto leads = ref.LeadsAfter(round, net);
        const MarketsModel& m = *window->markets;
        ASSERT_EQ(m.rowCount(), static_cast<int>(leads.size()));
        for (int r = 0; r < m.rowCount(); ++r) {
            const Key key = KeyOf(m, r, MarketsModel::Market, MarketsModel::Block);
            EXPECT_EQ(Cell(m, r, MarketsModel::LastBid).toInt(), ref.LastBid(key, round, net));
            EXPECT_EQ(Cell(m, r, MarketsModel::Stood).toInt(), round - leads.at(key).since);
        }
    }

    void ExpectChanges(const RoundReference& ref, int round, int since, bool net) {
        const auto before = since > 0 ? ref.LeadsAfter(since, net) : std::map<Key, RoundReference::Lead>();
        const auto now = ref.LeadsAfter(round, net);
        struct Moved {
            int gained = 0, lost = 0;
            double held = 0;
        };
        std::map<std::string, Moved> moved;
        std::map<Key, std::string> kinds;
        for (const auto& [key, lead] : now) {
            const auto was = before.find(key);
            moved[lead.leader].held += lead.high;
            if (was != before.end()) moved[was->second.leader].held -= was->second.high;
            if (was == before.end()) {
                kinds[key] = "first bid";
                ++moved[lead.leader].gained;
            } else if (was->second.leader != lead.leader) {
                kinds[key] = "new leader";
                ++moved[lead.leader].gained;
                ++moved[was->second.leader].lost;
            } else if (was->second.high != lead.high) {
                kinds[key] = "higher bid";
            }
        }
        const ChangesModel& c = *window->changesPage->changes;
        ASSERT_EQ(c.rowCount(), static_cast<int>(kinds.size()));
        for (int r = 0; r < c.rowCount(); ++r) {
            const Key key = KeyOf(c, r, ChangesModel::Market, ChangesModel::Block);
            SCOPED_TRACE(key.first + "/" + key.second);
            ASSERT_TRUE(kinds.count(key));
            const auto was = before.find(key);
            const bool first = was == before.end();
            EXPECT_EQ(Text(c, r, ChangesModel::Change), kinds.at(key));
            EXPECT_EQ(Text(c, r, ChangesModel::LeaderBefore), first ? "" : was->second.leader);
            EXPECT_EQ(Text(c, r, ChangesModel::LeaderNow), now.at(key).leader);
            ExpectFigure(c, r, ChangesModel::HighBefore,
                         first ? std::nullopt : std::optional(was->second.high));
            EXPECT_NEAR(Raw(c, r, ChangesModel::HighNow), now.at(key).high, 1e-6);
            const double rise = now.at(key).high - (first ? 0 : was->second.high);
            EXPECT_NEAR(Raw(c, r, ChangesModel::Rise), rise, 1e-6);
            if (first || was->second.high == 0)
                EXPECT_FALSE(Cell(c, r, ChangesModel::RisePercent).isValid());
            else
                EXPECT_EQ(Cell(c, r, ChangesModel::RisePercent).toString(),
                          Percent(rise / was->second.high * 100));
        }
        const ChangeBiddersModel& b = *window->changesPage->bidders;
        std::erase_if(moved, [](const auto& m) {
            return m.second.gained == 0 && m.second.lost == 0 && std::abs(m.second.held) < 1e-6;
        });
        ASSERT_EQ(b.rowCount(), static_cast<int>(moved.size()));
        for (int r = 0; r < b.rowCount(); ++r) {
            const Moved& x = moved.at(Text(b, r, ChangeBiddersModel::Bidder));
            EXPECT_EQ(Cell(b, r, ChangeBiddersModel::Gained).toInt(), x.gained);
            EXPECT_EQ(Cell(b, r, ChangeBiddersModel::Lost).toInt(), x.lost);
            EXPECT_NEAR(Raw(b, r, ChangeBiddersModel::HeldChange), x.held, 1e-6);
        }
    }

    void ExpectEligibility(const RoundReference& ref, const Expected& standings, int round, bool /*net*/) {
        const EligibilityModel& e = *window->eligibilityPage->model;
        const std::vector<std::string> seen = ref.EligibilitySeen(round);
        const auto now = ref.EligibilityIn(round), before = ref.EligibilityIn(round - 1);
        ASSERT_EQ(e.rowCount(), static_cast<int>(seen.size()));
        auto figure = [](const auto& in, const std::string& name) {
            const auto it = in.find(name);
            return it == in.end() ? std::nullopt : it->second;
        };
        double total = 0;
        int stillIn = 0;
        for (int r = 0; r < e.rowCount(); ++r) {
            const std::string name = Text(e, r, EligibilityModel::Bidder);
            SCOPED_TRACE(name);
            ASSERT_NE(std::find(seen.begin(), seen.end(), name), seen.end());
            const std::optional<double> is = figure(now, name), was = figure(before, name);
            total += is.value_or(0);
            ExpectFigure(e, r, EligibilityModel::Eligibility, is);
            ExpectFigure(e, r, EligibilityModel::Previous, was);
            ExpectFigure(e, r, EligibilityModel::Change,
                         is && was ? std::optional(*is - *was) : std::nullopt);
            if (is && was && *was > 0) {
                EXPECT_EQ(Cell(e, r, EligibilityModel::ChangePercent).toString(),
                          Percent((*is - *was) / *was * 100));
            }
            const std::string status = ref.Status(name, round);
            EXPECT_EQ(Text(e, r, EligibilityModel::Status), status);
            stillIn += status != "out";
            const auto held = standings.bidders.find(name);
            const ExpectedBidder x = held == standings.bidders.end() ? ExpectedBidder() : held->second;
            EXPECT_EQ(Cell(e, r, EligibilityModel::Leads).toInt(), x.leads);
            EXPECT_NEAR(Raw(e, r, EligibilityModel::Held), x.held, 1e-6);
            EXPECT_EQ(Cell(e, r, EligibilityModel::Bids).toInt(), x.bids);
        }
        if (!ref.HasEligibility()) return;
        const QString summary = window->eligibilityPage->lblSummary->text();
        EXPECT_TRUE(summary.contains(overview::FormatAmount(total))) << summary.toStdString();
        EXPECT_TRUE(summary.contains(QStringLiteral(": %1 ").arg(stillIn))) << summary.toStdString();
        // The chart's total line is the table's total in the round shown.
        const auto* line =
            static_cast<QXYSeries*>(window->eligibilityPage->chart->Chart()->series().value(0));
        ASSERT_NE(line, nullptr);
        if (!now.empty()) {
            EXPECT_NEAR(line->points().back().y(), total, 1e-6);
        }
        EXPECT_LE(window->eligibilityPage->chart->Chart()->series().size(),
                  static_cast<qsizetype>(overview::kNamedBidders + 2));
    }

    void ExpectPace(const RoundReference& ref, int round, bool net) {
        const PaceModel& p = *window->pacePage->model;
        ASSERT_EQ(p.rowCount(), round);
        for (int r = 0; r < p.rowCount(); ++r) {
            const int n = Cell(p, r, PaceModel::Round).toInt();
            SCOPED_TRACE("pace of round " + std::to_string(n));
            const double standing = ref.StandingAfter(n, net), before = ref.StandingAfter(n - 1, net);
            EXPECT_NEAR(Raw(p, r, PaceModel::Standing), standing, 1e-6);
            EXPECT_NEAR(Raw(p, r, PaceModel::Change), standing - before, 1e-6);
            if (before > 0) {
                EXPECT_EQ(Cell(p, r, PaceModel::ChangePercent).toString(),
                          Percent((standing - before) / before * 100));
            }
            const int placed = ref.BidsIn(n, net);
            EXPECT_EQ(Raw(p, r, PaceModel::Bids), placed);
            EXPECT_EQ(Cell(p, r, PaceModel::Bids).toString().contains("no new bids"), placed == 0);
            EXPECT_EQ(Cell(p, r, PaceModel::LicencesBid).toInt(), ref.LicencesBidIn(n, net));
            EXPECT_EQ(Cell(p, r, PaceModel::WithHigh).toInt(),
                      static_cast<int>(ref.LeadsAfter(n, net).size()));
            EXPECT_EQ(Cell(p, r, PaceModel::LeaderChanges).toInt(), ref.LeaderChanges(n, net));
            std::optional<double> eligibility;
            for (const auto& [bidder, e] : ref.EligibilityIn(n))
                eligibility = eligibility.value_or(0) + e.value_or(0);
            ExpectFigure(p, r, PaceModel::Eligibility, eligibility);
        }
        // The chart's bars are the bids of each round.
        for (QAbstractSeries* s : window->pacePage->chart->Chart()->series())
            if (auto* bars = qobject_cast<QBarSeries*>(s)) {
                const QBarSet& set = *bars->barSets().value(0);
                ASSERT_EQ(set.count(), round + 1);  // from round 0, outside the axis
                for (int n = 1; n <= round; ++n) EXPECT_EQ(set.at(n), ref.BidsIn(n, net));
            }
    }

    TempFolder folder;
    ScriptedDesktop desktop;
    standings::AuctionBids bids;
    store::AuctionSession session;
    std::unique_ptr<frmOverview> window;
};

TEST_F(OverviewRoundsTest, FixtureAuctionMatchesTheCountInEveryRound) {
    Open(FixtureAuction(5));
    ExpectEveryRoundMatches();
    // The small rise is there and reads as such.
    Choose(2);
    const ChangesModel& c = *window->changesPage->changes;
    bool small = false;
    for (int r = 0; r < c.rowCount(); ++r)
        if (Text(c, r, ChangesModel::Market) == "ZZ Small")
            small = Cell(c, r, ChangesModel::RisePercent).toString() == Percent(0.01);
    EXPECT_TRUE(small);
}

TEST_F(OverviewRoundsTest, JetSampleAuctionMatchesTheCountInEveryRound) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    ASSERT_TRUE(ImportJetSample(samples, folder.Path(), desktop, session));
    Open(session.Current()->Path());
    ASSERT_TRUE(RoundReference::FromFile(session.Current()->Path()).HasEligibility());
    ExpectEveryRoundMatches();
}

TEST_F(OverviewRoundsTest, AnotherSinceRoundChangesTheChangesTab) {
    Open(FixtureAuction(5));
    Choose(4);
    const RoundReference ref = RoundReference::FromFile(session.Current()->Path());
    QComboBox& since = *window->changesPage->cboSince;
    EXPECT_EQ(since.currentData().toInt(), 3);
    window->tabs->setCurrentWidget(window->changesPage);
    since.setFocus();
    QTest::keyClick(&since, Qt::Key_Home);
    WaitIdle(*window);
    ASSERT_EQ(since.currentData().toInt(), 0);
    ExpectChanges(ref, 4, 0, false);
    QTest::keyClick(&since, Qt::Key_Down);
    WaitIdle(*window);
    ExpectChanges(ref, 4, 1, false);
    // Another amount keeps the choice.
    QTest::mouseClick(window->optNet, Qt::LeftButton);
    WaitIdle(*window);
    EXPECT_EQ(since.currentData().toInt(), 1);
    ExpectChanges(ref, 4, 1, true);
    // Two choices in a row: the first one's result, arriving late, is dropped.
    QTest::keyClick(&since, Qt::Key_End);
    QTest::keyClick(&since, Qt::Key_Up);
    WaitIdle(*window);
    ExpectChanges(ref, 4, 2, true);
}

TEST_F(OverviewRoundsTest, WithoutAnEligibilityTableTheTabSaysSoAndTheOthersWork) {
    const std::string path = FixtureAuction(4);
    RunSqlite(path,
              "DROP TABLE [Bidder Eligibility]; DELETE FROM sysSuppliedTables WHERE TableName = "
              "'Bidder Eligibility'");
    Open(path);
    window->tabs->setCurrentWidget(window->eligibilityPage);
    const QLabel& sentence = *window->eligibilityPage->lblNoTable;
    EXPECT_TRUE(sentence.isVisible());
    EXPECT_EQ(sentence.text().toStdString(), standings::NoEligibilityTableSentence());
    EXPECT_FALSE(window->eligibilityPage->grdEligibility->isVisible());
    EXPECT_FALSE(window->lblProblem->isVisible());
    const RoundReference ref = RoundReference::FromFile(path);
    ASSERT_FALSE(ref.HasEligibility());
    ExpectChanges(ref, 5, 4, false);
    ExpectPace(ref, 5, false);
    ExpectMarkets(ref, 5, false);
}

TEST_F(OverviewRoundsTest, StoodSortsAsNumbers) {
    Open(FixtureAuction(11));
    QTableView& grid = *window->grdMarkets;
    QHeaderView& header = *grid.horizontalHeader();
    grid.scrollTo(grid.model()->index(0, MarketsModel::Stood));
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                      QPoint(header.sectionViewportPosition(MarketsModel::Stood) + 4, header.height() / 2));
    ASSERT_EQ(header.sortIndicatorSection(), MarketsModel::Stood);
    std::vector<int> stood;
    for (int r = 0; r < grid.model()->rowCount(); ++r)
        stood.push_back(grid.model()->index(r, MarketsModel::Stood).data().toInt());
    EXPECT_TRUE(std::is_sorted(stood.begin(), stood.end()) || std::is_sorted(stood.rbegin(), stood.rend()));
    EXPECT_GE(*std::max_element(stood.begin(), stood.end()), 10);  // the quiet licence
    EXPECT_LT(*std::min_element(stood.begin(), stood.end()), 2);
}

TEST_F(OverviewRoundsTest, TheNewTablesCopyWithCtrlC) {
    Open(FixtureAuction(3));
    Choose(3);  // the last round has no bids, so nothing changed in it
    for (QTableView* view : {window->changesPage->grdChanges, window->changesPage->grdChangeBidders,
                             window->eligibilityPage->grdEligibility, window->pacePage->grdRounds}) {
        SCOPED_TRACE(view->objectName().toStdString());
        QWidget* tab = view;
        while (window->tabs->indexOf(tab) < 0) tab = tab->parentWidget();
        window->tabs->setCurrentWidget(tab);
        ASSERT_GT(view->model()->rowCount(), 0);
        view->selectRow(0);
        view->setFocus();
        QApplication::clipboard()->clear();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QApplication::clipboard()->text().split(u'\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[0].startsWith(view->model()->headerData(0, Qt::Horizontal).toString()));
        EXPECT_TRUE(lines[1].startsWith(view->model()->index(0, 0).data().toString()));
    }
}

}  // namespace
}  // namespace corv::test
