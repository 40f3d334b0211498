#include <gtest/gtest.h>

#include "queries/SortFilterText.h"

using namespace corv;

TEST(SortFilterText, ValueListQueryNeedsColumnAndTable) {
    EXPECT_EQ(ValueListQuery("Bidder Name", "Markets and Bidders"),
              "SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders]");
    EXPECT_EQ(ValueListQuery("", "Markets and Bidders"), "");
    EXPECT_EQ(ValueListQuery("Round", ""), "");
}

TEST(SortFilterText, ValueListTextIsWhatTheFilterReadsBack) {
    const FieldInfo money{"Bid Amount", FieldType::Currency, "Currency"};
    EXPECT_EQ(ValueListText(Value(1234567.5), money), "1234567.5");
    EXPECT_EQ(ValueListText(Value(), money), "");
    const FieldInfo flag{"Proactive", FieldType::Boolean, "Boolean"};
    EXPECT_EQ(ValueListText(Value(-1), flag), "True");
    EXPECT_EQ(ValueListText(Value(0), flag), "False");
    const FieldInfo when{"Recorded", FieldType::DateTime, "DateTime"};
    EXPECT_EQ(ValueListText(Value("2024-03-05 00:00:00"), when), "2024-03-05 00:00:00");
}
