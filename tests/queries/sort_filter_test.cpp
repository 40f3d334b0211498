#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include <functional>

#include <sqlite3.h>

#include "engine/CorvError.h"
#include "queries/SortFilter.h"
#include "queries/frmTableActions.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "support/ViewerTest.h"
#include "viewer/frmFlexGrid.h"

using corv::frmFlexGrid;
using corv::frmTableActions;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class SortFilterTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        options_.rounds = 3;
        options_.bidsPerRound = 30;
        OpenAuction(
            "INSERT INTO [Markets and Bidders] VALUES (14, 1, 'Band \"C\" East', 'A', 'Arcadia Wireless', "
            "1234567.25, 1000000)");
        viewer_ = NewViewer();
        Show(*viewer_, 0);
    }

    void ChooseTable(const QString& name) {
        viewer_->ddlTableName->setCurrentIndex(viewer_->ddlTableName->findText(name));
    }
    // The next Sort or Filter runs this on the shown dialog instead of waiting for a user.
    void Script(std::function<void(frmTableActions&)> user) {
        desktop_.Modal([user](corv::ModalDialog& d) { user(dynamic_cast<frmTableActions&>(d)); });
    }
    static void Key(frmTableActions& d, const QString& column, bool ascending = true) {
        d.lstSource->setCurrentItem(d.lstSource->findItems(column, Qt::MatchExactly).value(0));
        d.lstSource_DblClick();
        d.lstSortCols->item(d.lstSortCols->count() - 1)
            ->setCheckState(ascending ? Qt::Checked : Qt::Unchecked);
    }
    // Condition row (0-based) chosen as a user does: the column, then a value its list offers.
    static void Condition(frmTableActions& d, int row, const QString& column, const QString& op,
                          const QString& value) {
        d.lstFiltCol[row]->setCurrentIndex(d.lstFiltCol[row]->findText(column));
        d.lstFiltCol_Click(row);
        ASSERT_TRUE(QTest::qWaitFor([&d, row] { return !d.ListingValues(row); }));
        d.lstOp[row]->setCurrentText(op);
        const int i = d.txtFilter[row]->findText(value);
        ASSERT_GE(i, 0) << value.toStdString();
        d.txtFilter[row]->setCurrentIndex(i);
    }
    Rows Shown(const std::vector<std::string>& columns) {
        auto rs = viewer_->WholeResult();
        Rows rows;
        for (std::size_t r = 0; r < rs->RowCount(); ++r) {
            std::vector<std::string> row;
            for (const std::string& c : columns) row.push_back(rs->Cell(r, rs->FieldIndex(c)).toString());
            rows.push_back(row);
        }
        return rows;
    }
    // The same rows as SQLite itself selects and orders them.
    Rows Expected(const std::string& sql, std::size_t columns) {
        Rows rows;
        sqlite3_stmt* st = nullptr;
        sqlite3* db = nullptr;
        sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (std::size_t c = 0; c < columns; ++c) {
                const int type = sqlite3_column_type(st, static_cast<int>(c));
                if (type == SQLITE_INTEGER)
                    row.push_back(std::to_string(sqlite3_column_int64(st, static_cast<int>(c))));
                else if (type == SQLITE_FLOAT)
                    row.push_back(corv::Value(sqlite3_column_double(st, static_cast<int>(c))).toString());
                else if (type == SQLITE_NULL)
                    row.push_back("");
                else
                    row.push_back(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(c))));
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return rows;
    }
};

const std::vector<std::string> kBidColumns = {"Market", "Bid Amount", "Bidder Name", "Round"};
const char* const kBidSelect =
    "SELECT Market, [Bid Amount], [Bidder Name], Round FROM [Markets and Bidders] ";

TEST_F(SortFilterTest, SortOrdersTheShownRoundByTickedAndUntickedKeys) {
    Script([](frmTableActions& d) {
        EXPECT_EQ(d.SSTab1->currentIndex(), 0);
        EXPECT_FALSE(d.SSTab1->isTabEnabled(2));
        Key(d, "Market");
        Key(d, "Bid Amount", false);
    });
    corv::TableSort(*viewer_);
    // rowid keeps rows with equal keys in their table order, as the engine's sort does.
    EXPECT_EQ(Shown(kBidColumns),
              Expected(std::string(kBidSelect) +
                           "WHERE Round = 1 ORDER BY Market COLLATE NOCASE, [Bid Amount] DESC, rowid",
                       4));
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(SortFilterTest, FilterOfThePartsExampleThenSortAndOkAgainGivesTheSameRows) {
    Script([](frmTableActions& d) {
        EXPECT_EQ(d.SSTab1->currentIndex(), 1);
        Condition(d, 0, "Bidder Name", "=", "O'Brien Wireless");
        Condition(d, 1, "Round", ">=", "1");
        Key(d, "Bid Amount");
    });
    corv::TableFilt(*viewer_);
    const Rows expected = Expected(std::string(kBidSelect) +
                                       "WHERE Round = 1 AND [Bidder Name] = 'O''Brien Wireless' "
                                       "ORDER BY [Bid Amount], rowid",
                                   4);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Shown(kBidColumns), expected);

    Script([](frmTableActions&) {});
    corv::TableSort(*viewer_);
    EXPECT_EQ(Shown(kBidColumns), expected);
    EXPECT_TRUE(desktop_.boxes.empty()) << desktop_.boxes[0].text;
}

