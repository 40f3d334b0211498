#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "ShellTestSupport.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "shell/frmMain.h"
#include "shell/frmOpeningQuestions.h"
#include "shell/frmSplash.h"

namespace corv::test {
namespace {

class AboutHelpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        desktop.Install();
    }
    ScriptedDesktop desktop;
};

TEST_F(AboutHelpTest, AboutShowsTitleVersionAndTexts) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About the Corvidel");
    EXPECT_EQ(about.lblTitle->text(), "Corvidel");
    EXPECT_EQ(about.lblVersion->text(), "Version 2.0.1");
    EXPECT_FALSE(about.lblDescription->text().isEmpty());
    EXPECT_TRUE(about.Text1->isReadOnly());
    EXPECT_TRUE(about.Text1->toPlainText().contains("warranty"));
    EXPECT_EQ(about.cmdOK->text(), "OK");
    EXPECT_EQ(about.cmdSysInfo->text(), "&System Info...");
    EXPECT_TRUE(about.cmdOK->isDefault());
}

TEST_F(AboutHelpTest, EscapeAndEnterCloseTheAboutBoxLikeOK) {
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        frmAbout about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        about.cmdOK->setFocus();
        QTest::keyClick(&about, static_cast<Qt::Key>(key));
        EXPECT_FALSE(about.isVisible()) << key;
    }
}

TEST_F(AboutHelpTest, SystemInfoWithoutAProgramSaysSo) {
    frmAbout about;
    about.sysInfoPrograms = {"corvidel-no-such-program-1", "corvidel-no-such-program-2"};
    about.cmdSysInfo->click();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::OK);
}

TEST_F(AboutHelpTest, SystemInfoProgramIsLookedUpOnThePathInOrder) {
    EXPECT_TRUE(FindSysInfoProgram({"corvidel-no-such-program"}).isEmpty());
    const QString sh = FindSysInfoProgram({"corvidel-no-such-program", "sh", "ls"});
    EXPECT_TRUE(sh.endsWith("/sh")) << sh.toStdString();
}

TEST_F(AboutHelpTest, AboutMenuShowsTheBoxModallyOwnedByTheMainWindow) {
    frmMain w;
    frmAbout* shown = nullptr;
    desktop.Modal([&](ModalDialog& modal) {
        auto* adapter = dynamic_cast<DialogModal*>(&modal);
        ASSERT_NE(adapter, nullptr);
        shown = qobject_cast<frmAbout*>(&adapter->Dialog());
    });
    w.MenuItem("mnuHelpAbout")->trigger();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->parentWidget(), &w);
    EXPECT_EQ(desktop.modalRuns, 1);
}

TEST_F(AboutHelpTest, SplashShowsTheBuiltVersionAndIgnoresEveryInput) {
    frmSplash splash;
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    EXPECT_EQ(splash.lblVersion->text(), "Version 2.0.1");
    for (QLabel* l : {splash.lblCompanyProduct, splash.lblProductName, splash.lblPlatform, splash.lblVersion})
        EXPECT_EQ(l->font().family(), "Arial") << l->objectName().toStdString();
    // Only the program closes it: it has no buttons, and clicks and keys leave it up.
    EXPECT_TRUE(splash.findChildren<QAbstractButton*>().isEmpty());
    QTest::mouseClick(&splash, Qt::LeftButton, {}, splash.rect().center());
    QTest::keyClick(&splash, Qt::Key_Escape);
    QTest::keyClick(&splash, Qt::Key_F4, Qt::AltModifier);
    EXPECT_TRUE(splash.isVisible());
}

TEST_F(AboutHelpTest, MissingHelpFileIsReportedWithTheWindowCaptionAsTitle) {
    frmMain w;
    w.SetCaption("Corvidel - /data/Auction14.mdb");
    w.SetHelpFile("");
    w.MenuItem("mnuHelpContents")->trigger();
    w.MenuItem("mnuHelpSearch")->trigger();
    ASSERT_EQ(desktop.boxes.size(), 2u);
    for (const ShownBox& b : desktop.boxes) {
        EXPECT_EQ(b.text, "Unable to display Help Contents. There is no Help associated with this project.");
        EXPECT_EQ(b.title, "Corvidel - /data/Auction14.mdb");
        EXPECT_EQ(b.icon, MsgIcon::Information);
        EXPECT_EQ(b.buttons, MsgButtons::OK);
    }
    EXPECT_EQ(w.HelpWindow(), nullptr);
}

