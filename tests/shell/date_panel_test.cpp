#include <gtest/gtest.h>

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QTest>

#include "shell/DatePanel.h"
#include "support/AuctionDatabase.h"

namespace corv::test {
namespace {

QString ShortDate(const QDate& d) {
    return QLocale().toString(d, QLocale::ShortFormat);
}

TEST(DatePanel, FollowsTheCalendarDayAcrossMidnights) {
    TestApp();
    const QDate day(2026, 3, 14);
    QDateTime now(day, QTime(23, 59, 59, 950));
    QLabel panel;
    DatePanel follower(&panel, [&now] { return now; });
    EXPECT_EQ(panel.text(), ShortDate(day));
    EXPECT_TRUE(follower.Timer().isActive());
    EXPECT_EQ(follower.Timer().interval(), 50);

    // The wake-up at midnight finds the next day, and stays armed for the one after.
    now = QDateTime(day.addDays(1), QTime(0, 0, 0, 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.text() == ShortDate(day.addDays(1)); }, 10'000));
    EXPECT_TRUE(follower.Timer().isActive());
}

TEST(DatePanel, NeverSleepsPastAnHourSoASuspendedMachineCatchesUp) {
    TestApp();
    QLabel panel;
    DatePanel follower(&panel, [] { return QDateTime(QDate(2026, 3, 14), QTime(8, 0)); });
    EXPECT_EQ(follower.Timer().interval(), 60 * 60 * 1000);
}

}  // namespace
}  // namespace corv::test
