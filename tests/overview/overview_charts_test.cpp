// The three charts: their series against the row-by-row count, drawn offscreen to PNG and SVG.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QHelpEvent>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <cmath>

#include "OverviewTestSupport.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewModels.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using overview::frmOverview;

class OverviewChartsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
        session.AddListener(&bids);
        fixture::AuctionOptions o;
        o.rounds = 6;
        o.markets = 5;
        o.bidders = 4;
        o.bidsPerRound = 12;
        path = BuildAuctionDatabase(folder.Path(), o);
        session.Open(path);
        rows = ReadRows(session.Current()->Data());
        window = ShowOverview(session, bids);
    }
    QList<QPointF> Points(const QString& name) {
        for (QAbstractSeries* s : window->charts->Chart()->series())
            if (s->name() == name) return static_cast<QXYSeries*>(s)->points();
        ADD_FAILURE() << "no series " << name.toStdString();
        return {};
    }
    // Saves through the chart's own Save command and checks the files are what they claim.
    void ExpectSavesAsPngAndSvg(const std::string& stem) {
        const std::string png = folder.File(stem + ".png"), svg = folder.File(stem + ".svg");
        desktop.SaveFile(png);
        QTest::mouseClick(window->charts->cmdSave, Qt::LeftButton);
        desktop.SaveFile(svg);
        QTest::mouseClick(window->charts->cmdSave, Qt::LeftButton);
        QFile p(QString::fromStdString(png)), v(QString::fromStdString(svg));
        ASSERT_TRUE(p.open(QIODevice::ReadOnly));
        EXPECT_TRUE(p.read(8).startsWith("\x89PNG"));
        ASSERT_TRUE(v.open(QIODevice::ReadOnly));
        const QByteArray text = v.readAll();
        EXPECT_TRUE(text.contains("<svg"));
        EXPECT_TRUE(text.contains(window->charts->Chart()->title().toUtf8().left(20)));
        EXPECT_TRUE(desktop.boxes.empty());
    }

    TempFolder folder;
    ScriptedDesktop desktop;
    std::string path;
    std::vector<BidRow> rows;
    standings::AuctionBids bids;
    store::AuctionSession session;
    std::unique_ptr<frmOverview> window;
};

TEST_F(OverviewChartsTest, AChartIsNeverSavedOverTheAuction) {
    const long long bids = QueryCount(path, "SELECT count(*) FROM [Markets and Bidders]");
    desktop.SaveFile(path);
    QTest::mouseClick(window->charts->cmdSave, Qt::LeftButton);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].title, "Save Chart");
    EXPECT_EQ(QueryCount(path, "SELECT count(*) FROM [Markets and Bidders]"), bids);
}

TEST_F(OverviewChartsTest, TotalChartHasTheStandingTotalOfEveryRoundAndMarksTheChosenOne) {
    window->cboRound->setCurrentIndex(window->cboRound->findData(4));
    WaitIdle(*window);
    const QList<QPointF> line = Points("Standing total");
    ASSERT_EQ(line.size(), 6);
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(line[r - 1].x(), r);
        EXPECT_NEAR(line[r - 1].y(), ExpectedRound(rows, r, false).standing, 1e-6) << r;
    }
    EXPECT_EQ(Points("Round 4"), (QList<QPointF>{line[3]}));
    ExpectSavesAsPngAndSvg("total");
}

