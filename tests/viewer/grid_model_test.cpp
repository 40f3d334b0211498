#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDate>
#include <QSignalSpy>
#include <optional>
#include <random>
#include <vector>

#include "engine/Database.h"
#include "engine/PagedRows.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"
#include "support/AuctionDatabase.h"
#include "viewer/CellFormatter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/SelectionStats.h"

using corv::CellFormatter;
using corv::CellKind;
using corv::FieldType;
using corv::Value;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kDe(QLocale::German, QLocale::Germany);
const QLocale kFr(QLocale::French, QLocale::France);

std::string Shown(const CellFormatter& f, const Value& v, CellKind k) {
    return f.Format(v, k).toStdString();
}

}  // namespace

TEST(CellFormat, WholeNumbersHaveNoDecimals) {
    CellFormatter f(kUs);
    EXPECT_EQ(Shown(f, Value(1), CellKind::Whole), "1");
    EXPECT_EQ(Shown(f, Value(1.0), CellKind::Whole), "1");
    EXPECT_EQ(Shown(f, Value(3.0), CellKind::Double), "3");
    EXPECT_EQ(Shown(f, Value(3.0), CellKind::Single), "3");
    EXPECT_EQ(Shown(f, Value(-42.0), CellKind::Auto), "-42");
    EXPECT_EQ(Shown(f, Value(1234567.0), CellKind::Double), "1234567");
    EXPECT_EQ(Shown(f, Value(std::int64_t{9000000000}), CellKind::Whole), "9000000000");
}

TEST(CellFormat, FractionsKeepTheirDigitsWithoutNoise) {
    CellFormatter f(kUs);
    EXPECT_EQ(Shown(f, Value(2.5), CellKind::Double), "2.5");
    EXPECT_EQ(Shown(f, Value(0.1 + 0.2), CellKind::Double), "0.3");
    // A Single read back as a double carries binary noise the user never typed.
    EXPECT_EQ(Shown(f, Value(static_cast<double>(0.1f)), CellKind::Single), "0.1");
    EXPECT_EQ(Shown(f, Value(1234.75), CellKind::Double), "1234.75");
    EXPECT_EQ(CellFormatter(kDe).Format(Value(2.5), CellKind::Double).toStdString(), "2,5");
}

TEST(CellFormat, CurrencyAsMoney) {
    CellFormatter f(kUs);
    EXPECT_EQ(Shown(f, Value(1234.5), CellKind::Currency), "1,234.50");
    EXPECT_EQ(Shown(f, Value(1000000.0), CellKind::Currency), "1,000,000.00");
    EXPECT_EQ(Shown(f, Value(0.0), CellKind::Currency), "0.00");
    EXPECT_EQ(Shown(f, Value(-5.0), CellKind::Currency), "-5.00");
    EXPECT_EQ(Shown(f, Value(7), CellKind::Currency), "7.00");
    EXPECT_EQ(Shown(f, Value(0.5), CellKind::Currency), "0.50");
    EXPECT_EQ(Shown(f, Value(1234.565), CellKind::Currency), "1,234.57");
    EXPECT_EQ(Shown(f, Value(-0.001), CellKind::Currency), "0.00");
    EXPECT_EQ(Shown(f, Value(999999.995), CellKind::Currency), "1,000,000.00");
    EXPECT_EQ(CellFormatter(kDe).Format(Value(1234.5), CellKind::Currency).toStdString(), "1.234,50");
}

TEST(CellFormat, NullBooleanBinary) {
    CellFormatter f(kUs);
    for (CellKind k :
         {CellKind::Whole, CellKind::Currency, CellKind::Text, CellKind::DateTime, CellKind::Boolean})
        EXPECT_EQ(Shown(f, Value(), k), "");
    EXPECT_EQ(Shown(f, Value(-1), CellKind::Boolean), "True");
    EXPECT_EQ(Shown(f, Value(1), CellKind::Boolean), "True");
    EXPECT_EQ(Shown(f, Value(0), CellKind::Boolean), "False");
    EXPECT_EQ(Shown(f, Value(corv::Blob{{1, 2, 3}}), CellKind::Binary), "(binary)");
    EXPECT_EQ(Shown(f, Value(corv::Blob{{1}}), CellKind::Text), "(binary)");
    EXPECT_EQ(Shown(f, Value("0004410"), CellKind::Text), "0004410");
}

