#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/Database.h"
#include "engine/SnapshotData.h"
#include "engine/engine_support.h"

using corv::Engine;
using corv::Recordset;
using corv::RecordsetType;
using corv::Value;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
namespace err = corv::err;

namespace {

class EngineRecordset : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.sub("a.db");
        {
            RawDb raw(path);
            raw.exec(
                "CREATE TABLE [Bidder Eligibility] ([Round] Long, [Bidder Name] Text COLLATE NOCASE, "
                "[Orvane Acct] Long, [Eligibility] Currency, [Note] LongText)");
            raw.exec(
                "INSERT INTO [Bidder Eligibility] VALUES "
                "(1, 'Acme', 12, 500.25, NULL),"
                "(1, 'bolt', 7, 300, ''),"
                "(2, 'Cobalt', 12, 800, '007'),"
                "(2, 'ACME', 31, 500.25, 'x'),"
                "(3, 'Bolt', 7, 100, NULL)");
            raw.exec("CREATE TABLE [Empty] ([A] Text)");
        }
        db = Engine().OpenDatabase(path);
    }
    std::vector<std::string> Column(const Recordset& rs, const std::string& name) {
        std::vector<std::string> out;
        const int c = rs.FieldIndex(name);
        for (std::size_t r = 0; r < rs.RowCount(); ++r) out.push_back(rs.Cell(r, c).toString());
        return out;
    }

    ScratchDir dir;
    std::string path;
    std::shared_ptr<corv::Database> db;
};

TEST_F(EngineRecordset, OpensTablesByNameOrQuery) {
    auto byName = db->OpenRecordset("Bidder Eligibility");
    auto bracketed = db->OpenRecordset("[Bidder Eligibility]", RecordsetType::Snapshot);
    auto query = db->OpenRecordset("  select * from [Bidder Eligibility] where [Round] = 2");
    EXPECT_EQ(byName->RecordCount(), 5);
    EXPECT_EQ(bracketed->RecordCount(), 5);
    EXPECT_EQ(bracketed->Type(), RecordsetType::Snapshot);
    EXPECT_EQ(byName->Type(), RecordsetType::Dynaset);
    EXPECT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(bracketed->SourceTables(), std::vector<std::string>{"Bidder Eligibility"});
    EXPECT_EQ(query->Source(), "  select * from [Bidder Eligibility] where [Round] = 2");
}

TEST_F(EngineRecordset, FieldsCarryNamesAndDeclaredTypes) {
    auto rs = db->OpenRecordset(
        "SELECT [Round], [Eligibility], [Note], [Round] * 2 AS Twice FROM [Bidder Eligibility]");
    ASSERT_EQ(rs->FieldCount(), 4);
    EXPECT_EQ(rs->Field(0).name, "Round");
    EXPECT_EQ(rs->Field(0).type, corv::FieldType::Long);
    EXPECT_EQ(rs->Field(1).declaredType, "Currency");
    EXPECT_EQ(rs->Field(1).type, corv::FieldType::Currency);
    EXPECT_EQ(rs->Field(2).type, corv::FieldType::Memo);
    EXPECT_EQ(rs->Field(3).name, "Twice");
    EXPECT_EQ(rs->Field(3).type, corv::FieldType::Unknown);
    EXPECT_EQ(rs->FieldIndex("eligibility"), 1);
    EXPECT_EQ(rs->FieldIndex("Eligible"), -1);
    EXPECT_CORV_ERROR(rs->Field(4), 3265);
}

TEST_F(EngineRecordset, ValuesKeepTheirKind) {
    auto rs = db->OpenRecordset("[Bidder Eligibility]");
    EXPECT_EQ(rs->Cell(0, 0), Value(std::int64_t{1}));
    EXPECT_EQ(rs->Cell(0, 3), Value(500.25));
    EXPECT_TRUE(rs->Cell(0, 4).isNull());
    EXPECT_EQ(rs->Cell(1, 4), Value(""));  // empty text is not Null
    EXPECT_EQ(rs->Cell(2, 4), Value("007"));
    EXPECT_EQ(rs->Cell(1, 3).toString(), "300");
    EXPECT_TRUE(rs->Cell(99, 0).isNull());

    RawDb raw(path);
    raw.exec("CREATE TABLE odd (a, b)");
    raw.exec("INSERT INTO odd VALUES (9007199254740993, x'00ff10'), (-5, 'é ü')");
    auto odd = db->OpenRecordset("odd");
    EXPECT_EQ(odd->Cell(0, 0).asInteger(), 9007199254740993LL);
    ASSERT_TRUE(odd->Cell(0, 1).isBlob());
    EXPECT_EQ(odd->Cell(0, 1).blob().bytes, (std::vector<unsigned char>{0x00, 0xff, 0x10}));
    EXPECT_EQ(odd->Cell(1, 0), Value(std::int64_t{-5}));
    EXPECT_EQ(odd->Cell(1, 1), Value("é ü"));
}

