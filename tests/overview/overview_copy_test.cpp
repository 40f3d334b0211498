// Copy and export of the overview's tables, through the keys and the context menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include "OverviewTestSupport.h"
#include "overview/OverviewModels.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using overview::frmOverview;
using overview::MarketsModel;

// RFC 4180 read back: quoted fields may hold commas, doubled quotes and line breaks.
std::vector<QStringList> ReadCsv(const QString& text) {
    std::vector<QStringList> rows(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            rows.back() << std::exchange(field, {});
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            rows.back() << std::exchange(field, {});
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    if (rows.back().isEmpty()) rows.pop_back();
    return rows;
}

QStringList ShownRow(const QAbstractItemModel& model, int row) {
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << (row < 0 ? model.headerData(c, Qt::Horizontal).toString()
                          : model.index(row, c).data().toString());
    return cells;
}

class OverviewCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
        session.AddListener(&bids);
        fixture::AuctionOptions o;
        o.rounds = 3;
        o.markets = 6;
        o.bidders = 5;
        path = BuildAuctionDatabase(folder.Path(), o);
        RunSqlite(path,
                  "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount], "
                  "[Net Bid Amount]) VALUES (3, 'ZZ Quote', 'A', 'Rook \"Wireless\", Inc.', 123456, 100000)");
        session.Open(path);
        window = ShowOverview(session, bids);
        QApplication::setActiveWindow(window.get());
    }
    void ClickRow(QTableView* view, int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                          view->visualRect(view->model()->index(row, 0)).center());
    }

    // Opens the table's context menu from the keyboard and presses the entry's key.
    void ChooseFromMenu(QTableView* view, Qt::Key entry) {
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        auto* menu = view->findChild<QMenu*>();
        ASSERT_TRUE(menu && menu->isVisible());
        QTest::keyClick(menu, entry);
    }

    TempFolder folder;
    ScriptedDesktop desktop;
    standings::AuctionBids bids;
    store::AuctionSession session;
    std::string path;
    std::unique_ptr<frmOverview> window;
};

TEST_F(OverviewCopyTest, CtrlCCopiesTheSpannedRowsWithHeadersBlankWhereNotSelected) {
    QTableView* view = window->grdBidders;
    const QAbstractItemModel& model = *view->model();
    ASSERT_GE(model.rowCount(), 4);
    ClickRow(view, 1);
    ClickRow(view, 3, Qt::ControlModifier);
    view->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);

    const QStringList blank(model.columnCount(), QString());
    const QString expected = ShownRow(model, -1).join(u'\t') + u'\n' + ShownRow(model, 1).join(u'\t') +
                             u'\n' + blank.join(u'\t') + u'\n' + ShownRow(model, 3).join(u'\t') + u'\n';
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
}

TEST_F(OverviewCopyTest, ExportFromTheContextMenuWritesTheTableAsSortedAndFiltered) {
    QTableView* view = window->grdMarkets;
    const QAbstractItemModel& model = *view->model();
    // A market sold in blocks, so that the filter leaves several rows for the sort to turn round.
    QString blocked;
    for (int r = 0; r < model.rowCount() && blocked.isEmpty(); ++r)
        if (model.index(r, MarketsModel::Block).data().toString() == "B")
            blocked = model.index(r, MarketsModel::Market).data().toString();
    window->txtFilter->setText(blocked);
    view->sortByColumn(MarketsModel::Block, Qt::DescendingOrder);
    ASSERT_GT(model.rowCount(), 1);
    ASSERT_LT(model.rowCount(), window->markets->rowCount());

    desktop.SaveFile(folder.File("markets"));
    ChooseFromMenu(view, Qt::Key_E);

    QFile file(QString::fromStdString(folder.File("markets.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::vector<QStringList> rows = ReadCsv(QString::fromUtf8(file.readAll()));
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(model.rowCount() + 1));
    for (int r = -1; r < model.rowCount(); ++r)
        EXPECT_EQ(rows[static_cast<std::size_t>(r + 1)], ShownRow(model, r));
    EXPECT_EQ(desktop.LastBox().title, "Operation Complete");
}

TEST_F(OverviewCopyTest, ExportNeverWritesOverADatabase) {
    desktop.SaveFile(path);
    ChooseFromMenu(window->grdBidders, Qt::Key_E);
    EXPECT_NE(desktop.LastBox().text.find("holds a database"), std::string::npos);
    EXPECT_GT(QueryCount(path, "SELECT COUNT(*) FROM sysRounds"), 0);
}

}  // namespace
}  // namespace corv::test
