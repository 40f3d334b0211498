// The watch list's dialog by the keyboard, "Watch…" on the overview's rows, and a file that cannot be used.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <fstream>

#include "AlertTestSupport.h"
#include "overview/AlertLogPage.h"
#include "overview/OverviewPages.h"
#include "overview/OverviewTableCopy.h"
#include "overview/WatchListDialog.h"
#include "overview/frmOverview.h"
#include "shell/frmMain.h"

namespace corv::test {
namespace {

using overview::WatchListDialog;
using overview::WatchRuleEditor;
using report::WatchWhen;

WatchListDialog* OpenFromMenu(frmMain& w) {
    w.MenuItem("mnuToolsWatchList")->trigger();
    return ModalOf<WatchListDialog>();
}

TEST_F(AlertTest, ARuleAddedByKeysIsWrittenOnEnterAndEscapeChangesNothing) {
    Open();
    WatchListDialog* dialog = OpenFromMenu(*window);
    ASSERT_NE(dialog, nullptr);
    Press(Qt::Key_A, Qt::AltModifier);
    auto* editor = ModalOf<WatchRuleEditor>();
    ASSERT_NE(editor, nullptr);
    Press(Qt::Key_Down);  // the second kind
    Press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "M001");
    Press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "B");
    Press(Qt::Key_Return);
    ASSERT_EQ(ModalOf<WatchListDialog>(), dialog);
    ASSERT_EQ(dialog->lstRules->count(), 1);
    Press(Qt::Key_Return);

    const std::optional<report::WatchList> written = report::ReadWatchList(WatchPath());
    ASSERT_TRUE(written);
    ASSERT_EQ(written->rules.size(), 1u);
    EXPECT_EQ(written->rules[0].when, WatchWhen::NewHighBid);
    EXPECT_EQ(written->rules[0].market, "M001");
    EXPECT_EQ(written->rules[0].block, "B");

    const std::string bytes = FileBytes(WatchPath());
    dialog = OpenFromMenu(*window);
    ASSERT_NE(dialog, nullptr);
    Press(Qt::Key_Delete);
    EXPECT_EQ(dialog->lstRules->count(), 0);
    Press(Qt::Key_Escape);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(FileBytes(WatchPath()), bytes);
}

// "Watch…" on a row opens the list with the editor on a rule of that row; Enter twice keeps it.
TEST_F(AlertTest, WatchOnARowAddsARuleOfThatRow) {
    Open();
    overview::frmOverview& o = Overview();
    struct Row {
        QTableView* table;
        QWidget* page;
        bool licence;
    };
    const Row rows[] = {{o.grdMarkets, o.grdMarkets->parentWidget(), true},
                        {o.grdBidders, o.grdBidders->parentWidget(), false},
                        {o.eligibilityPage->grdEligibility, o.eligibilityPage, false}};
    std::size_t kept = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.table->objectName().toStdString());
        o.tabs->setCurrentWidget(row.page);
        ASSERT_GT(row.table->model()->rowCount(), 0);
        row.table->setCurrentIndex(row.table->model()->index(0, 0));
        QMenu* menu = overview::ContextMenuOf(row.table);
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>("actWatch")->trigger();
        auto* editor = ModalOf<WatchRuleEditor>();
        ASSERT_NE(editor, nullptr);
        const report::WatchRule rule = editor->Rule();
        const QString first = row.table->model()->index(0, 0).data().toString();
        if (row.licence)
            EXPECT_EQ(QString::fromStdString(rule.market.value_or("")), first);
        else
            EXPECT_EQ(QString::fromStdString(rule.bidder.value_or("")), first);
        Press(Qt::Key_Return);
        Press(Qt::Key_Return);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        const std::optional<report::WatchList> written = report::ReadWatchList(WatchPath());
        ASSERT_TRUE(written);
        ASSERT_EQ(written->rules.size(), ++kept);
        EXPECT_EQ(overview::RuleSentence(written->rules.back()), overview::RuleSentence(rule));
    }
}

// A list that cannot be used is named with its line, weighs nothing and is never written over.
TEST_F(AlertTest, AListThatCannotBeUsedIsNamedAndLeftAlone) {
    options.rounds = 1;
    Open();
    std::ofstream(WatchPath()) << "{\"version\": 1, \"rules\": [\n"
                                  "  {\"market\": \"M001\", \"when\": \"new leeder\"}\n"
                                  "]}\n";
    const std::string bytes = FileBytes(WatchPath());

    EXPECT_TRUE(Import(2).empty());
    overview::frmOverview& o = Overview();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !o.alertsPage->Reading(); }));
    EXPECT_TRUE(o.alertsPage->lblNote->text().contains("line 2"))
        << o.alertsPage->lblNote->text().toStdString();
    EXPECT_EQ(o.alertsPage->model->rowCount(), 0);

    WatchListDialog* dialog = OpenFromMenu(*window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->lblMessage->isVisible());
    EXPECT_TRUE(dialog->lblMessage->text().contains("line 2")) << dialog->lblMessage->text().toStdString();
    EXPECT_EQ(dialog->lstRules->count(), 0);
    EXPECT_FALSE(dialog->buttons->button(QDialogButtonBox::Ok)->isEnabled());
    // Enter is Cancel here.
    Press(Qt::Key_Return);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(FileBytes(WatchPath()), bytes);
    EXPECT_TRUE(desktop.boxes.empty());
}

}  // namespace
}  // namespace corv::test