TEST_F(EngineRecordset, IsAStableCopy) {
    auto rs =
        db->OpenRecordset("SELECT * FROM [Bidder Eligibility] WHERE [Round] = 1", RecordsetType::Snapshot);
    db->Execute("UPDATE [Bidder Eligibility] SET [Eligibility] = 0");
    db->Execute("DELETE * FROM [Bidder Eligibility] WHERE [Round] = 1");
    db->Execute("INSERT INTO [Bidder Eligibility] ([Round], [Bidder Name]) VALUES (1, 'Dyna')");
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(Column(*rs, "Bidder Name"), (std::vector<std::string>{"Acme", "bolt"}));
    EXPECT_EQ(Column(*rs, "Eligibility"), (std::vector<std::string>{"500.25", "300"}));
}

TEST_F(EngineRecordset, CursorWalksTheRows) {
    auto rs = db->OpenRecordset("SELECT [Bidder Name] FROM [Bidder Eligibility] WHERE [Round] = 1");
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->GetValue("Bidder Name").toString(), "Acme");
    rs->MoveNext();
    EXPECT_EQ(rs->GetValue(0).toString(), "bolt");
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_CORV_ERROR(rs->GetValue(0), err::NoCurrentRecord);
    EXPECT_CORV_ERROR(rs->MoveNext(), err::NoCurrentRecord);
    rs->MovePrevious();
    EXPECT_EQ(rs->GetValue(0).toString(), "bolt");
    rs->MoveFirst();
    rs->MovePrevious();
    EXPECT_TRUE(rs->Bof());
    EXPECT_CORV_ERROR(rs->GetValue(0), err::NoCurrentRecord);
    rs->MoveNext();
    EXPECT_EQ(rs->GetValue(0).toString(), "Acme");
    rs->MoveLast();
    EXPECT_EQ(rs->GetValue(0).toString(), "bolt");
    EXPECT_EQ(rs->AbsolutePosition(), 1);
    EXPECT_CORV_ERROR(rs->GetValue("Round"), 3265);

    rs->Close();
    EXPECT_TRUE(rs->IsClosed());
    EXPECT_THROW(rs->MoveFirst(), corv::CorvError);
    EXPECT_THROW(rs->GetValue(0), corv::CorvError);
}

TEST_F(EngineRecordset, EmptySetHasNoCurrentRecord) {
    auto rs = db->OpenRecordset("SELECT * FROM [Bidder Eligibility] WHERE [Round] = 99");
    EXPECT_TRUE(rs->Eof());
    EXPECT_TRUE(rs->Bof());
    EXPECT_EQ(rs->RecordCount(), 0);
    EXPECT_EQ(rs->FieldCount(), 5);
    EXPECT_CORV_ERROR(rs->MoveFirst(), err::NoCurrentRecord);
    EXPECT_CORV_ERROR(rs->MoveLast(), err::NoCurrentRecord);
    EXPECT_CORV_ERROR(rs->GetValue("Round"), err::NoCurrentRecord);
    EXPECT_CORV_ERROR(db->OpenRecordset("Empty")->MoveLast(), err::NoCurrentRecord);
}

TEST_F(EngineRecordset, OpenRecordsetRefusesActionStatements) {
    EXPECT_THROW(db->OpenRecordset("DELETE * FROM [Bidder Eligibility]"), corv::CorvError);
    RawDb raw(path);
    EXPECT_EQ(raw.count("Bidder Eligibility"), 5);
}

// Filter and Sort narrow and order the rows a set already holds.
class EngineFilterSort : public EngineRecordset {};

TEST_F(EngineFilterSort, FilterWorksOnTheSetsOwnRows) {
    auto round2 =
        db->OpenRecordset("SELECT * FROM [Bidder Eligibility] WHERE [Round] >= 2", RecordsetType::Snapshot);
    db->Execute("DELETE * FROM [Bidder Eligibility]");  // the source is gone; the set's rows are not

    round2->Filter = "[Bidder Name] =\"acme\"";
    auto acme = round2->OpenRecordset();
    EXPECT_EQ(acme->Type(), RecordsetType::Snapshot);
    EXPECT_EQ(acme->SourceTables(), round2->SourceTables());
    EXPECT_EQ(Column(*acme, "Bidder Name"), std::vector<std::string>{"ACME"});
    EXPECT_EQ(acme->Field(3).type, corv::FieldType::Currency);

    // Filters accumulate: the second works on the first one's rows.
    round2->Filter = "[Orvane Acct] =\"12\" Or [Round] =3";
    auto wide = round2->OpenRecordset();
    EXPECT_EQ(Column(*wide, "Bidder Name"), (std::vector<std::string>{"Cobalt", "Bolt"}));
    wide->Filter = "[Round] =3";
    EXPECT_EQ(Column(*wide->OpenRecordset(), "Bidder Name"), std::vector<std::string>{"Bolt"});
}

