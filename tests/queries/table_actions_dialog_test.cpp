#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "queries/frmTableActions.h"
#include "store/Auction.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

using corv::DragList;
using corv::frmTableActions;

namespace {

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList Entries(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
}

void Select(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << text.toStdString();
    list->setCurrentItem(found.first());
}

class TableActionsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop_.Install();
        dialog_.ClearColumnLists();
        for (const char* c : {"Round", "Market", "Bidder Name"}) dialog_.AddColumn(c);
    }

    bool app_ = (corv::test::TestApp(), true);  // before any widget member
    corv::test::ScriptedDesktop desktop_;
    QString table_ = QStringLiteral("Markets and Bidders");
    corv::store::AuctionSession session_;
    frmTableActions dialog_{[this] { return table_; }, nullptr, [this] { return session_.Current(); }};
};

TEST_F(TableActionsDialogTest, CreatedWithEqualsAndAndChosenAndNothingElse) {
    frmTableActions fresh{[] { return QString(); }};
    for (int r = 0; r < frmTableActions::kFilterRows; ++r) {
        EXPECT_EQ(fresh.lstOp[r]->currentIndex(), 0);
        EXPECT_EQ(fresh.lstFiltCol[r]->count(), 0);
        EXPECT_EQ(fresh.txtFilter[r]->currentIndex(), -1);
    }
    for (QComboBox* joiner : fresh.lstAndOr) EXPECT_EQ(joiner->currentIndex(), 0);
    EXPECT_TRUE(fresh.chkIncludeAll->isChecked());
    EXPECT_TRUE(fresh.cmdOK->isDefault());
    EXPECT_FALSE(fresh.Cancelled);
    // Filling the column lists chooses no column.
    for (QComboBox* col : dialog_.lstFiltCol) EXPECT_TRUE(col->currentText().isEmpty());
}

TEST_F(TableActionsDialogTest, NoTextIsCutOffOnAnyTab) {
    dialog_.show();
    for (int tab = 0; tab < dialog_.SSTab1->count(); ++tab) {
        QWidget* page = dialog_.SSTab1->widget(tab);
        for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
            }
            EXPECT_TRUE(page->rect().contains(w->geometry())) << w->objectName().toStdString();
        }
    }
    // The right-aligned name label ends before its text box.
    EXPECT_LE(dialog_.lblTableName->geometry().right(), dialog_.txtTableName->geometry().left());
    dialog_.hide();
}

