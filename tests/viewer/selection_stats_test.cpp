#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "engine/CorvError.h"
#include "viewer/SelectionStats.h"

using corv::CellTextReader;
using corv::ComputeSelectionText;
using corv::SelectionBlock;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kDe(QLocale::German, QLocale::Germany);

// A sparse grid of shown texts; unset cells read as empty, like rows past the end of a table.
class FakeGrid {
  public:
    FakeGrid& Column(int column, std::initializer_list<const char*> texts) {
        int row = 0;
        for (const char* t : texts) cells_[{column, row++}] = QString::fromUtf8(t);
        return *this;
    }
    CellTextReader Reader() {
        return [this](int column, int row) {
            ++reads;
            auto it = cells_.find({column, row});
            return it == cells_.end() ? QString() : it->second;
        };
    }
    int reads = 0;

  private:
    std::map<std::pair<int, int>, QString> cells_;
};

SelectionBlock Rows(int column, int first, int last) {
    return {column, column, first, last};
}
SelectionBlock WholeColumn(int column) {
    return {column, column, -1, -1};
}

std::string Stat(FakeGrid& grid, const std::vector<SelectionBlock>& blocks, const char* op,
                 const QLocale& locale = kUs) {
    auto result = ComputeSelectionText(blocks, grid.Reader(), QString::fromUtf8(op), locale);
    return result ? result->toStdString() : std::string("<unchanged>");
}

}  // namespace

TEST(StatisticFormat, TwoDecimalsThousandsAndNoLeadingZero) {
    EXPECT_EQ(corv::FormatStatistic(0, kUs), ".00");
    EXPECT_EQ(corv::FormatStatistic(0.5, kUs), ".50");
    EXPECT_EQ(corv::FormatStatistic(12, kUs), "12.00");
    EXPECT_EQ(corv::FormatStatistic(999.5, kUs), "999.50");
    EXPECT_EQ(corv::FormatStatistic(1000, kUs), "1,000.00");
    EXPECT_EQ(corv::FormatStatistic(1234.5, kUs), "1,234.50");
    EXPECT_EQ(corv::FormatStatistic(1234567.891, kUs), "1,234,567.89");
    EXPECT_EQ(corv::FormatStatistic(123456789012.0, kUs), "123,456,789,012.00");
}

TEST(StatisticFormat, NegativeValuesAndRounding) {
    EXPECT_EQ(corv::FormatStatistic(-1234.5, kUs), "-1,234.50");
    EXPECT_EQ(corv::FormatStatistic(-0.25, kUs), "-.25");
    EXPECT_EQ(corv::FormatStatistic(-0.001, kUs), ".00");  // rounds to zero: no sign
    EXPECT_EQ(corv::FormatStatistic(2.0 / 3.0, kUs), ".67");
    EXPECT_EQ(corv::FormatStatistic(999.999, kUs), "1,000.00");
    // Halves round up as the decimal number reads, whatever its binary form.
    EXPECT_EQ(corv::FormatStatistic(2.125, kUs), "2.13");
    EXPECT_EQ(corv::FormatStatistic(0.285, kUs), ".29");
    EXPECT_EQ(corv::FormatStatistic(-2.125, kUs), "-2.13");
    EXPECT_EQ(corv::FormatStatistic(0.994, kUs), ".99");
}

TEST(StatisticFormat, UsesTheLocalesSeparators) {
    EXPECT_EQ(corv::FormatStatistic(1234567.5, kDe), "1.234.567,50");
    EXPECT_EQ(corv::FormatStatistic(0.5, kDe), ",50");
}

TEST(StatisticFormat, OverflowIsAnError) {
    try {
        corv::FormatStatistic(std::numeric_limits<double>::infinity(), kUs);
        FAIL() << "no error";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(CellConversion, AcceptsBlanksAndThousandsSeparators) {
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("10", kUs), 10);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("  1,234.50 ", kUs), 1234.5);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("-0.5", kUs), -0.5);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("1.234,5", kDe), 1234.5);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("-1,234,567.25", kUs), -1234567.25);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("+5", kUs), 5);
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble("1.5e+20", kUs), 1.5e20);  // how very large reals are shown
    EXPECT_DOUBLE_EQ(corv::CellTextToDouble(".5", kUs), 0.5);
}

TEST(CellConversion, TextThatIsNoNumberIsATypeMismatch) {
    for (const char* bad : {"", "   ", "Alpine", "12abc", "True", "-", ".", "1.2.3", "--1", "1-2", "3/4/1997",
                            "1,234.5,6", "12e"}) {
        try {
            corv::CellTextToDouble(QString::fromUtf8(bad), kUs);
            ADD_FAILURE() << "converted '" << bad << "'";
        } catch (const corv::CorvError& e) {
            EXPECT_EQ(e.number(), 13) << bad;
        }
    }
}