TEST_F(EngineFilterSort, SortOrdersTextWithoutCaseAndKeepsTies) {
    auto all = db->OpenRecordset("[Bidder Eligibility]", RecordsetType::Snapshot);
    all->Sort = "[Bidder Name], [Round] DESC";
    auto sorted = all->OpenRecordset(RecordsetType::Dynaset);
    EXPECT_EQ(sorted->Type(), RecordsetType::Dynaset);
    EXPECT_EQ(Column(*sorted, "Bidder Name"),
              (std::vector<std::string>{"ACME", "Acme", "Bolt", "bolt", "Cobalt"}));

    all->Sort = "[Eligibility] DESC";
    auto byAmount = all->OpenRecordset();
    // Equal amounts keep the order they had.
    EXPECT_EQ(Column(*byAmount, "Bidder Name"),
              (std::vector<std::string>{"Cobalt", "Acme", "ACME", "bolt", "Bolt"}));

    byAmount->Filter = "[Round] <3";
    byAmount->Sort = "[Round]";
    EXPECT_EQ(Column(*byAmount->OpenRecordset(), "Bidder Name"),
              (std::vector<std::string>{"Acme", "bolt", "Cobalt", "ACME"}));
}

TEST_F(EngineFilterSort, AccentedCapitalsFoldWhateverTheColumnsCollation) {
    RawDb(path).exec(
        "CREATE TABLE [Plain] ([Name] TEXT, [N] Long);"
        "INSERT INTO [Plain] VALUES ('élan', 1), ('Beta', 2), ('ÉLAN', 3), ('alpha', 4)");
    auto names = db->OpenRecordset("SELECT DISTINCT [Name] FROM [Plain]", RecordsetType::Snapshot);
    EXPECT_EQ(names->RecordCount(), 3);
    EXPECT_EQ(names->Field(0).type, corv::FieldType::Text);

    auto all = db->OpenRecordset("SELECT [Name], [N] FROM [Plain]", RecordsetType::Snapshot);
    all->Filter = "[Name] = 'Élan'";
    EXPECT_EQ(Column(*all->OpenRecordset(), "N"), (std::vector<std::string>{"1", "3"}));
    all->Filter.clear();
    all->Sort = "[Name]";
    EXPECT_EQ(Column(*all->OpenRecordset(), "N"), (std::vector<std::string>{"4", "2", "1", "3"}));
}

TEST_F(EngineFilterSort, NoFilterOrSortGivesTheSameRows) {
    auto all = db->OpenRecordset("[Bidder Eligibility]");
    auto copy = all->OpenRecordset();
    EXPECT_EQ(copy->RecordCount(), 5);
    EXPECT_EQ(Column(*copy, "Bidder Name"), Column(*all, "Bidder Name"));
}

TEST_F(EngineFilterSort, BadFilterTextIsAnError) {
    auto all = db->OpenRecordset("[Bidder Eligibility]");
    all->Filter = " And [Round] >=5";
    EXPECT_THROW(all->OpenRecordset(), corv::CorvError);
    all->Filter = "[No Such Column] =1";
    EXPECT_THROW(all->OpenRecordset(), corv::CorvError);
    all->Filter = "";
    all->Sort = "[No Such Column]";
    EXPECT_THROW(all->OpenRecordset(), corv::CorvError);
    EXPECT_EQ(all->RecordCount(), 5);
}

TEST(EngineSnapshotData, LargeSetsStayCompact) {
    corv::SnapshotData data(
        {{"Round", corv::FieldType::Long, "Long"}, {"Market", corv::FieldType::Text, "Text"}});
    for (int i = 0; i < 100000; ++i) {
        data.AppendValue(0, Value(i));
        data.AppendValue(1, Value(i % 7 ? "MTA001" : ""));
        data.EndRow();
    }
    data.ShrinkToFit();
    ASSERT_EQ(data.RowCount(), 100000u);
    EXPECT_EQ(data.Cell(99999, 0), Value(99999));
    EXPECT_EQ(data.Cell(7, 1), Value(""));
    EXPECT_EQ(data.TextAt(8, 1), "MTA001");
    // 9 bytes a cell plus the text itself: no per-cell allocation.
    EXPECT_LT(data.MemoryBytes(), 100000u * (2 * 9 + 6) + 4096);

    const std::string big(20u << 20, 'q');  // longer than a packed length can say
    corv::SnapshotData memo({{"Note", corv::FieldType::Memo, "LongText"}});
    memo.AppendValue(0, Value(big));
    memo.EndRow();
    memo.AppendValue(0, Value("short"));
    memo.EndRow();
    EXPECT_EQ(memo.Cell(0, 0).text().size(), big.size());
    EXPECT_EQ(memo.Cell(1, 0), Value("short"));
}

}  // namespace