TEST_F(AboutHelpTest, UnreadableHelpFileReportsWhy) {
    frmMain w;
    w.SetHelpFile("/nonexistent/corvidel-help.html");
    w.HelpContents();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_NE(desktop.boxes[0].text.find("/nonexistent/corvidel-help.html"), std::string::npos);
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::OK);
}

TEST_F(AboutHelpTest, ContentsAndSearchOpenTheHelpWindow) {
    frmMain w;
    ASSERT_FALSE(w.HelpFile().isEmpty());
    w.HelpContents();
    frmHelp* help = w.HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const QStringList titles = help->ListedTitles();
    for (const char* t :
         {"Starting Corvidel", "File menu", "View menu", "Tools menu", "Window menu", "Help menu"})
        EXPECT_TRUE(titles.contains(t)) << t;
    EXPECT_TRUE(desktop.boxes.empty());

    help->ShowSearch("pivot");
    EXPECT_TRUE(help->ListedTitles().contains("Pivot Table Wizard"));
    EXPECT_FALSE(help->ListedTitles().contains("Keyboard"));
    w.HelpSearch();
    EXPECT_EQ(help->txtSearch->text(), "");
    EXPECT_EQ(help->ListedTitles(), titles);
    QTest::keyClick(help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(AboutHelpTest, F1OpensTheHelp) {
    frmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    ASSERT_NE(w.HelpWindow(), nullptr);
    EXPECT_TRUE(w.HelpWindow()->isVisible());
}

TEST_F(AboutHelpTest, TopicListShowsWholeTitles) {
    frmMain w;
    w.HelpContents();
    frmHelp* help = w.HelpWindow();
    ASSERT_NE(help, nullptr);
    QApplication::processEvents();
    const QFontMetrics fm(help->lstTopics->font());
    ASSERT_GT(help->lstTopics->count(), 0);
    for (int i = 0; i < help->lstTopics->count(); ++i) {
        const QString title = help->lstTopics->item(i)->text();
        EXPECT_LT(fm.horizontalAdvance(title), help->lstTopics->viewport()->width()) << title.toStdString();
    }
    help->close();
}

TEST(HelpDocument, SectionsSplitAtHeadingsWithAnchors) {
    const QString html =
        "<h1>Top</h1><p>intro</p>"
        "<h2 id=\"a\">First <b>topic</b></h2><p>alpha words</p>"
        "<h3 id=\"a1\">Sub</h3><p>beta</p>"
        "<h2>No anchor</h2><p>gamma</p>"
        "<h2 class=\"x\" id=\"c\">Last</h2><p>delta &amp; epsilon</p>";
    const auto sections = HelpSections(html);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].anchor, "a");
    EXPECT_EQ(sections[0].title, "First topic");
    EXPECT_EQ(sections[0].text, "alpha words");
    EXPECT_EQ(sections[1].anchor, "a1");
    EXPECT_EQ(sections[1].title.trimmed(), "Sub");
    // A heading without an anchor belongs to the section before it.
    EXPECT_TRUE(sections[1].text.contains("gamma"));
    EXPECT_EQ(sections[2].anchor, "c");
    EXPECT_EQ(sections[2].text, "delta & epsilon");
}

TEST(HelpDocument, SearchNeedsEveryWordIgnoringCase) {
    frmHelp::Section s{"x", "Sort Table", "orders the rows by columns"};
    EXPECT_TRUE(SectionMatches(s, ""));
    EXPECT_TRUE(SectionMatches(s, "SORT"));
    EXPECT_TRUE(SectionMatches(s, "rows  Columns"));
    EXPECT_FALSE(SectionMatches(s, "rows filter"));
}

}  // namespace
}  // namespace corv::test
