#include <gtest/gtest.h>

#include "viewer/ViewStateText.h"

using namespace corv;

TEST(ViewStateText, SortTextListsKeysWithDescWhereUnticked) {
    EXPECT_EQ(SortText({{"Market", true}, {"Bid Amount", false}}), "[Market], [Bid Amount] DESC");
    EXPECT_EQ(SortText({{"Round", true}}), "[Round]");
    EXPECT_EQ(SortText({}), "");
}

TEST(ViewStateText, FilterTextJoinsRowsThatTakePart) {
    EXPECT_EQ(FilterText({{"Bidder Name", "=", "ABC", ""}, {"Round", ">=", "5", "And"}}),
              "[Bidder Name] =\"ABC\" And [Round] >=5");
    EXPECT_EQ(FilterText({{"Round", "=", "12", ""}}), "[Round] =12");
    EXPECT_EQ(FilterText({{"Orvane Acct", "=", "12", ""}}), "[Orvane Acct] =\"12\"");
    // Row 2 without a value: row 3 follows with its own joiner.
    EXPECT_EQ(FilterText({{"Round", "<", "3", ""}, {"Market", "=", "", "Or"}, {"Round", ">", "7", "Or"}}),
              "[Round] <3 Or [Round] >7");
    // Row 1 without a value: the text begins with row 2's joiner, for the engine to refuse.
    EXPECT_EQ(FilterText({{"Market", "=", "", ""}, {"Round", "=", "2", "And"}}), " And [Round] =2");
    EXPECT_EQ(FilterText({{"", "=", "", ""}, {"", "=", "", "And"}}), "");
}

TEST(ViewStateText, ValueTermDoublesQuotesAndLeavesYesNoBare) {
    EXPECT_EQ(ValueTerm("Market", "12\" Band"), "\"12\"\" Band\"");
    EXPECT_EQ(ValueTerm("Proactive", "True", true), "True");
    EXPECT_EQ(ValueTerm("Bidder Name", "True"), "\"True\"");
}

TEST(ViewStateText, NumericMeansAPlainDecimalNumber) {
    for (const char* yes : {"0", "12", "-5", "+7", "3.25", "-0.5"}) EXPECT_TRUE(IsNumericValue(yes)) << yes;
    for (const char* no : {"", " 12", "12 ", "1,000", "$5", "1e3", "1.", ".5", "-", "12a", "1.2.3"})
        EXPECT_FALSE(IsNumericValue(no)) << no;
}
