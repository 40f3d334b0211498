// TRANSFORM ... PIVOT: crosstab record sets.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/Database.h"
#include "engine/EngineInternal.h"
#include "engine/engine_support.h"
#include "engine/sql/JetSqlParser.h"
#include "support/NeededFile.h"

using corv::Engine;
using corv::FieldType;
using corv::Recordset;
using corv::RecordsetType;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
namespace err = corv::err;
using corv::jetsql::detail::kTransformSyntax;

namespace {

const char* const kBids = "TRANSFORM Sum([Bid Amount]) SELECT [Round] FROM [Markets and Bidders] ";

std::vector<std::string> Names(const Recordset& rs) {
    std::vector<std::string> out;
    for (int c = 0; c < rs.FieldCount(); ++c) out.push_back(rs.Field(c).name);
    return out;
}

std::vector<std::string> Row(const Recordset& rs, std::size_t r) {
    std::vector<std::string> out;
    for (int c = 0; c < rs.FieldCount(); ++c)
        out.push_back(rs.Cell(r, c).isNull() ? "Null" : rs.Cell(r, c).toString());
    return out;
}

class EngineCrosstab : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = dir.sub("a.db");
        {
            RawDb raw(path);
            raw.exec(
                "CREATE TABLE [Markets and Bidders] ([Round] Long, [Bidder Name] Text, [Bid Amount] "
                "Currency)");
            raw.exec(
                "INSERT INTO [Markets and Bidders] VALUES (2, 'bolt', 5), (1, 'Bolt', 10.5), (1, 'Acme', 7), "
                "(1, 'Bolt', 1), (2, NULL, 3), (3, 'Acme', NULL)");
        }
        db = Engine().OpenDatabase(path);
    }
    ScratchDir dir;
    std::shared_ptr<corv::Database> db;
};

// Columns: the row headings, then the pivot values in ascending order, letter case ignored, Null first.
TEST_F(EngineCrosstab, PivotsOnTheValuesTheRowsHold) {
    auto rs = db->OpenRecordset(std::string(kBids) + "GROUP BY [Round] PIVOT [Bidder Name]",
                                RecordsetType::Snapshot);
    EXPECT_EQ(Names(*rs), (std::vector<std::string>{"Round", "<>", "Acme", "Bolt"}));
    ASSERT_EQ(rs->RowCount(), 3u);
    EXPECT_EQ(Row(*rs, 0), (std::vector<std::string>{"1", "Null", "7", "11.5"}));
    EXPECT_EQ(Row(*rs, 1), (std::vector<std::string>{"2", "3", "Null", "5"}));
    EXPECT_EQ(Row(*rs, 2), (std::vector<std::string>{"3", "Null", "Null", "Null"}));
    EXPECT_EQ(rs->Field(3).type, FieldType::Currency);
}

// An IN list fixes the columns and their order; rows of other values count in no cell, and a cell without
// rows is Null even for Count.
TEST_F(EngineCrosstab, InListFixesTheColumns) {
    auto rs = db->OpenRecordset(
        "TRANSFORM Count(*) AS N SELECT [Round], Sum([Bid Amount]) AS Total FROM [Markets and Bidders] "
        "WHERE [Round] < 3 GROUP BY [Round] ORDER BY [Round] DESC PIVOT [Bidder Name] IN ('BOLT', 'Zed', "
        "'acme')",
        RecordsetType::Snapshot);
    EXPECT_EQ(Names(*rs), (std::vector<std::string>{"Round", "Total", "BOLT", "Zed", "acme"}));
    ASSERT_EQ(rs->RowCount(), 2u);
    EXPECT_EQ(Row(*rs, 0), (std::vector<std::string>{"2", "8", "1", "Null", "Null"}));
    EXPECT_EQ(Row(*rs, 1), (std::vector<std::string>{"1", "18.5", "2", "Null", "1"}));
}

// The columns are the values of the rows the WHERE clause keeps, spelled as those rows spell them.
TEST_F(EngineCrosstab, PivotValuesComeFromTheRowsTheWhereClauseKeeps) {
    auto rs = db->OpenRecordset(std::string(kBids) + "WHERE [Round] = 2 GROUP BY [Round] PIVOT [Bidder Name]",
                                RecordsetType::Snapshot);
    EXPECT_EQ(Names(*rs), (std::vector<std::string>{"Round", "<>", "bolt"}));
}