TEST_F(OverviewChartsTest, MarketChartStepsThroughItsHighBidsAndShowsEveryBidByBidder) {
    QTableView& grid = *window->grdMarkets;
    const QModelIndex first = grid.model()->index(0, 0);
    const std::string market = first.data().toString().toStdString();
    const std::string block = grid.model()->index(0, 1).data().toString().toStdString();
    grid.setCurrentIndex(first);
    QTest::keyClick(&grid, Qt::Key_Return);  // as a double-click does
    WaitIdle(*window);
    EXPECT_EQ(window->tabs->currentWidget(), window->charts);
    ASSERT_EQ(window->ShownChart(), frmOverview::ChartKind::Market);

    // The step line's level after each round is the count's high bid then.
    const QList<QPointF> step = Points("High bid");
    for (int r = 1; r <= 6; ++r) {
        const auto& markets = ExpectedRound(rows, r, false).markets;
        const auto it = markets.find({market, block});
        double level = std::nan("");
        for (const QPointF& p : step)
            if (p.x() <= r) level = p.y();
        if (it == markets.end())
            EXPECT_TRUE(std::isnan(level)) << r;
        else
            EXPECT_DOUBLE_EQ(level, it->second.high) << r;
    }
    // Every bid on it is a point of its bidder's series.
    std::map<std::string, QList<QPointF>> bids;
    for (const BidRow& row : rows)
        if (row.market == market && (row.block == "  " ? "" : row.block) == block && row.gross)
            bids[row.bidder.value_or("")].append(QPointF(row.round, *row.gross));
    for (const auto& [bidder, points] : bids)
        EXPECT_EQ(Points(QString::fromStdString(bidder)), points) << bidder;
    EXPECT_EQ(overview::BidPointText("D'Arcy Mobile", 3, 1234567), "D'Arcy Mobile\nRound 3\n1,234,567");
    // Hovering a bid's dot tells that bid.
    QChart* chart = window->charts->Chart();
    QWidget* viewport = window->charts->View()->viewport();
    const auto& [bidder, points] = *bids.begin();
    for (QAbstractSeries* s : chart->series()) {
        if (s->name() != QString::fromStdString(bidder)) continue;
        const QPoint at = window->charts->View()->mapFromScene(
            chart->mapToScene(chart->mapToPosition(points.front(), static_cast<QXYSeries*>(s))));
        QHelpEvent hover(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &hover);
        EXPECT_EQ(QToolTip::text(), overview::BidPointText(QString::fromStdString(bidder),
                                                           qRound(points.front().x()), points.front().y()));
    }
    ExpectSavesAsPngAndSvg("market");
}

TEST_F(OverviewChartsTest, BidderChartHasTheHighBidsItHoldsAndHowManyItLeads) {
    window->tabs->setCurrentIndex(1);
    QTableView& grid = *window->grdBidders;
    const QModelIndex first = grid.model()->index(0, 0);
    const std::string bidder = first.data().toString().toStdString();
    const QPoint at = grid.visualRect(first).center();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    WaitIdle(*window);
    ASSERT_EQ(window->ShownChart(), frmOverview::ChartKind::Bidder);
    const QList<QPointF> held = Points("Sum of high bids held"), leads = Points("Markets and blocks led");
    ASSERT_EQ(held.size(), 6);
    for (int r = 1; r <= 6; ++r) {
        const Expected e = ExpectedRound(rows, r, false);
        const auto it = e.bidders.find(bidder);
        EXPECT_NEAR(held[r - 1].y(), it == e.bidders.end() ? 0 : it->second.held, 1e-6) << r;
        EXPECT_EQ(leads[r - 1].y(), it == e.bidders.end() ? 0 : it->second.leads) << r;
    }
    ExpectSavesAsPngAndSvg("bidder");
    QTest::mouseClick(window->charts->cmdTotal, Qt::LeftButton);
    EXPECT_EQ(window->ShownChart(), frmOverview::ChartKind::Total);
}

TEST(RoundAxisTest, LabelsTheFirstAndTheLastRoundAndWholeRoundsBetween) {
    TestApp();
    for (int rounds : {6, 40, 41, 301}) {
        SCOPED_TRACE(rounds);
        const std::unique_ptr<QChart> chart(
            overview::BuildChart(overview::TotalChartData(std::vector<double>(rounds, 1e6), rounds, {})));
        auto* axis = qobject_cast<QCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
        ASSERT_NE(axis, nullptr);
        const QStringList labels = axis->categoriesLabels();
        ASSERT_FALSE(labels.isEmpty());
        EXPECT_EQ(labels.front(), "1");
        EXPECT_EQ(labels.back(), QString::number(rounds));
        EXPECT_LE(labels.size(), 12);
        for (const QString& label : labels)
            EXPECT_EQ(axis->endValue(label), label.toInt()) << label.toStdString();
        EXPECT_LE(axis->min(), 1);
        EXPECT_GE(axis->max(), rounds);
    }
}

}  // namespace
}  // namespace corv::test