TEST(SelectionStatistics, SumAverageCountOfOneBlock) {
    FakeGrid grid;
    grid.Column(2, {"10", "20", "30"});
    EXPECT_EQ(Stat(grid, {Rows(2, 0, 2)}, "Sum"), "60.00");
    EXPECT_EQ(Stat(grid, {Rows(2, 0, 2)}, "Average"), "20.00");
    EXPECT_EQ(Stat(grid, {Rows(2, 0, 2)}, "Count"), "3.00");
}

TEST(SelectionStatistics, BlocksOfTheSameColumnAddUp) {
    FakeGrid grid;
    grid.Column(0, {"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    EXPECT_EQ(Stat(grid, {Rows(0, 1, 2), Rows(0, 6, 7)}, "Sum"), "20.00");  // 2+3 + 7+8
    EXPECT_EQ(Stat(grid, {Rows(0, 1, 2), Rows(0, 6, 7)}, "Count"), "4.00");
}

TEST(SelectionStatistics, MoreThanOneColumnShowsZero) {
    FakeGrid grid;
    grid.Column(0, {"1", "2"}).Column(1, {"3", "4"});
    EXPECT_EQ(Stat(grid, {{0, 1, 0, 1}}, "Sum"), "0");
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 1), Rows(1, 0, 1)}, "Sum"), "0");
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 1), {0, 1, 0, 0}}, "Count"), "0");
}

TEST(SelectionStatistics, WordOrEmptyCellShowsZero) {
    FakeGrid grid;
    grid.Column(0, {"10", "Alpine", "30"}).Column(1, {"10", "", "30"});
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 2)}, "Sum"), "0");
    EXPECT_EQ(Stat(grid, {Rows(1, 0, 2)}, "Average"), "0");
    // The mismatch ends the command even when the operation is not one of the three.
    EXPECT_EQ(Stat(grid, {Rows(1, 0, 2)}, "Median"), "0");
}

TEST(SelectionStatistics, WholeColumnStopsAtFirstEmptyCell) {
    FakeGrid grid;
    grid.Column(3, {"1", "2", "3", "", "100"});
    EXPECT_EQ(Stat(grid, {WholeColumn(3)}, "Sum"), "6.00");
    EXPECT_EQ(Stat(grid, {WholeColumn(3)}, "Count"), "3.00");
    EXPECT_EQ(grid.reads, 8);  // four cells per scan, the empty one included
}

TEST(SelectionStatistics, OnlyTheLastBlockDecidesOnAWholeColumn) {
    FakeGrid grid;
    grid.Column(0, {"1", "2", "4", "8"});
    // A whole column last replaces the rows gathered before it, for every operation.
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 0), WholeColumn(0)}, "Sum"), "15.00");
    EXPECT_EQ(Stat(grid, {Rows(0, 1, 3), WholeColumn(0)}, "Count"), "4.00");
    EXPECT_EQ(Stat(grid, {Rows(0, 3, 3), WholeColumn(0)}, "Average"), "3.75");
    // A whole column followed by a block: only the block's rows count.
    EXPECT_EQ(Stat(grid, {WholeColumn(0), Rows(0, 2, 3)}, "Sum"), "12.00");
}

TEST(SelectionStatistics, ShownThousandsSeparatorsAreNumbers) {
    FakeGrid grid;
    grid.Column(0, {"1,234.50", "0.5"});
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 1)}, "Sum"), "1,235.00");
    FakeGrid german;
    german.Column(0, {"1.234,50", "0,5"});
    EXPECT_EQ(Stat(german, {Rows(0, 0, 1)}, "Sum", kDe), "1.235,00");
}

TEST(SelectionStatistics, NothingToWrite) {
    FakeGrid grid;
    grid.Column(0, {"1", "2"});
    EXPECT_EQ(Stat(grid, {}, "Sum"), "<unchanged>");
    EXPECT_EQ(grid.reads, 0);
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 1)}, "sum"), "<unchanged>");  // operation names are case-sensitive
    EXPECT_EQ(Stat(grid, {Rows(0, 0, 1)}, ""), "<unchanged>");
}

TEST(SelectionStatistics, AverageOfNoCellsIsDivisionByZero) {
    FakeGrid grid;
    grid.Column(0, {"", "5"});
    EXPECT_EQ(Stat(grid, {WholeColumn(0)}, "Sum"), ".00");
    EXPECT_EQ(Stat(grid, {WholeColumn(0)}, "Count"), ".00");
    try {
        Stat(grid, {WholeColumn(0)}, "Average");
        FAIL() << "no error";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), 11);
        EXPECT_EQ(e.description(), "Division by zero");
    }
}