TEST(CellFormat, DatesInTheShortFormTimeOnlyWhenNotMidnight) {
    CellFormatter f(kUs);
    EXPECT_EQ(Shown(f, Value("1997-03-04 00:00:00"), CellKind::DateTime), "3/4/1997");
    const QString withTime = f.Format(Value("1997-03-04 09:15:00"), CellKind::DateTime);
    EXPECT_TRUE(withTime.startsWith("3/4/1997 ")) << withTime.toStdString();
    EXPECT_TRUE(withTime.contains("9:15")) << withTime.toStdString();
    EXPECT_TRUE(f.Format(Value("1997-03-04 09:15:07"), CellKind::DateTime).contains("9:15:07"));
    // A day count (an expression's date) shows as the date it stands for.
    EXPECT_EQ(Shown(f, Value(2.0), CellKind::DateTime), "1/1/1900");
    EXPECT_EQ(Shown(f, Value("not a date"), CellKind::DateTime), "not a date");
    EXPECT_EQ(CellFormatter(kDe).Format(Value("1997-03-04 00:00:00"), CellKind::DateTime).toStdString(),
              "04.03.1997");
}

TEST(CellFormat, ShownNumbersConvertBackInTheSameLocale) {
    // The statistics read what the grid shows: every number shown must convert back to its value.
    for (const QLocale& locale : {kUs, kDe, kFr, QLocale::c()}) {
        CellFormatter f(locale);
        for (double v : {0.0, 1.0, 12.5, 1234.5, -98765.25, 1234567.89, 0.001}) {
            EXPECT_NEAR(corv::CellTextToDouble(f.Format(Value(v), CellKind::Currency), locale),
                        std::round(v * 100) / 100, 1e-9)
                << v;
            EXPECT_DOUBLE_EQ(corv::CellTextToDouble(f.Format(Value(v), CellKind::Double), locale), v) << v;
        }
    }
}

TEST(CellFormat, ShownMoneyIsTheNumberItsTextReadsBackAs) {
    // A whole-column total takes the shown number without writing the text: it must be the same number,
    // at the halves the written digits round away from zero included.
    CellFormatter f(QLocale::c());
    std::mt19937_64 random(7);
    std::vector<double> values = {2.675, 1.005, 0.125, -0.135, 1.115, 0.004999, -0.005, 4503599627370.495};
    for (int i = 0; i < 200000; ++i) {
        const double cents = static_cast<double>(random() % 100000000000) + (i % 3 ? 0.5 : 0.3);
        values.push_back((i % 2 ? -cents : cents) / (i % 5 ? 100 : 1000));
    }
    for (double v : values) {
        const std::optional<double> shown = f.ShownNumber(Value(v), CellKind::Currency);
        ASSERT_TRUE(shown);
        ASSERT_EQ(*shown, corv::CellTextToDouble(f.Format(Value(v), CellKind::Currency), QLocale::c())) << v;
    }
}

class GridModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        corv::test::TestApp();
        path_ = folder_.File("grid.db");
        std::vector<corv::FieldInfo> cols = {
            {"Round", FieldType::Long, ""},          {"Market", FieldType::Text, ""},
            {"Bid Amount", FieldType::Currency, ""}, {"Recorded", FieldType::DateTime, ""},
            {"Proactive", FieldType::Boolean, ""},   {"Figure", FieldType::Double, ""}};
        corv::test::RunSqlite(
            path_, corv::CreateTableSql("main", "Bids", cols) +
                       ";INSERT INTO Bids VALUES (1, 'Alpine', 1234.5, '1997-03-04 00:00:00', -1, 3.0);"
                       "INSERT INTO Bids VALUES (2, NULL, 0.5, NULL, 0, 2.25);"
                       "INSERT INTO Bids VALUES (3, 'Coastal', NULL, '1997-03-05 00:00:00', 0, NULL);");
        db_ = corv::Engine().OpenDatabase(path_);
    }
    corv::test::TempFolder folder_;
    std::string path_;
    std::shared_ptr<corv::Database> db_;
};