TEST_F(SortFilterTest, FiltersAccumulateOverTheRowsShown) {
    Script([](frmTableActions& d) { Condition(d, 0, "Bidder Name", "=", "O'Brien Wireless"); });
    corv::TableFilt(*viewer_);
    ASSERT_GT(Shown(kBidColumns).size(), 0u);
    // Or widens only within the rows already shown.
    Script([](frmTableActions& d) {
        Condition(d, 0, "Bidder Name", "=", "Arcadia Wireless");
        d.lstAndOr[0]->setCurrentText("Or");
        Condition(d, 1, "Bidder Name", "=", "Bluewater PCS");
    });
    corv::TableFilt(*viewer_);
    EXPECT_TRUE(Shown(kBidColumns).empty());
}

TEST_F(SortFilterTest, CancelKeepsGridAndChoices) {
    const Rows before = Shown(kBidColumns);
    Script([](frmTableActions& d) {
        Key(d, "Market", false);
        Condition(d, 0, "Round", "=", "1");
        d.cmdCancel_Click();
    });
    corv::TableSort(*viewer_);
    EXPECT_EQ(Shown(kBidColumns), before);
    ASSERT_NE(corv::SortFilterDialog(*viewer_), nullptr);
    EXPECT_FALSE(corv::SortFilterDialog(*viewer_)->Cancelled);

    Script([](frmTableActions& d) {
        ASSERT_EQ(d.lstSortCols->count(), 1);
        EXPECT_EQ(d.lstSortCols->item(0)->checkState(), Qt::Unchecked);
        EXPECT_EQ(d.txtFilter[0]->currentText(), "1");
    });
    corv::TableFilt(*viewer_);
    EXPECT_EQ(
        Shown(kBidColumns),
        Expected(std::string(kBidSelect) + "WHERE Round = 1 ORDER BY Market COLLATE NOCASE DESC, rowid", 4));
}

TEST_F(SortFilterTest, ResetShowsTheTableAsLoadedAndEmptiesTheSortList) {
    const Rows loaded = Shown(kBidColumns);
    Script([](frmTableActions& d) {
        Key(d, "Bid Amount", false);
        Condition(d, 0, "Bidder Name", "=", "O'Brien Wireless");
    });
    corv::TableSort(*viewer_);
    ASSERT_NE(Shown(kBidColumns), loaded);

    corv::TableReset(*viewer_);
    EXPECT_EQ(Shown(kBidColumns), loaded);
    Script([this](frmTableActions& d) {
        EXPECT_EQ(d.lstSortCols->count(), 0);
        EXPECT_EQ(d.lstSource->count(), viewer_->WholeResult()->FieldCount());
        EXPECT_TRUE(d.lstFiltCol[0]->currentText().isEmpty());
        EXPECT_EQ(d.txtFilter[0]->count(), 0);
    });
    corv::TableSort(*viewer_);
    EXPECT_EQ(Shown(kBidColumns), loaded);
}

TEST_F(SortFilterTest, RoundChangeReappliesFilterThenSortUntilTheTableChanges) {
    Script([](frmTableActions& d) {
        Condition(d, 0, "Bidder Name", "<>", "O'Brien Wireless");
        Key(d, "Bid Amount", false);
    });
    corv::TableFilt(*viewer_);
    viewer_->ddlRoundNum->setCurrentIndex(1);
    EXPECT_EQ(Shown(kBidColumns),
              Expected(std::string(kBidSelect) + "WHERE Round = 2 AND [Bidder Name] <> 'O''Brien Wireless' "
                                                 "ORDER BY [Bid Amount] DESC, rowid",
                       4));

    ChooseTable("Bidder Eligibility");
    ChooseTable("Markets and Bidders");
    viewer_->ddlRoundNum->setCurrentIndex(2);
    EXPECT_EQ(Shown(kBidColumns), Expected(std::string(kBidSelect) + "WHERE Round = 3 ORDER BY rowid", 4));
}

