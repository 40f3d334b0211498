#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/Database.h"
#include "engine/engine_support.h"

using corv::Engine;
using corv::RecordsetType;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
using corv::enginetest::WriteFile;
namespace err = corv::err;
using Rows = std::vector<std::vector<std::string>>;

namespace {

class EngineExecute : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.sub("Auction14.mdb");
        {
            RawDb raw(path);
            raw.exec(
                "CREATE TABLE [Markets and Bidders] ([Auction Id] Long, [Round] Long, [Market] Text COLLATE "
                "NOCASE, "
                "[Block] Text COLLATE NOCASE, [Bidder Name] Text COLLATE NOCASE, [Bid Amount] Currency, "
                "[Net Bid Amount] Currency)");
            raw.exec(
                "INSERT INTO [Markets and Bidders] VALUES "
                "(14, 1, 'MTA001', 'A', 'Acme', 1000000, 850000),"
                "(14, 1, 'MTA002', '  ', 'Bolt''s', 250000.5, 212500.25),"
                "(14, 2, 'MTA001', 'A', 'Cobalt', 1100000, NULL),"
                "(14, 2, 'MTA003', 'B', 'acme', 300000, 255000)");
        }
        db = Engine().OpenDatabase(path);
    }
    std::vector<std::string> Tables() {
        std::vector<std::string> out;
        for (const auto& t : db->TableDefs()) out.push_back(t.Name);
        return out;
    }

    ScratchDir dir;
    std::string path;
    std::shared_ptr<corv::Database> db;
};

TEST_F(EngineExecute, RunsExactlyOneActionStatement) {
    EXPECT_THROW(db->Execute("DELETE * FROM [Markets and Bidders]; DROP TABLE [Markets and Bidders]"),
                 corv::CorvError);
    RawDb raw(path);
    EXPECT_EQ(raw.count("Markets and Bidders"), 4);

    EXPECT_NO_THROW(db->Execute("DELETE * FROM [Markets and Bidders] WHERE [Round] = 2;"));
    EXPECT_EQ(raw.count("Markets and Bidders"), 2);

    try {
        db->Execute("SELECT * FROM [Markets and Bidders]");
        ADD_FAILURE() << "a plain SELECT was executed";
    } catch (const corv::CorvError& e) {
        EXPECT_NE(e.number(), 0);
    }
}

TEST_F(EngineExecute, SelectIntoKeepsDeclaredTypesAndValues) {
    db->Execute(
        "SELECT [Round], [Bidder Name], [Bid Amount] INTO [Round 1 Bids] FROM [Markets and Bidders] "
        "WHERE [Round] = 1");
    RawDb raw(path);
    EXPECT_EQ(raw.query("SELECT name, lower(type) FROM pragma_table_info('Round 1 Bids')"),
              (Rows{{"text:Round", "text:long"},
                    {"text:Bidder Name", "text:text"},
                    {"text:Bid Amount", "text:currency"}}));
    EXPECT_EQ(raw.query("SELECT * FROM [Round 1 Bids] ORDER BY rowid"),
              (Rows{{"int:1", "text:Acme", "int:1000000"}, {"int:1", "text:Bolt's", "real:250000.5"}}));

    auto rs = db->OpenRecordset("[Round 1 Bids]", RecordsetType::Snapshot);
    EXPECT_EQ(rs->Field(2).type, corv::FieldType::Currency);
    EXPECT_EQ(rs->Field(0).type, corv::FieldType::Long);
    EXPECT_EQ(rs->GetValue("Round").toString(), "1");
    // Text columns of the new table still compare without regard to case.
    auto acme = db->OpenRecordset("SELECT * FROM [Round 1 Bids] WHERE [Bidder Name] = 'ACME'");
    EXPECT_EQ(acme->RecordCount(), 1);
}

TEST_F(EngineExecute, SelectIntoTypesExpressionColumnsBesidePlainOnesByTheirValues) {
    db->Execute(
        "SELECT [Bidder Name], [Round] & '' AS R, [Bid Amount] / 4 AS Q, [Net Bid Amount] * 1 AS N, [Bid "
        "Amount] "
        "INTO [Mixed] FROM [Markets and Bidders] WHERE [Round] = 2");
    RawDb raw(path);
    // N is Null in the first row.
    EXPECT_EQ(raw.query("SELECT name, lower(type) FROM pragma_table_info('Mixed')"),
              (Rows{{"text:Bidder Name", "text:text"},
                    {"text:R", "text:text"},
                    {"text:Q", "text:double"},
                    {"text:N", "text:long"},
                    {"text:Bid Amount", "text:currency"}}));
}

