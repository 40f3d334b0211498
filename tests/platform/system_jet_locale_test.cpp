#include <gtest/gtest.h>

#include <QLocale>

#include "platform/qt/SystemJetLocale.h"

namespace corv {
namespace {

// Qt's date patterns become Format's codes (minutes n, literal letters escaped), Qt's Monday-first days
// Jet's Sunday-first ones.
TEST(SystemJetLocale, TakesPatternsNamesAndSeparatorsFromQt) {
    const JetLocale us = JetLocaleOf(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.decimalPoint, ".");
    EXPECT_EQ(us.currencyPositive, "$#");
    EXPECT_EQ(us.currencyNegative, "($#)");
    EXPECT_EQ(us.shortDate, "m/d/yyyy");
    EXPECT_EQ(us.longDate, "dddd, mmmm d, yyyy");
    EXPECT_EQ(us.longTime, "h:nn:ss AMPM");
    EXPECT_EQ(us.dayNames[0], "Sunday");
    EXPECT_EQ(us.firstDayOfWeek, 1);

    const JetLocale de = JetLocaleOf(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.decimalPoint, ",");
    EXPECT_EQ(de.groupSeparator, ".");
    EXPECT_EQ(de.currencyNegative, "(#\u00A0€)");
    EXPECT_EQ(de.shortDate, "dd.mm.yyyy");
    EXPECT_EQ(de.dateSeparator, ".");
    EXPECT_EQ(de.longTime, "hh:nn:ss");
    EXPECT_EQ(de.longDate, "dddd, d. mmmm yyyy");
    EXPECT_EQ(de.dayNames[0], "Sonntag");
    EXPECT_EQ(de.dayShortNames[1], "Mo.");
    EXPECT_EQ(de.monthNames[2], "März");
    EXPECT_EQ(de.firstDayOfWeek, 2);
}

}  // namespace
}  // namespace corv