TEST_F(SortFilterTest, RoundChangeReappliesWhatOkChoseNotWhatCancelLeftInTheDialog) {
    Script([](frmTableActions& d) { Key(d, "Market"); });
    corv::TableSort(*viewer_);
    Script([](frmTableActions& d) {
        Condition(d, 0, "Bidder Name", "=", "O'Brien Wireless");
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    corv::TableFilt(*viewer_);
    viewer_->ddlRoundNum->setCurrentIndex(1);
    EXPECT_EQ(Shown(kBidColumns),
              Expected(std::string(kBidSelect) + "WHERE Round = 2 ORDER BY Market COLLATE NOCASE, rowid", 4));
}

TEST_F(SortFilterTest, PickedValuesFilterBackOnTheirOwnRows) {
    // A quote inside the value, money with cents beyond a thousand, an account number kept as text.
    Script([](frmTableActions& d) { Condition(d, 0, "Market", "=", "Band \"C\" East"); });
    corv::TableFilt(*viewer_);
    EXPECT_EQ(Shown(kBidColumns).size(), 1u);
    corv::TableReset(*viewer_);
    Script([](frmTableActions& d) { Condition(d, 0, "Bid Amount", "=", "1234567.25"); });
    corv::TableFilt(*viewer_);
    EXPECT_EQ(Shown(kBidColumns).size(), 1u);

    ChooseTable("Bidder Eligibility");
    const std::string account =
        Expected("SELECT [Orvane Acct] FROM [Bidder Eligibility] WHERE Round = 1 LIMIT 1", 1).at(0).at(0);
    Script([&account](frmTableActions& d) {
        Condition(d, 0, "Orvane Acct", "=", QString::fromStdString(account));
    });
    corv::TableFilt(*viewer_);
    EXPECT_EQ(
        Shown({"Orvane Acct"}),
        Expected("SELECT [Orvane Acct] FROM [Bidder Eligibility] WHERE Round = 1 AND [Orvane Acct] = '" +
                     account + "'",
                 1));
    EXPECT_TRUE(desktop_.boxes.empty()) << desktop_.boxes[0].text;
}

TEST_F(SortFilterTest, PickedDateAndBooleanFilterBack) {
    for (const auto& [table, column] :
         {std::pair{"Miscellaneous Statistics", "Recorded"}, std::pair{"Waiver Statistics", "Proactive"}}) {
        ChooseTable(table);
        const std::size_t all = Shown({column}).size();
        QString picked;
        Script([&picked, column = QString(column)](frmTableActions& d) {
            d.lstFiltCol[0]->setCurrentIndex(d.lstFiltCol[0]->findText(column));
            d.lstFiltCol_Click(0);
            ASSERT_TRUE(QTest::qWaitFor([&d] { return !d.ListingValues(0); }));
            d.txtFilter[0]->setCurrentIndex(0);
            picked = d.txtFilter[0]->currentText();
        });
        corv::TableFilt(*viewer_);
        const Rows shown = Shown({column});
        EXPECT_GT(shown.size(), 0u) << column << " = " << picked.toStdString();
        EXPECT_LE(shown.size(), all);
        EXPECT_TRUE(desktop_.boxes.empty()) << desktop_.boxes[0].text;
    }
}

TEST_F(SortFilterTest, FailureWhileTheDialogIsShownGivesFormA) {
    const Rows before = Shown(kBidColumns);
    desktop_.Modal([](corv::ModalDialog&) { throw corv::CorvError(3021, "No current record."); });
    corv::TableSort(*viewer_);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.LastBox().text, "Error 3021: No current record.");
    EXPECT_EQ(Shown(kBidColumns), before);
}

TEST_F(SortFilterTest, FilterBeginningWithAJoinerIsRefusedWithFormB) {
    const Rows before = Shown(kBidColumns);
    Script([](frmTableActions& d) {
        d.lstFiltCol[0]->setCurrentIndex(d.lstFiltCol[0]->findText("Market"));  // no value
        Condition(d, 1, "Round", "=", "1");
    });
    corv::TableFilt(*viewer_);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error:3075 ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(desktop_.LastBox().icon, corv::MsgIcon::None);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
    EXPECT_EQ(Shown(kBidColumns), before);
}

TEST_F(SortFilterTest, ViewerWithoutRoundIgnoresTheFilter) {
    const Rows before = Shown(kBidColumns);
    viewer_->ddlRoundNum->setCurrentIndex(-1);
    Script([](frmTableActions& d) { Condition(d, 0, "Bidder Name", "=", "O'Brien Wireless"); });
    corv::TableFilt(*viewer_);
    EXPECT_EQ(Shown(kBidColumns), before);
    EXPECT_TRUE(desktop_.boxes.empty());
}

}  // namespace
