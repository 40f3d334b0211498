// The grid shows a large set while it is still loading and adds the rest as it arrives.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"
#include "support/AuctionDatabase.h"
#include "viewer/RecordsetModel.h"

using corv::FieldType;

namespace {

constexpr int kRows = 300000;

class ProgressiveModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        corv::test::TestApp();
        path_ = folder_.File("big.db");
        corv::test::RunSqlite(
            path_, "BEGIN;" +
                       corv::CreateTableSql("main", "Bids",
                                            {{"Id", FieldType::Long, ""}, {"Code", FieldType::Text, ""}}) +
                       ";WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                       std::to_string(kRows) +
                       ") INSERT INTO Bids SELECT i, CASE WHEN i = 250000 THEN 'x' ELSE CAST(i AS TEXT) END "
                       "FROM n;COMMIT;");
        db_ = corv::Engine().OpenDatabase(path_);
    }
    corv::test::TempFolder folder_;
    std::string path_;
    std::shared_ptr<corv::Database> db_;
};

// Rows announced through rowsInserted, which must continue the rows already shown.
int AnnouncedRows(const QSignalSpy& spy, int shownBefore) {
    int next = shownBefore;
    for (const QList<QVariant>& args : spy) {
        EXPECT_EQ(args.at(1).toInt(), next);
        next = args.at(2).toInt() + 1;
    }
    return next - shownBefore;
}

// A set whose loading ends just after the grid first counts its rows: that count is already short.
class EndsWhileCounted : public corv::Recordset {
  public:
    EndsWhileCounted(std::shared_ptr<const corv::SnapshotData> rows, std::size_t first)
        : Recordset({}, std::move(rows), corv::RecordsetType::Snapshot, "", {}), first_(first) {}
    std::size_t RowCount() const override {
        if (ended_) return Recordset::RowCount();
        ended_ = true;
        return first_;
    }
    bool IsLoading() const override { return !ended_; }

  private:
    std::size_t first_;
    mutable bool ended_ = false;
};

}  // namespace

TEST_F(ProgressiveModelTest, ALoadEndingWhileTheGridTakesTheSetStillShowsEveryRow) {
    auto rows =
        std::make_shared<corv::SnapshotData>(std::vector<corv::FieldInfo>{{"Id", FieldType::Long, ""}});
    for (int i = 1; i <= 10; ++i) {
        rows->AppendValue(0, corv::Value(i));
        rows->EndRow();
    }
    corv::RecordsetModel model;
    model.SetRecordset(std::make_shared<EndsWhileCounted>(rows, 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 10; }, 5000));
    EXPECT_EQ(model.CellText(9, 0), "10");
}

TEST_F(ProgressiveModelTest, RowsArrivingAtOnceAreAddedInSeveralTicks) {
    auto rows =
        std::make_shared<corv::SnapshotData>(std::vector<corv::FieldInfo>{{"Id", FieldType::Long, ""}});
    const int count = corv::RecordsetModel::kRowsPerTick + 1000;
    for (int i = 1; i <= count; ++i) {
        rows->AppendValue(0, corv::Value(i));
        rows->EndRow();
    }
    corv::RecordsetModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.SetRecordset(std::make_shared<EndsWhileCounted>(rows, 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == count; }, 5000));
    EXPECT_GT(inserted.size(), 1);
    EXPECT_EQ(AnnouncedRows(inserted, 4), count - 4);
}

TEST_F(ProgressiveModelTest, ShowsTheFirstRowsAndAddsTheRestAsTheyArrive) {
    corv::RecordsetModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy failed(&model, &corv::RecordsetModel::LoadingFailed);
    auto rs = db_->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot);
    model.SetRecordset(rs);
    const int first = model.rowCount();
    ASSERT_GT(first, 0);
    ASSERT_LT(first, kRows);
    EXPECT_EQ(model.CellText(first - 1, 0), QString::number(first));
    EXPECT_EQ(model.CellText(first, 0), "");  // not shown yet, whatever has arrived meanwhile

    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == kRows; }, 20000));
    EXPECT_EQ(AnnouncedRows(inserted, first), kRows - first);
    EXPECT_EQ(model.CellText(kRows - 1, 0), QString::number(kRows));
    EXPECT_TRUE(failed.isEmpty());

    // Nothing more is announced once the set is complete.
    const qsizetype batches = inserted.size();
    QTest::qWait(150);
    EXPECT_EQ(inserted.size(), batches);
}

TEST_F(ProgressiveModelTest, ReportsAFailedLoadOnceAndKeepsTheRowsShown) {
    corv::RecordsetModel model;
    QSignalSpy failed(&model, &corv::RecordsetModel::LoadingFailed);
    model.SetRecordset(db_->OpenRecordset("SELECT CLng([Code]) AS N FROM [Bids]"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failed.isEmpty(); }, 20000));
    EXPECT_EQ(failed.front().at(0).toInt(), corv::err::TypeMismatch);
    EXPECT_EQ(model.rowCount(), 249999);
    QTest::qWait(150);
    EXPECT_EQ(failed.size(), 1);
}

TEST_F(ProgressiveModelTest, ReplacingTheSetStopsItsLoading) {
    corv::RecordsetModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    auto loading = db_->OpenRecordset("Bids");
    const std::weak_ptr<corv::Recordset> replaced = loading;
    model.SetRecordset(std::move(loading));
    ASSERT_LT(model.rowCount(), kRows);
    model.SetRecordset(db_->OpenRecordset("SELECT * FROM [Bids] WHERE [Id] <= 10"));
    EXPECT_EQ(model.rowCount(), 10);
    QTest::qWait(150);
    EXPECT_TRUE(inserted.isEmpty());
    EXPECT_EQ(model.rowCount(), 10);
    EXPECT_TRUE(replaced.expired());
}

TEST_F(ProgressiveModelTest, ClosingTheOpenersHandleLeavesTheGridComplete) {
    corv::RecordsetModel model;
    QSignalSpy failed(&model, &corv::RecordsetModel::LoadingFailed);
    auto rs = db_->OpenRecordset("SELECT * FROM [Bids]");
    model.SetRecordset(rs);
    rs->Close();  // the opener is done with it; the grid is not
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == kRows; }, 20000));
    EXPECT_TRUE(failed.isEmpty());

    // A set already stopped short when the grid takes it: the grid says why it is short.
    auto stopped = db_->OpenRecordset("SELECT * FROM [Bids]");
    stopped->Close();
    ASSERT_FALSE(stopped->IsComplete());
    model.SetRecordset(stopped);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed.front().at(0).toInt(), 3420);
    EXPECT_LT(model.rowCount(), kRows);
}