TEST_F(TableActionsDialogTest, DoubleClicksMoveBetweenSortLists) {
    dialog_.lstSource_DblClick();  // nothing selected
    EXPECT_EQ(Entries(dialog_.lstSource), QStringList({"Round", "Market", "Bidder Name"}));

    Select(dialog_.lstSource, "Market");
    dialog_.lstSource_DblClick();
    ASSERT_EQ(Entries(dialog_.lstSortCols), QStringList({"Market"}));
    EXPECT_EQ(dialog_.lstSortCols->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(Entries(dialog_.lstSource), QStringList({"Round", "Bidder Name"}));

    dialog_.lstSortCols->item(0)->setCheckState(Qt::Unchecked);
    Select(dialog_.lstSortCols, "Market");
    dialog_.lstSortCols_DblClick();
    EXPECT_EQ(Entries(dialog_.lstSource), QStringList({"Round", "Bidder Name", "Market"}));
    EXPECT_EQ(dialog_.lstSortCols->count(), 0);

    // Back again it arrives ticked: the untick was forgotten.
    Select(dialog_.lstSource, "Market");
    dialog_.lstSource_DblClick();
    EXPECT_EQ(dialog_.lstSortCols->item(0)->checkState(), Qt::Checked);
}

TEST_F(TableActionsDialogTest, EnterOrSpaceMovesAnEntryWithoutPressingOK) {
    dialog_.show();
    for (const char* c : {"Round", "Market"}) dialog_.lstSourceTable->addItem(c);
    Select(dialog_.lstSource, "Market");
    QTest::keyClick(dialog_.lstSource, Qt::Key_Return);
    Select(dialog_.lstSource, "Round");
    QTest::keyClick(dialog_.lstSource, Qt::Key_Space);
    EXPECT_EQ(Entries(dialog_.lstSortCols), QStringList({"Market", "Round"}));

    // In the sort columns Space ticks the ascending box; Enter moves the entry back.
    Select(dialog_.lstSortCols, "Round");
    QTest::keyClick(dialog_.lstSortCols, Qt::Key_Space);
    EXPECT_EQ(dialog_.lstSortCols->item(1)->checkState(), Qt::Unchecked);
    QTest::keyClick(dialog_.lstSortCols, Qt::Key_Enter);
    EXPECT_EQ(Entries(dialog_.lstSortCols), QStringList({"Market"}));

    Select(dialog_.lstSourceTable, "Market");
    QTest::keyClick(dialog_.lstSourceTable, Qt::Key_Return);
    EXPECT_EQ(Entries(dialog_.lstTargetTable), QStringList({"Market"}));
    Select(dialog_.lstTargetTable, "Market");
    QTest::keyClick(dialog_.lstTargetTable, Qt::Key_Space);
    EXPECT_EQ(dialog_.lstTargetTable->count(), 0);

    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_NE(dialog_.result(), QDialog::Accepted);
    dialog_.hide();
}

TEST_F(TableActionsDialogTest, DropMovesOnlyWhenItComesFromTheOtherList) {
    Select(dialog_.lstSource, "Bidder Name");
    dialog_.lstSource->BeginDrag();
    dialog_.lstSource_DragDrop();  // dropped where it began
    EXPECT_EQ(dialog_.lstSortCols->count(), 0);
    EXPECT_TRUE(dialog_.lstSource->Tag.isEmpty());

    dialog_.lstSource->BeginDrag();
    dialog_.lstSortCols_DragDrop();
    EXPECT_EQ(Entries(dialog_.lstSortCols), QStringList({"Bidder Name"}));
    EXPECT_EQ(dialog_.lstSortCols->item(0)->checkState(), Qt::Checked);
    EXPECT_TRUE(dialog_.lstSource->Tag.isEmpty());

    Select(dialog_.lstSortCols, "Bidder Name");
    dialog_.lstSortCols->BeginDrag();
    dialog_.lstSource_DragDrop();
    EXPECT_EQ(Entries(dialog_.lstSource), QStringList({"Round", "Market", "Bidder Name"}));
    EXPECT_TRUE(dialog_.lstSortCols->Tag.isEmpty());
}

TEST_F(TableActionsDialogTest, WizardTargetListIsMirroredIntoFilterColumnsAndSortSource) {
    frmTableActions wizard{[] { return QString(); }};
    for (const char* c : {"Round", "Market", "Bidder Name"}) wizard.lstSourceTable->addItem(c);
    const auto mirrored = [&wizard](const QStringList& expected) {
        EXPECT_EQ(Entries(wizard.lstTargetTable), expected);
        EXPECT_EQ(Entries(wizard.lstSource), expected);
        for (QComboBox* col : wizard.lstFiltCol) EXPECT_EQ(Entries(col), expected);
    };

    Select(wizard.lstSourceTable, "Market");
    wizard.lstSourceTable_DblClick();
    Select(wizard.lstSourceTable, "Round");
    wizard.lstSourceTable->BeginDrag();
    wizard.lstTargetTable_DragDrop();
    mirrored({"Market", "Round"});
    EXPECT_EQ(Entries(wizard.lstSourceTable), QStringList({"Bidder Name"}));

    Select(wizard.lstTargetTable, "Market");
    wizard.lstTargetTable->BeginDrag();
    wizard.lstTargetTable_DragDrop();  // onto its own list
    mirrored({"Market", "Round"});
    wizard.lstSourceTable_DragDrop();
    mirrored({"Round"});
    EXPECT_EQ(Entries(wizard.lstSourceTable), QStringList({"Bidder Name", "Market"}));
}

TEST_F(TableActionsDialogTest, RemovedWizardColumnLeavesSortSourceAndItsFilterRowsOnly) {
    frmTableActions wizard{[] { return QString(); }};
    for (const char* c : {"Round", "Market", "Bidder Name"}) wizard.lstSourceTable->addItem(c);
    for (const char* c : {"Round", "Market", "Bidder Name"}) {
        Select(wizard.lstSourceTable, c);
        wizard.lstSourceTable_DblClick();
    }
    const char* chosen[] = {"Market", "Bidder Name", "Round", ""};
    for (int r = 0; r < 4; ++r)
        wizard.lstFiltCol[r]->setCurrentIndex(wizard.lstFiltCol[r]->findText(chosen[r]));
    Select(wizard.lstSource, "Market");
    wizard.lstSource_DblClick();  // the sort tab breaks the mirror

    Select(wizard.lstTargetTable, "Market");
    wizard.lstTargetTable_DblClick();
    Select(wizard.lstSourceTable, "Market");
    wizard.lstSourceTable_DblClick();  // back again, last
    const char* after[] = {"", "Bidder Name", "Round", ""};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(wizard.lstFiltCol[r]->currentText(), after[r]) << "row " << r + 1;
    EXPECT_EQ(Entries(wizard.lstSource), QStringList({"Round", "Bidder Name", "Market"}));
    EXPECT_EQ(Entries(wizard.lstSortCols), QStringList({"Market"}));
}

TEST_F(TableActionsDialogTest, EscapeOrCloseBoxCountsAsCancel) {
    dialog_.show();
    QTest::keyClick(&dialog_, Qt::Key_Escape);
    EXPECT_TRUE(dialog_.Cancelled);
    EXPECT_FALSE(dialog_.isVisible());
}

TEST_F(TableActionsDialogTest, OpensOnTheShownTabsFirstControlForTheKeyboard) {
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    QTest::keyClick(dialog_.windowHandle(), Qt::Key_Down);
    EXPECT_EQ(dialog_.lstSource->currentRow(), 1);
    QTest::keyClick(dialog_.windowHandle(), Qt::Key_Return);
    EXPECT_EQ(Entries(dialog_.lstSortCols), QStringList({"Market"}));
    EXPECT_TRUE(dialog_.isVisible());
    dialog_.hide();

    dialog_.SSTab1->setCurrentIndex(1);
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    QTest::keyClick(dialog_.windowHandle(), Qt::Key_Down);
    EXPECT_EQ(dialog_.lstFiltCol[0]->currentText(), "Round");
    dialog_.hide();
}

class ValueListTest : public TableActionsDialogTest {
  protected:
    void SetUp() override {
        TableActionsDialogTest::SetUp();
        corv::fixture::AuctionOptions options;
        options.rounds = 2;
        path_ = corv::test::BuildAuctionDatabase(folder_.Path(), options);
        corv::test::RunSqlite(path_,
                              "INSERT INTO [Markets and Bidders] ([Round], [Market]) VALUES (1, 'M1')");
        session_.Open(path_);
    }
    void TearDown() override { session_.Close(); }
    void Pick(int row, const QString& column) {
        dialog_.lstFiltCol[row]->setCurrentIndex(dialog_.lstFiltCol[row]->findText(column));
        dialog_.lstFiltCol_Click(row);
        ASSERT_TRUE(QTest::qWaitFor([this, row] { return !dialog_.ListingValues(row); }));
    }

    corv::test::TempFolder folder_;
    std::string path_;
};

TEST_F(ValueListTest, OffersEachValueOnceAndNullAsEmpty) {
    Pick(1, "Bidder Name");
    const QStringList values = Entries(dialog_.txtFilter[1]);
    EXPECT_EQ(
        values.size(),
        corv::test::QueryCount(path_, "SELECT COUNT(DISTINCT [Bidder Name]) FROM [Markets and Bidders]") + 1);
    EXPECT_EQ(values.count(""), 1);
    EXPECT_EQ(values.count("O'Brien Wireless"), 1);
    EXPECT_TRUE(dialog_.txtFilter[1]->currentText().isEmpty());
    EXPECT_TRUE(dialog_.txtFilter[0]->count() == 0);

    // Picking again asks again and empties the chosen value.
    dialog_.txtFilter[1]->setCurrentIndex(dialog_.txtFilter[1]->findText("O'Brien Wireless"));
    Pick(1, "Bidder Name");
    EXPECT_EQ(Entries(dialog_.txtFilter[1]), values);
    EXPECT_TRUE(dialog_.txtFilter[1]->currentText().isEmpty());
}

TEST_F(ValueListTest, ValuesArriveFromAWorkerWithTheBusyPointerOnTheirListAlone) {
    dialog_.SSTab1->setCurrentIndex(1);
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    QComboBox* column = dialog_.lstFiltCol[0];
    ASSERT_EQ(QApplication::focusWidget(), column);
    QTest::keyClick(column, Qt::Key_Down);  // Round
    QTest::keyClick(column, Qt::Key_Down);  // Market, before Round's values are back
    EXPECT_TRUE(dialog_.ListingValues(0));
    EXPECT_EQ(dialog_.txtFilter[0]->cursor().shape(), Qt::BusyCursor);
    EXPECT_NE(column->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(desktop_.busyDepth, 0);

    ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_.ListingValues(0); }));
    const QStringList values = Entries(dialog_.txtFilter[0]);
    EXPECT_EQ(values.size(),
              corv::test::QueryCount(path_, "SELECT COUNT(DISTINCT Market) FROM [Markets and Bidders]"));
    EXPECT_TRUE(values.contains("M1"));
    EXPECT_NE(dialog_.txtFilter[0]->cursor().shape(), Qt::BusyCursor);
    EXPECT_TRUE(desktop_.boxes.empty());
    dialog_.hide();
}

TEST_F(ValueListTest, ViewerWithoutTableLeavesTheValueListAlone) {
    Pick(0, "Round");
    const QStringList before = Entries(dialog_.txtFilter[0]);
    ASSERT_FALSE(before.isEmpty());
    table_.clear();
    Pick(0, "Market");
    EXPECT_EQ(Entries(dialog_.txtFilter[0]), before);
}

}  // namespace