// Each value heads a column of its own, under a heading that can be seen and that no other column holds; a
// value holding a NUL counts its own rows like any other.
TEST_F(EngineCrosstab, HeadingsAreVisibleAndUnique) {
    RawDb(dir.sub("a.db"))
        .exec(
            "CREATE TABLE [Keys] ([Round] Long, [Key], [N] Long); INSERT INTO [Keys] VALUES (1, NULL, 1), "
            "(1, "
            "1, 2), (1, '1', 4), (1, '<>', 8), (1, '', 16), (1, 'a' || char(0) || 'b', 32), (1, 'ROUND', "
            "64)");
    const std::string keys = "TRANSFORM Sum([N]) SELECT [Round] FROM [Keys] GROUP BY [Round] PIVOT [Key]";
    auto rs = db->OpenRecordset(keys, RecordsetType::Snapshot);
    EXPECT_EQ(Names(*rs),
              (std::vector<std::string>{"Round", "<>", "1", "''", "1 (2)", "<> (2)", "a b", "ROUND (2)"}));
    ASSERT_EQ(rs->RowCount(), 1u);
    EXPECT_EQ(Row(*rs, 0), (std::vector<std::string>{"1", "1", "2", "16", "4", "8", "32", "64"}));

    rs = db->OpenRecordset(keys + " IN ('', 1, '1', ' ', 'Round', '1 (2)')", RecordsetType::Snapshot);
    EXPECT_EQ(Names(*rs),
              (std::vector<std::string>{"Round", "''", "1", "1 (2)", "' '", "Round (2)", "1 (2) (2)"}));
    EXPECT_EQ(Row(*rs, 0), (std::vector<std::string>{"1", "16", "2", "4", "Null", "64", "Null"}));
}

TEST_F(EngineCrosstab, MalformedTransformIsASyntaxError) {
    EXPECT_CORV_ERROR(db->OpenRecordset(std::string(kBids) + "GROUP BY [Round]"), kTransformSyntax);
    EXPECT_CORV_ERROR(db->OpenRecordset(std::string(kBids) + "PIVOT [Bidder Name]"), kTransformSyntax);
    EXPECT_CORV_ERROR(
        db->OpenRecordset(
            "TRANSFORM [Round] SELECT [Round] FROM [Markets and Bidders] GROUP BY [Round] PIVOT [Round]"),
        kTransformSyntax);
    EXPECT_CORV_ERROR(db->OpenRecordset(std::string(kBids) + "GROUP BY [Round] PIVOT [Bidder Name] IN ('a'"),
                      err::SyntaxError);
    EXPECT_CORV_ERROR(db->Execute(std::string(kBids) + "GROUP BY [Round] PIVOT [Bidder Name]"),
                      corv::engine::kNotActionQuery);
}

// The real round results files: one column per bidder, each cell the sum a plain grouped query gives.
TEST(EngineCrosstabJet, PivotsRealRoundFiles) {
    for (const char* file : {"31_001.mdb", "31_002.mdb"}) {
        const std::string path = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction/" + file;
        CORV_NEED_FILE(path);
        auto db = Engine().OpenDatabase(path);
        auto rs = db->OpenRecordset(std::string(kBids) + "GROUP BY [Round] PIVOT [Bidder Name]",
                                    RecordsetType::Snapshot);
        auto plain = db->OpenRecordset(
            "SELECT [Bidder Name], Sum([Bid Amount]) FROM [Markets and Bidders] GROUP BY [Bidder Name] "
            "ORDER BY [Bidder Name]",
            RecordsetType::Snapshot);
        ASSERT_EQ(rs->RowCount(), 1u) << file;
        ASSERT_EQ(static_cast<std::size_t>(rs->FieldCount()), 1 + plain->RowCount()) << file;
        for (std::size_t b = 0; b < plain->RowCount(); ++b) {
            EXPECT_EQ(rs->Field(static_cast<int>(b) + 1).name, plain->Cell(b, 0).toString()) << file;
            EXPECT_EQ(rs->Cell(0, static_cast<int>(b) + 1), plain->Cell(b, 1)) << file;
        }
    }
}

}  // namespace
