#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/Database.h"
#include "engine/SnapshotData.h"
#include "engine/engine_support.h"
#include "support/NeededFile.h"

using corv::Engine;
using corv::RecordsetType;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
using corv::enginetest::WriteFile;
namespace err = corv::err;

namespace {

std::vector<std::string> Names(const std::vector<corv::TableDef>& defs) {
    std::vector<std::string> out;
    for (const auto& d : defs) out.push_back(d.Name);
    return out;
}

// Opening recognises files by their content alone.
TEST(EngineOpen, FilesAreRecognisedByContentNotName) {
    ScratchDir dir;
    const std::string sqliteAsTxt = dir.sub("notes.txt");
    {
        RawDb raw(sqliteAsTxt);
        raw.exec("CREATE TABLE [Round Statistics] (x Long)");
    }
    auto db = Engine().OpenDatabase(sqliteAsTxt);
    EXPECT_EQ(db->Origin(), corv::DatabaseOrigin::Sqlite);
    EXPECT_EQ(Names(db->TableDefs()), std::vector<std::string>{"Round Statistics"});
    EXPECT_TRUE(corv::DbEngine::IsSqliteFile(sqliteAsTxt));
    EXPECT_FALSE(corv::DbEngine::IsJetFile(sqliteAsTxt));

    const std::string textAsMdb = dir.sub("14_001.mdb");
    WriteFile(textAsMdb, "Auction Id\tRound\n14\t1\n");
    EXPECT_CORV_ERROR(Engine().OpenDatabase(textAsMdb), err::UnrecognizedFormat);

    const std::string empty = dir.sub("empty.mdb");
    WriteFile(empty, "");
    EXPECT_CORV_ERROR(Engine().OpenDatabase(empty), err::UnrecognizedFormat);

    EXPECT_CORV_ERROR(Engine().OpenDatabase(dir.sub("missing.mdb")), err::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(dir.sub("missing.mdb")));

    EXPECT_CORV_ERROR(Engine().OpenDatabase(dir.sub("")), err::UnrecognizedFormat);  // a folder
}

TEST(EngineOpen, DamagedDatabaseFailsAtOpen) {
    ScratchDir dir;
    const std::string path = dir.sub("damaged.db");
    std::string bytes("SQLite format 3\0", 16);
    bytes += std::string(4000, '\x5a');
    WriteFile(path, bytes);
    EXPECT_TRUE(corv::DbEngine::IsSqliteFile(path));
    EXPECT_CORV_ERROR(Engine().OpenDatabase(path), err::UnrecognizedFormat);
}

TEST(EngineOpen, CreateDatabaseMakesARecognisedEmptyFileOnce) {
    ScratchDir dir;
    const std::string path = dir.sub("Auction7.mdb");
    {
        auto db = Engine().CreateDatabase(path);
        EXPECT_TRUE(db->TableDefs().empty());
        db->Execute("CREATE TABLE [sysRounds] ([Round] Number)");
    }
    EXPECT_TRUE(corv::DbEngine::IsSqliteFile(path));
    auto again = Engine().OpenDatabase(path);
    EXPECT_EQ(Names(again->TableDefs()), std::vector<std::string>{"sysRounds"});

    try {
        Engine().CreateDatabase(path);
        ADD_FAILURE() << "an existing file was created again";
    } catch (const corv::CorvError& e) {
        EXPECT_NE(e.number(), 0);
    }
    EXPECT_EQ(Names(again->TableDefs()), std::vector<std::string>{"sysRounds"});

    EXPECT_CORV_ERROR(Engine().CreateDatabase(dir.sub("no/such/folder/Auction1.mdb")), err::PathNotFound);

    // A file created but never written to must still open as a database.
    const std::string untouched = dir.sub("untouched.mdb");
    Engine().CreateDatabase(untouched)->Close();
    EXPECT_NO_THROW(Engine().OpenDatabase(untouched));
}

// Nothing a foreign file defines may run against our data.
TEST(EngineOpen, TriggersAndViewsOfAFileNeverRun) {
    ScratchDir dir;
    const std::string path = dir.sub("foreign.db");
    {
        RawDb raw(path);
        raw.exec("CREATE TABLE bids (amount Currency)");
        raw.exec("CREATE TABLE log (what Text)");
        raw.exec("CREATE TRIGGER spy AFTER INSERT ON bids BEGIN INSERT INTO log VALUES ('inserted'); END");
        raw.exec("CREATE TRIGGER wipe BEFORE DELETE ON bids BEGIN DELETE FROM log; END");
        raw.exec("INSERT INTO log VALUES ('kept')");
        raw.exec("CREATE VIEW peek AS SELECT * FROM log");
    }
    {
        auto db = Engine().OpenDatabase(path);
        db->Execute("INSERT INTO bids VALUES (100)");
        db->Execute("DELETE * FROM bids");
        EXPECT_THROW(db->OpenRecordset("SELECT * FROM peek"), corv::CorvError);
    }
    RawDb check(path);
    EXPECT_EQ(check.query("SELECT what FROM log"), (std::vector<std::vector<std::string>>{{"text:kept"}}));
    EXPECT_EQ(check.count("bids"), 0);
}

TEST(EngineOpen, ChangesAreVisibleThroughOtherHandlesAtOnce) {
    ScratchDir dir;
    const std::string path = dir.sub("a.db");
    {
        RawDb raw(path);
        raw.exec("CREATE TABLE sysRounds (Round Number)");
    }
    auto first = Engine().OpenDatabase(path);
    auto second = Engine().OpenDatabase(path);
    first->Execute("INSERT INTO sysRounds (Round) VALUES (2)");

    auto rs = second->OpenRecordset("SELECT * FROM sysRounds", RecordsetType::Snapshot);
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->GetValue("Round").toString(), "2");
    RawDb raw(path);
    EXPECT_EQ(raw.count("sysRounds"), 1);
}

