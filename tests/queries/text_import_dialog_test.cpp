// File > Import Table from Text File's dialog, driven by key presses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <memory>

#include "queries/frmTextImport.h"
#include "store/Auction.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

using corv::frmTextImport;
using corv::MsgAnswer;

namespace {

class TextImportDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop_.Install();
        session_.Open(corv::test::BuildAuctionDatabase(folder_.Path(), {}));
    }
    void TearDown() override {
        dialog_.reset();
        EXPECT_EQ(desktop_.unscripted, 0);
        EXPECT_TRUE(desktop_.ScriptUsedUp());
        session_.Close();
    }
    // The dialog on a file of that text, shown and active.
    frmTextImport& Show(const std::string& text, const std::string& name = "markets.csv") {
        const std::string path = folder_.File(name);
        std::ofstream(path, std::ios::binary) << text;
        dialog_ = std::make_unique<frmTextImport>(*session_.Current(), path);
        dialog_->show();
        dialog_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        return *dialog_;
    }
    long long Count(const std::string& sql) {
        return corv::test::QueryCount(session_.Current()->Path(), sql);
    }

    bool app_ = (corv::test::TestApp(), true);
    corv::test::TempFolder folder_;
    corv::test::ScriptedDesktop desktop_;
    corv::store::AuctionSession session_;
    std::unique_ptr<frmTextImport> dialog_;
};

}  // namespace

TEST_F(TextImportDialogTest, EnterImportsUnderTheFileNameAndEscapeCancels) {
    frmTextImport& dialog = Show("Market,Population\nMTA001,12\nMTA002,7\n");
    EXPECT_EQ(dialog.txtTableName->text(), "markets");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM markets"), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sysTables WHERE TableName = 'markets'"), 1);

    frmTextImport& again = Show("a\n1\n", "other.csv");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE name = 'other'"), 0);
}

TEST_F(TextImportDialogTest, TheDelimiterChangedRereadsThePreviewAndAnEditedNameIsKept) {
    frmTextImport& dialog = Show("a;b,c\n1;2,3\n");
    EXPECT_EQ(dialog.grdPreview->columnCount(), 2);
    QTest::keyClick(&dialog, Qt::Key_D, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), dialog.cboDelimiter);
    QTest::keyClick(dialog.cboDelimiter, Qt::Key_Up);  // semicolon to comma
    EXPECT_EQ(dialog.grdPreview->columnCount(), 2);
    EXPECT_EQ(dialog.grdPreview->item(0, 0)->text(), "1;2");

    QTest::keyClick(&dialog, Qt::Key_L, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), dialog.grdColumns);
    dialog.grdColumns->setCurrentCell(1, 0);
    QTest::keyClick(dialog.grdColumns, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "Size");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // ends the editing, once events run
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM pragma_table_info('markets') WHERE name = 'Size'"), 1);
}

TEST_F(TextImportDialogTest, RaggedRowsAreListedAndSkippedOnYes) {
    frmTextImport& dialog = Show("a,b\n1,2\n3\n4,5,6\n7,8\n");
    desktop_.Answer(MsgAnswer::No);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_NE(desktop_.boxes[0].text.find("lines 3, 4."), std::string::npos) << desktop_.boxes[0].text;
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE name = 'markets'"), 0);

    desktop_.Answer(MsgAnswer::Yes);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM markets"), 2);
}

TEST_F(TextImportDialogTest, AnExistingNameAsksAndNoLeavesItASuppliedNameIsRefused) {
    Show("a\n1\n2\n");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    frmTextImport& again = Show("a\n1\n");
    desktop_.Answer(MsgAnswer::No);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(desktop_.LastBox().buttons, corv::MsgButtons::YesNoDefaultNo);
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM markets"), 2);

    const std::string supplied = session_.Current()->SuppliedTables().at(0);
    again.txtTableName->setFocus();
    again.txtTableName->selectAll();
    QTest::keyClicks(again.txtTableName, QString::fromStdString(supplied));
    QTest::keyClick(again.txtTableName, Qt::Key_Return);
    EXPECT_NE(desktop_.LastBox().text.find("never replaced"), std::string::npos) << desktop_.LastBox().text;
    EXPECT_TRUE(again.isVisible());
}

TEST_F(TextImportDialogTest, CancelInTheProgressWindowCreatesNothing) {
    std::string text = "n\n";
    for (int i = 0; i < 40000; ++i) text += std::to_string(i) + "\n";
    frmTextImport& dialog = Show(text);
    desktop_.CancelProgressAtStep(3);  // two steps read the file, then the writing
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(desktop_.progress.size(), 1u);
    EXPECT_TRUE(desktop_.progress[0].ended);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE name = 'markets'"), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sysTables WHERE TableName = 'markets'"), 0);
}