TEST_F(EngineExecute, SelectIntoRefusesAnExistingNameAndLeavesItAlone) {
    EXPECT_CORV_ERROR(db->Execute("SELECT [Round] INTO [markets AND bidders] FROM [Markets and Bidders]"),
                      err::TableExists);
    RawDb raw(path);
    EXPECT_EQ(raw.count("Markets and Bidders"), 4);
    EXPECT_EQ(raw.query("SELECT count(*) FROM pragma_table_info('Markets and Bidders')"), (Rows{{"int:7"}}));
}

TEST_F(EngineExecute, SelectIntoIsAllOrNothing) {
    {
        RawDb raw(path);
        raw.exec("CREATE TABLE Codes (Code Text)");
        raw.exec("INSERT INTO Codes VALUES ('1'), ('2'), ('x')");
    }
    // The third row fails to convert after the first two were written.
    EXPECT_THROW(db->Execute("SELECT CLng([Code]) AS N INTO [Numbers] FROM [Codes]"), corv::CorvError);
    const auto tables = Tables();
    EXPECT_EQ(std::find(tables.begin(), tables.end(), "Numbers"), tables.end());

    db->Execute("SELECT CLng([Code]) AS N INTO [Numbers] FROM [Codes] WHERE [Code] <> 'x'");
    RawDb raw(path);
    EXPECT_EQ(raw.query("SELECT N FROM Numbers ORDER BY rowid"), (Rows{{"int:1"}, {"int:2"}}));
    // An expression column takes its type from its values.
    EXPECT_EQ(raw.query("SELECT lower(type) FROM pragma_table_info('Numbers')"), (Rows{{"text:long"}}));
}

TEST_F(EngineExecute, SelectIntoNamesRepeatedColumnsApart) {
    db->Execute("SELECT [Round], [Round], [Market] INTO [Twice] FROM [Markets and Bidders]");
    auto rs = db->OpenRecordset("Twice");
    ASSERT_EQ(rs->FieldCount(), 3);
    EXPECT_EQ(rs->Field(0).name, "Round");
    EXPECT_NE(rs->Field(1).name, "Round");
    EXPECT_EQ(rs->RecordCount(), 4);
}

TEST_F(EngineExecute, ErrorsCarryTheEngineNumbers) {
    EXPECT_CORV_ERROR(db->Execute("DELETE * FROM [No Such Table]"), err::ObjectNotFound);
    EXPECT_CORV_ERROR(db->OpenRecordset("[No Such Table]"), err::ObjectNotFound);
    try {
        db->OpenRecordset("SELECT [Bidder Nme] FROM [Markets and Bidders]");
        ADD_FAILURE() << "unknown column accepted";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), err::TooFewParameters);
        EXPECT_NE(e.description().find("Bidder Nme"), std::string::npos) << e.description();
    }
    EXPECT_CORV_ERROR(db->Execute("CREATE TABLE [Markets and Bidders] ([A] Text)"), err::TableExists);
}

// What importing a round does: the round file's rows appended to the auction file named with IN.
class EngineInsertIn : public EngineExecute {
  protected:
    void SetUp() override {
        EngineExecute::SetUp();
        target = dir.sub("target.mdb");
        RawDb raw(target);
        // Same columns, another order: rows must land by name.
        raw.exec(
            "CREATE TABLE [Markets and Bidders] ([Net Bid Amount] Currency, [Bidder Name] Text, [Round] "
            "Long, "
            "[Auction Id] Long, [Block] Text, [Market] Text, [Bid Amount] Currency)");
    }
    std::string Statement() const {
        return "INSERT INTO [Markets and Bidders] IN \"" + target + "\" SELECT * FROM [Markets and Bidders]";
    }
    std::string target;
};

TEST_F(EngineInsertIn, AppendsByColumnName) {
    db->Execute(Statement());
    RawDb raw(target);
    EXPECT_EQ(
        raw.query("SELECT [Round], [Bidder Name], [Bid Amount], [Net Bid Amount] FROM [Markets and Bidders] "
                  "ORDER BY rowid LIMIT 3"),
        (Rows{{"int:1", "text:Acme", "int:1000000", "int:850000"},
              {"int:1", "text:Bolt's", "real:250000.5", "real:212500.25"},
              {"int:2", "text:Cobalt", "int:1100000", "null:"}}));
    // Repeating it (the same file attached once) appends again.
    db->Execute(Statement());
    EXPECT_EQ(raw.count("Markets and Bidders"), 8);
}

TEST_F(EngineInsertIn, RefusesMismatchedColumns) {
    {
        RawDb raw(target);
        raw.exec("DROP TABLE [Markets and Bidders]");
        raw.exec("CREATE TABLE [Markets and Bidders] ([Auction Id] Long, [Round] Long, [Market] Text)");
    }
    EXPECT_THROW(db->Execute(Statement()), corv::CorvError);
    RawDb raw(target);
    EXPECT_EQ(raw.count("Markets and Bidders"), 0);
}