TEST(EngineOpen, LockedFileWaitsThenReportsInUse) {
    ScratchDir dir;
    const std::string path = dir.sub("a.db");
    RawDb other(path);
    other.exec("CREATE TABLE t (x Long)");
    auto db = Engine().OpenDatabase(path);

    // A lock held briefly is waited for.
    other.exec("BEGIN EXCLUSIVE");
    other.exec("INSERT INTO t VALUES (1)");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec("COMMIT");
    });
    EXPECT_NO_THROW(db->Execute("INSERT INTO t VALUES (2)"));
    release.join();
    EXPECT_EQ(other.count("t"), 2);

    // A lock held for good ends in "file in use", after waiting rather than at once.
    other.exec("BEGIN EXCLUSIVE");
    other.exec("INSERT INTO t VALUES (3)");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_CORV_ERROR(db->Execute("INSERT INTO t VALUES (4)"), err::FileInUse);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_CORV_ERROR(Engine().OpenDatabase(path), err::FileInUse);
    other.exec("ROLLBACK");
    EXPECT_EQ(other.count("t"), 2);
}

// Another program's read holds part of the log back: the checkpoint leaves that part instead of waiting for
// it.
TEST(EngineOpen, CheckpointNeverWaitsForAnotherReader) {
    ScratchDir dir;
    const std::string path = dir.sub("a.db");
    RawDb(path).exec("CREATE TABLE t (x Long)");
    auto db = Engine().OpenDatabase(path);
    db->KeepWriteAheadLog();
    db->Execute("INSERT INTO t VALUES (1)");
    RawDb reader(path);
    reader.exec("BEGIN; SELECT * FROM t");
    db->Execute("INSERT INTO t VALUES (2)");
    int waits = 0;
    sqlite3_busy_handler(
        db->Handle(),
        [](void* n, int) {
            ++*static_cast<int*>(n);
            return 0;
        },
        &waits);
    EXPECT_NO_THROW(db->Checkpoint());
    EXPECT_EQ(waits, 0);
    reader.exec("COMMIT");
    EXPECT_EQ(reader.count("t"), 2);
}

std::string JetSample(const std::string& name) {
    return std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/" + name;
}