TEST_F(GridModelTest, ShowsTheSnapshotAsTheUserReadsIt) {
    corv::RecordsetModel model;
    model.SetRecordset(db_->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot));
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Round");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Bid Amount");
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "3");

    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "1");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "Alpine");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "1,234.50");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "3/4/1997");
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), "True");
    EXPECT_EQ(model.data(model.index(0, 5)).toString(), "3");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "");
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), "0.50");
    EXPECT_EQ(model.data(model.index(1, 4)).toString(), "False");
    EXPECT_EQ(model.data(model.index(1, 5)).toString(), "2.25");
    EXPECT_EQ(model.data(model.index(2, 2)).toString(), "");
}

// A row its file no longer gives: the grid shows an error in its cells, never blanks, and says so once.
TEST_F(GridModelTest, RowsTheFileCannotGiveShowAnErrorAndAreReportedOnce) {
    sqlite3* file = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &file), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(file, "CREATE TABLE r(c0); INSERT INTO r VALUES (7)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    auto data =
        std::make_shared<corv::SnapshotData>(std::vector<corv::FieldInfo>{{"N", FieldType::Long, ""}},
                                             std::make_shared<corv::PageSource>(file, "main.r", true));
    data->AppendRowId(1);
    data->AppendRowId(2);  // gone from the file
    data->FinishRowIds();
    corv::RecordsetModel model;
    QSignalSpy said(&model, &corv::RecordsetModel::RowsUnreadable);
    model.SetRecordset(std::make_shared<corv::Recordset>(std::weak_ptr<corv::Database>(), data,
                                                         corv::RecordsetType::Snapshot, "r",
                                                         std::vector<std::string>{}));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.CellText(0, 0), corv::RecordsetModel::kUnreadableCell);
    EXPECT_EQ(model.CellText(1, 0), corv::RecordsetModel::kUnreadableCell);
    QCoreApplication::processEvents();
    ASSERT_EQ(said.count(), 1);
    EXPECT_FALSE(said.front().at(1).toString().isEmpty());
}

TEST_F(GridModelTest, NumbersRightTextLeftNothingEditable) {
    corv::RecordsetModel model;
    model.SetRecordset(db_->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot));
    auto align = [&](int c) {
        return model.data(model.index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    EXPECT_TRUE(align(0) & Qt::AlignRight);
    EXPECT_TRUE(align(2) & Qt::AlignRight);
    EXPECT_TRUE(align(1) & Qt::AlignLeft);
    for (int c = 0; c < model.columnCount(); ++c) {
        EXPECT_FALSE(model.flags(model.index(0, c)) & Qt::ItemIsEditable);
        EXPECT_TRUE(model.flags(model.index(0, c)) & Qt::ItemIsSelectable);
    }
}

TEST_F(GridModelTest, OutsideTheTableAndAfterReplacing) {
    corv::RecordsetModel model;
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.CellText(0, 0), "");
    model.SetRecordset(db_->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot));
    EXPECT_EQ(model.CellText(3, 0), "");
    EXPECT_EQ(model.CellText(0, 6), "");
    EXPECT_EQ(model.CellText(-1, 0), "");
    // An expression column has no declared type: its values decide.
    model.SetRecordset(
        db_->OpenRecordset("SELECT [Round] * 2 AS Twice, [Market] FROM [Bids] WHERE [Round] = 3",
                           corv::RecordsetType::Snapshot));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.CellText(0, 0), "6");
    EXPECT_EQ(model.CellText(0, 1), "Coastal");
    model.SetRecordset(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
}