TEST_F(EngineInsertIn, TargetMustBeAnExistingDatabase) {
    const std::string missing = dir.sub("nowhere.mdb");
    EXPECT_CORV_ERROR(db->Execute("INSERT INTO [Markets and Bidders] IN \"" + missing +
                                  "\" SELECT * FROM [Markets and Bidders]"),
                      err::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(missing));  // SQLite would have created it

    const std::string text = dir.sub("text.mdb");
    WriteFile(text, "not a database");
    EXPECT_CORV_ERROR(db->Execute("INSERT INTO [Markets and Bidders] IN \"" + text +
                                  "\" SELECT * FROM [Markets and Bidders]"),
                      err::UnrecognizedFormat);
}

TEST_F(EngineInsertIn, TransactionCoversTheOtherFile) {
    db->BeginTrans();
    EXPECT_TRUE(db->InTransaction());
    db->Execute("DELETE * FROM [Markets and Bidders] WHERE [Round] = 2");
    db->Execute(Statement());
    db->Rollback();
    EXPECT_FALSE(db->InTransaction());
    {
        RawDb raw(target);
        EXPECT_EQ(raw.count("Markets and Bidders"), 0);
        RawDb source(path);
        EXPECT_EQ(source.count("Markets and Bidders"), 4);
    }
    db->BeginTrans();
    db->Execute(Statement());
    db->CommitTrans();
    RawDb raw(target);
    EXPECT_EQ(raw.count("Markets and Bidders"), 4);
}

TEST_F(EngineExecute, NestedTransactionsUndoOnlyTheirOwnPart) {
    db->BeginTrans();
    db->Execute("DELETE * FROM [Markets and Bidders] WHERE [Round] = 1");
    db->BeginTrans();
    db->Execute("DELETE * FROM [Markets and Bidders] WHERE [Round] = 2");
    db->Rollback();
    db->CommitTrans();
    RawDb raw(path);
    EXPECT_EQ(raw.count("Markets and Bidders"), 2);
    EXPECT_THROW(db->CommitTrans(), corv::CorvError);
    EXPECT_THROW(db->Rollback(), corv::CorvError);
}

TEST_F(EngineExecute, DroppingATableAnOpenSetReadsIsRefused) {
    db->Execute("SELECT * INTO [Mine] FROM [Markets and Bidders]");
    auto rs = db->OpenRecordset("SELECT * FROM [Mine] WHERE [Round] = 1", RecordsetType::Snapshot);
    EXPECT_CORV_ERROR(db->Execute("DROP TABLE [MINE]"), err::TableInUse);
    const auto before = Tables();
    EXPECT_NE(std::find(before.begin(), before.end(), "Mine"), before.end());

    // A set derived by sorting reads the same table.
    rs->Sort = "[Bidder Name]";
    auto sorted = rs->OpenRecordset();
    rs->Close();
    EXPECT_CORV_ERROR(db->Execute("DROP TABLE [Mine]"), err::TableInUse);
    sorted.reset();
    db->Execute("DROP TABLE [Mine]");
    const auto tables = Tables();
    EXPECT_EQ(std::find(tables.begin(), tables.end(), "Mine"), tables.end());
    EXPECT_EQ(rs->RowCount(), 2u);  // the closed set's rows stay readable for a grid
}

TEST_F(EngineExecute, ASetOutlivesItsDatabase) {
    auto rs = db->OpenRecordset("[Markets and Bidders]");
    db->Close();
    EXPECT_FALSE(db->IsOpen());
    EXPECT_THROW(db->Execute("DELETE * FROM [Markets and Bidders]"), corv::CorvError);
    db.reset();
    EXPECT_EQ(rs->Cell(2, 4).toString(), "Cobalt");
    rs->Close();
}

TEST_F(EngineExecute, TableDefsListTablesInCreationOrder) {
    db->Execute("CREATE TABLE [sysSuppliedTables] ([TableName] Text)");
    db->Execute("CREATE TABLE [sysRounds] ([Round] Number)");
    {
        RawDb raw(path);
        raw.exec("CREATE TABLE counted (id INTEGER PRIMARY KEY AUTOINCREMENT)");
        raw.exec("INSERT INTO counted DEFAULT VALUES");
    }
    db->Execute("CREATE TABLE [sysTables] ([TableName] Text)");
    EXPECT_EQ(Tables(), (std::vector<std::string>{"Markets and Bidders", "sysSuppliedTables", "sysRounds",
                                                  "counted", "sysTables"}));
}

}  // namespace