// A file is renamed whole: its log folded in first, and never while another connection still holds it.
TEST(EngineOpen, RenamedFilesTakeTheirLogAlongOrStay) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    const std::string path = dir.sub("a.db");
    {
        RawDb writer(path);
        writer.exec("PRAGMA journal_mode=WAL; CREATE TABLE t (x Long); INSERT INTO t VALUES (7)");
        RawDb holder(path);
        holder.exec("SELECT * FROM t");
        ASSERT_TRUE(fs::exists(path + "-wal"));
        EXPECT_CORV_ERROR(Engine().RenameDatabaseFile(path, dir.sub("b.db")), err::FileInUse);
        EXPECT_TRUE(fs::exists(path));
        EXPECT_FALSE(corv::DbEngine::FileOrSidecarExists(dir.sub("b.db")));
    }
    {
        RawDb keep(path);  // the log stays while it is open; the last close would fold it in
        keep.exec("INSERT INTO t VALUES (8)");
        ASSERT_TRUE(fs::exists(path + "-wal"));
        fs::copy_file(path, dir.sub("crashed.db"));
        fs::copy_file(path + "-wal", dir.sub("crashed.db-wal"));
    }
    Engine().RenameDatabaseFile(dir.sub("crashed.db"), dir.sub("whole.db"));
    EXPECT_FALSE(corv::DbEngine::FileOrSidecarExists(dir.sub("crashed.db")));
    EXPECT_FALSE(fs::exists(dir.sub("whole.db-wal")));
    RawDb whole(dir.sub("whole.db"));
    EXPECT_EQ(whole.count("t"), 2);

    // Damaged beyond reading, it still moves, and nothing of it stays behind at its old name.
    const std::string damaged = dir.sub("damaged.db");
    WriteFile(damaged, std::string("SQLite format 3\0", 16) + std::string(4000, '\x5a'));
    WriteFile(damaged + "-journal", "journal");
    Engine().RenameDatabaseFile(damaged, dir.sub("aside.db"));
    EXPECT_FALSE(corv::DbEngine::FileOrSidecarExists(damaged));
    EXPECT_TRUE(fs::exists(dir.sub("aside.db")));
}

TEST(EngineOpen, JetFilesOpenAsReadOnlyCopies) {
    const std::string nwind = JetSample("nwind.mdb");
    CORV_NEED_FILE(nwind);
    ASSERT_TRUE(corv::DbEngine::IsJetFile(nwind));
    const auto sizeBefore = std::filesystem::file_size(nwind);

    auto db = Engine().OpenDatabase(nwind);
    EXPECT_EQ(db->Origin(), corv::DatabaseOrigin::Jet);
    const auto tables = Names(db->TableDefs());
    ASSERT_FALSE(tables.empty());
    const std::string first = tables.front();
    auto rs = db->OpenRecordset("[" + first + "]", RecordsetType::Snapshot);
    const long rows = rs->RecordCount();

    EXPECT_CORV_ERROR(db->Execute("DELETE * FROM [" + first + "]"), err::ReadOnlyDatabase);
    EXPECT_CORV_ERROR(db->Execute("CREATE TABLE [Extra] ([A] Text)"), err::ReadOnlyDatabase);
    EXPECT_CORV_ERROR(db->Execute("SELECT * INTO [Copy] FROM [" + first + "]"), err::ReadOnlyDatabase);
    EXPECT_EQ(db->OpenRecordset("[" + first + "]")->RecordCount(), rows);
    EXPECT_EQ(Names(db->TableDefs()), tables);
    EXPECT_EQ(std::filesystem::file_size(nwind), sizeBefore);

    // What a round import does: the Jet file's rows appended to a file named with IN.
    ScratchDir dir;
    const std::string target = dir.sub("Auction1.mdb");
    {
        auto out = Engine().CreateDatabase(target);
        std::vector<corv::FieldInfo> fields = rs->Data()->Fields();
        std::string ddl = "CREATE TABLE [" + first + "] (";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            ddl += (i ? ", [" : "[") + fields[i].name + "] " +
                   (fields[i].declaredType.empty() ? "Text" : fields[i].declaredType);
        }
        out->Execute(ddl + ")");
    }
    db->Execute("INSERT INTO [" + first + "] IN \"" + target + "\" SELECT * FROM [" + first + "]");
    RawDb check(target);
    EXPECT_EQ(check.count(first), rows);

    // The in-memory copy may create files; a mistyped target must still not come into being.
    const std::string missing = dir.sub("Auction2.mdb");
    EXPECT_CORV_ERROR(
        db->Execute("INSERT INTO [" + first + "] IN \"" + missing + "\" SELECT * FROM [" + first + "]"),
        err::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
