#include <gtest/gtest.h>

#include "shell/ShellText.h"

namespace corv::shell {
namespace {

TEST(ShellVersionText, NumbersWithoutLeadingZeros) {
    EXPECT_EQ(VersionText(2, 0, 1), "Version 2.0.1");
    EXPECT_EQ(VersionText(10, 0, 12), "Version 10.0.12");
}

TEST(ShellWholeNumberText, RoundsShowWithoutDecimalPointOrLeadingZeros) {
    EXPECT_EQ(WholeNumberText(Value(1.0)), "1");
    EXPECT_EQ(WholeNumberText(Value(std::int64_t{12})), "12");
    EXPECT_EQ(WholeNumberText(Value(-3.0)), "-3");
    EXPECT_EQ(WholeNumberText(Value("007")), "7");
    EXPECT_EQ(WholeNumberText(Value(" 4 ")), "4");
}

TEST(ShellWholeNumberText, OtherValuesShownAsTheyAre) {
    EXPECT_EQ(WholeNumberText(Value(2.5)), "2.5");
    EXPECT_EQ(WholeNumberText(Value("round two")), "round two");
    EXPECT_EQ(WholeNumberText(Value()), "");
    EXPECT_EQ(WholeNumberText(Value(1.0e30)), QString::fromStdString(Value(1.0e30).toString()));
}

TEST(ShellTwips, FifteenTwipsToThePixelRoundedToNearest) {
    EXPECT_EQ(TwipsToPixels(1000), 67);
    EXPECT_EQ(TwipsToPixels(6500), 433);
    EXPECT_EQ(TwipsToPixels(5100), 340);
    EXPECT_EQ(TwipsToPixels(1440), 96);
    EXPECT_EQ(TwipsToPixels(7), 0);
    EXPECT_EQ(TwipsToPixels(8), 1);
    EXPECT_EQ(PixelsToTwips(96), 1440);
}

TEST(ShellTwips, StoredSettingUsedWhenWholeNumberElseDefault) {
    EXPECT_EQ(TwipsSetting("1500", 1000), 1500);
    EXPECT_EQ(TwipsSetting(" 900 ", 1000), 900);
    EXPECT_EQ(TwipsSetting("-300", 1000), -300);
    EXPECT_EQ(TwipsSetting("abc", 1000), 1000);
    EXPECT_EQ(TwipsSetting("", 6500), 6500);
    EXPECT_EQ(TwipsSetting("12.5", 6500), 6500);
    EXPECT_EQ(TwipsSetting("99999999999", 6500), 6500);
}

}  // namespace
}  // namespace corv::shell
