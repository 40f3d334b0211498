// Where the main window opens and what it stores when it closes.
#include <gtest/gtest.h>

#include <QTest>
#include <string>

#include "ShellTestSupport.h"
#include "shell/frmMain.h"

namespace corv::test {
namespace {

TEST_F(MainWindowTest, FirstRunOpensAtDefaultTwipsAndWritesThemBack) {
    {
        frmMain w;
        EXPECT_EQ(w.pos(), QPoint(67, 67));
        EXPECT_EQ(w.height(), 433);
        // Wider than the default where the bars need it: no entry waits behind an extension button.
        w.show();
        for (const char* more : {"qt_toolbar_ext_button", "qt_menubar_ext_button"}) {
            const QWidget* button = w.findChild<QWidget*>(more);
            EXPECT_TRUE(!button || !button->isVisible()) << more;
        }
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1000");
    EXPECT_EQ(Setting("MainTop"), "1000");
    EXPECT_EQ(Setting("MainWidth"), "6500");
    EXPECT_EQ(Setting("MainHeight"), "6500");
}

TEST_F(MainWindowTest, PositionRoundTripsInTwips) {
    Store("MainLeft", "1500");
    Store("MainTop", "3000");
    Store("MainWidth", "12000");
    Store("MainHeight", "9000");
    {
        frmMain w;
        EXPECT_EQ(w.geometry().topLeft(), QPoint(100, 200));
        EXPECT_EQ(w.size(), QSize(800, 600));
        w.move(120, 90);
        w.resize(700, 500);
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1800");
    EXPECT_EQ(Setting("MainTop"), "1350");
    EXPECT_EQ(Setting("MainWidth"), "10500");
    EXPECT_EQ(Setting("MainHeight"), "7500");
    {
        frmMain again;
        EXPECT_EQ(again.pos(), QPoint(120, 90));
        EXPECT_EQ(again.size(), QSize(700, 500));
    }
}

TEST_F(MainWindowTest, MinimizedCloseKeepsStoredPosition) {
    Store("MainLeft", "2010");
    Store("MainTop", "990");
    Store("MainWidth", "9000");
    Store("MainHeight", "7000");
    {
        frmMain w;
        w.show();
        w.move(10, 10);
        w.showMinimized();
        ASSERT_TRUE(w.isMinimized());
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "2010");
    EXPECT_EQ(Setting("MainTop"), "990");
    EXPECT_EQ(Setting("MainWidth"), "9000");
    EXPECT_EQ(Setting("MainHeight"), "7000");
}

TEST_F(MainWindowTest, MaximizedCloseStoresMaximizedBounds) {
    frmMain w;
    w.showMaximized();
    QTest::qWait(50);
    ASSERT_TRUE(w.isMaximized());
    const QSize maxSize = w.size();
    ASSERT_GT(maxSize.width(), 433);
    w.close();
    EXPECT_EQ(Setting("MainWidth"), std::to_string(maxSize.width() * 15));
    EXPECT_EQ(Setting("MainHeight"), std::to_string(maxSize.height() * 15));
}

TEST_F(MainWindowTest, PositionOffEveryScreenOpensAtTheDefaultPlace) {
    Store("MainLeft", "600000");
    Store("MainTop", "-450000");
    Store("MainWidth", "9000");
    {
        frmMain w;
        EXPECT_EQ(w.pos(), QPoint(67, 67));
        EXPECT_EQ(w.width(), 600);
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1005");
    EXPECT_EQ(Setting("MainTop"), "1005");
    EXPECT_EQ(Setting("MainWidth"), "9000");
}

TEST_F(MainWindowTest, UnusableStoredValueFallsBackToDefault) {
    Store("MainHeight", "tall");
    Store("MainLeft", "300");
    frmMain w;
    EXPECT_EQ(w.height(), 433);
    EXPECT_EQ(w.x(), 20);
}

}  // namespace
}  // namespace corv::test
