// Large sets read from a file open with their first rows and load the rest in the background.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/Database.h"
#include "engine/EngineInternal.h"
#include "engine/PagedRows.h"
#include "engine/SnapshotData.h"
#include "engine/engine_support.h"

using corv::Engine;
using corv::Recordset;
using corv::Value;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
namespace err = corv::err;
namespace fs = std::filesystem;

namespace {

constexpr long kRows = 200000;
constexpr int kRounds = 50;

// Bids 1..kRows; every 1000th has no note and every 777th a blob, so all cell kinds reach the loader.
void WriteBids(const std::string& path) {
    RawDb raw(path);
    raw.exec(
        "CREATE TABLE [Bids] ([Id] Long, [Round] Long, [Market] Text, [Amount] Currency, [Note] Text, "
        "[Raw] LongBinary)");
    raw.exec("CREATE TABLE [Codes] ([Code] Text)");
    raw.exec("BEGIN");
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw.handle(), "INSERT INTO Bids VALUES (?,?,?,?,?,?)", -1, &st, nullptr),
              SQLITE_OK);
    for (long i = 1; i <= kRows; ++i) {
        const std::string market = "M" + std::to_string(i % 493) + "-Area";
        sqlite3_bind_int64(st, 1, i);
        sqlite3_bind_int64(st, 2, 1 + i % kRounds);
        sqlite3_bind_text(st, 3, market.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 4, 1000.0 + (i % 9973) * 0.25);
        if (i % 1000 == 0)
            sqlite3_bind_null(st, 5);
        else
            sqlite3_bind_text(st, 5, i % 3 ? "  " : "late bid", -1, SQLITE_STATIC);
        if (i % 777 == 0) {
            const unsigned char bytes[3] = {static_cast<unsigned char>(i & 0xff), 0, 7};
            sqlite3_bind_blob(st, 6, bytes, 3, SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(st, 6);
        }
        ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    // One bad code far beyond the first rows: converting it fails only in the background.
    raw.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150000) "
        "INSERT INTO Codes SELECT CASE WHEN i = 120000 THEN 'x' ELSE CAST(i AS TEXT) END FROM n");
    raw.exec("COMMIT");
}

std::uint64_t Mix(std::uint64_t h, const std::string& s) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return (h ^ 0xff) * 1099511628211ull;
}

// Every cell's kind and text, in order.
std::uint64_t Checksum(const Recordset& rs) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t r = 0; r < rs.RowCount(); ++r) {
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const Value v = rs.Cell(r, c);
            h = Mix(h, (v.isNull() ? "n" : v.isBlob() ? "b" : v.isText() ? "t" : "#") + v.toString());
        }
    }
    return h;
}

int ThreadCount() {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/task")) {
        (void)e;
        ++n;
    }
    return n;
}

// The thread count once it has come down to at most count, or as it is after a second: a joined thread
// can stay listed for a moment while the kernel takes it down.
int ThreadCountSettledTo(int count) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int n = ThreadCount();
    while (n > count && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        n = ThreadCount();
    }
    return n;
}

class EngineProgressive : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        source_ = new ScratchDir;
        WriteBids(source_->sub("bids.db"));
    }
    static void TearDownTestSuite() {
        delete source_;
        source_ = nullptr;
    }
    void SetUp() override {
        path = dir.sub("bids.db");
        fs::copy_file(source_->sub("bids.db"), path);
    }
    void Open() { db = Engine().OpenDatabase(path); }

    static ScratchDir* source_;
    ScratchDir dir;
    std::string path;
    std::shared_ptr<corv::Database> db;
};

ScratchDir* EngineProgressive::source_ = nullptr;

}  // namespace

TEST_F(EngineProgressive, OpensWithTheFirstRowsAndLoadsTheSameRowsAsAPlainRead) {
    Open();
    auto rs = db->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot);
    const std::size_t first = rs->RowCount();
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, static_cast<std::size_t>(kRows));
    EXPECT_FALSE(rs->IsComplete());
    EXPECT_EQ(rs->Cell(0, 0), Value(1));
    EXPECT_TRUE(rs->Cell(kRows + 5, 0).isNull());  // past the end: nothing, no wait

    rs->WaitComplete();
    EXPECT_TRUE(rs->IsComplete());
    EXPECT_FALSE(rs->IsLoading());
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(rs->Cell(kRows - 1, 0), Value(kRows));
    EXPECT_TRUE(rs->Cell(999, 4).isNull());
    EXPECT_EQ(rs->Cell(1553, 5).blob().bytes.size(), 3u);

    // Inside a transaction the engine reads the whole set before it opens.
    db->BeginTrans();
    auto plain = db->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot);
    db->Rollback();
    EXPECT_TRUE(plain->IsComplete());
    ASSERT_EQ(plain->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(Checksum(*rs), Checksum(*plain));
}

TEST_F(EngineProgressive, RowsBelowTheCountAreWholeWhileTheLoaderAppends) {
    Open();
    auto rs = db->OpenRecordset("SELECT [Id], [Market], [Note] FROM [Bids]");
    ASSERT_FALSE(rs->IsComplete());
    // The newest rows are read as soon as they are counted, racing the loader's next ones.
    std::size_t checked = 0;
    while (checked < static_cast<std::size_t>(kRows)) {
        const std::size_t count = rs->RowCount();
        for (std::size_t r = checked; r < count; ++r) {
            ASSERT_EQ(rs->Cell(r, 0), Value(static_cast<std::int64_t>(r + 1))) << r;
            ASSERT_EQ(rs->Cell(r, 1).toString(), "M" + std::to_string((r + 1) % 493) + "-Area") << r;
            ASSERT_EQ(rs->Cell(r, 2).isNull(), (r + 1) % 1000 == 0) << r;
        }
        checked = count;
        if (!rs->IsLoading() && rs->RowCount() == checked) break;
    }
    EXPECT_EQ(checked, static_cast<std::size_t>(kRows));
}

TEST_F(EngineProgressive, CursorSeesEveryRowAndCountsLikeTheClassicEngine) {
    Open();
    auto rs = db->OpenRecordset("Bids");
    EXPECT_LT(rs->RecordCount(), kRows);  // rows visited so far
    long visited = 0;
    std::int64_t sum = 0;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
        ++visited;
        sum += rs->GetValue("Id").asInteger();
    }
    EXPECT_EQ(visited, kRows);
    EXPECT_EQ(sum, static_cast<std::int64_t>(kRows) * (kRows + 1) / 2);
    EXPECT_CORV_ERROR(rs->MoveNext(), err::NoCurrentRecord);

    auto other = db->OpenRecordset("Bids");
    other->MoveLast();
    EXPECT_EQ(other->RecordCount(), kRows);
    EXPECT_EQ(other->GetValue("Id"), Value(kRows));
    other->MovePrevious();
    EXPECT_EQ(other->GetValue("Id"), Value(kRows - 1));
}

TEST_F(EngineProgressive, SmallSetsOpenComplete) {
    Open();
    auto some = db->OpenRecordset("SELECT * FROM [Bids] WHERE [Id] <= 4000");
    EXPECT_TRUE(some->IsComplete());
    EXPECT_EQ(some->RowCount(), 4000u);
    auto none = db->OpenRecordset("SELECT * FROM [Bids] WHERE [Id] < 0");
    EXPECT_TRUE(none->IsComplete());
    EXPECT_TRUE(none->Eof());
    EXPECT_CORV_ERROR(none->MoveFirst(), err::NoCurrentRecord);
}

TEST_F(EngineProgressive, SmallSetsAfterChangesSeeTheChanges) {
    // Small sets reuse one reading connection; it must still see tables and rows added since its last use.
    Open();
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM [Codes] WHERE [Code] = 'new'")->RowCount(), 0u);
    db->Execute("INSERT INTO [Codes] ([Code]) VALUES ('new')");
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM [Codes] WHERE [Code] = 'new'")->RowCount(), 1u);
    db->Execute("SELECT [Code] INTO [Copied] FROM [Codes] WHERE [Code] = 'new'");
    auto copied = db->OpenRecordset("Copied");
    EXPECT_EQ(copied->RowCount(), 1u);
    copied->Close();
    db->Execute("DROP TABLE [Copied]");
    EXPECT_CORV_ERROR(db->OpenRecordset("Copied"), err::ObjectNotFound);
}

TEST_F(EngineProgressive, SetsReadingAnotherFileOpenComplete) {
    const std::string other = dir.sub("other.db");
    fs::copy_file(path, other);
    Open();
    auto rs = db->OpenRecordset("SELECT * FROM [Bids] IN '" + other + "'");
    EXPECT_TRUE(rs->IsComplete());
    EXPECT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
}

TEST_F(EngineProgressive, KeepsTheRowsAsOpenedWhileAnotherConnectionWritesInWalMode) {
    {
        RawDb raw(path);
        raw.exec("PRAGMA journal_mode=WAL");
    }
    Open();
    auto rs = db->OpenRecordset("Bids");
    ASSERT_FALSE(rs->IsComplete());
    RawDb writer(path);
    writer.exec("DELETE FROM Bids WHERE Id <= 100 OR Id > 150000");
    writer.exec("INSERT INTO Bids (Id) VALUES (-1), (-2)");
    EXPECT_EQ(writer.count("Bids"), 150000 - 100 + 2);
    rs->WaitComplete();
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(rs->Cell(0, 0), Value(1));
    EXPECT_EQ(rs->Cell(kRows - 1, 0), Value(kRows));
    // A set opened now sees the change.
    auto after = db->OpenRecordset("Bids");
    after->MoveLast();
    EXPECT_EQ(after->RecordCount(), 150000 - 100 + 2);
}

TEST_F(EngineProgressive, WritersWaitForTheLoadInsteadOfChangingIt) {
    Open();
    auto rs = db->OpenRecordset("Bids");
    ASSERT_FALSE(rs->IsComplete());
    // Plain rollback journal: the write waits for the read to end, then goes through.
    db->Execute("DELETE FROM [Bids] WHERE [Id] > 1000");
    EXPECT_TRUE(rs->IsComplete());
    EXPECT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
    RawDb raw(path);
    EXPECT_EQ(raw.count("Bids"), 1000);
}

TEST_F(EngineProgressive, CloseAndDestructionStopTheLoaderAndFreeTheFile) {
    Open();
    const int threadsBefore = ThreadCount();
    auto rs = db->OpenRecordset("Bids");
    ASSERT_FALSE(rs->IsComplete());
    const auto t0 = std::chrono::steady_clock::now();
    rs->Close();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(rs->IsLoading());
    const std::size_t kept = rs->RowCount();
    EXPECT_LT(kept, static_cast<std::size_t>(kRows));
    EXPECT_EQ(rs->Cell(kept - 1, 0), Value(static_cast<std::int64_t>(kept)));  // what was read stays
    EXPECT_CORV_ERROR(rs->WaitComplete(), corv::engine::kInvalidObject);
    EXPECT_EQ(ThreadCountSettledTo(threadsBefore), threadsBefore);

    // Counted again: a sanitizer may have started a thread of its own meanwhile.
    const int threadsThen = ThreadCount();
    auto dropped = db->OpenRecordset("Bids");
    ASSERT_FALSE(dropped->IsComplete());
    dropped.reset();
    EXPECT_EQ(ThreadCountSettledTo(threadsThen), threadsThen);
    // No reader holds the file: a writer that does not wait at all gets in.
    RawDb raw(path);
    EXPECT_EQ(raw.tryExec("DELETE FROM Bids WHERE Id = 1"), SQLITE_OK);
}

TEST_F(EngineProgressive, FilterAndSortUseEveryRow) {
    Open();
    auto rs = db->OpenRecordset("Bids");
    ASSERT_FALSE(rs->IsComplete());
    rs->Filter = "[Round] = 7";
    rs->Sort = "[Id] DESC";
    auto narrowed = rs->OpenRecordset();
    EXPECT_TRUE(narrowed->IsComplete());
    ASSERT_EQ(narrowed->RowCount(), static_cast<std::size_t>(kRows / kRounds));
    EXPECT_EQ(narrowed->Cell(0, 0), Value(199956));  // 199956 % 50 == 6

    auto whole = db->OpenRecordset("Bids");
    auto copy = whole->OpenRecordset();
    EXPECT_EQ(copy->RowCount(), static_cast<std::size_t>(kRows));
}

TEST_F(EngineProgressive, TableStaysInUseWhileLoading) {
    Open();
    auto rs = db->OpenRecordset("SELECT [Id] FROM [Bids]");
    ASSERT_FALSE(rs->IsComplete());
    EXPECT_CORV_ERROR(db->Execute("DROP TABLE [Bids]"), err::TableInUse);
    rs->Close();
    db->Execute("DROP TABLE [Bids]");
    EXPECT_CORV_ERROR(db->OpenRecordset("Bids"), err::ObjectNotFound);
}

TEST_F(EngineProgressive, AFailureWhileLoadingIsReportedToWhoeverWaits) {
    Open();
    auto rs = db->OpenRecordset("SELECT CLng([Code]) AS N FROM [Codes]");
    EXPECT_GT(rs->RowCount(), 0u);
    EXPECT_CORV_ERROR(rs->WaitComplete(), err::TypeMismatch);
    EXPECT_FALSE(rs->IsComplete());
    EXPECT_FALSE(rs->IsLoading());
    EXPECT_EQ(rs->RowCount(), 119999u);  // every row before the bad one

    auto walked = db->OpenRecordset("SELECT CLng([Code]) AS N FROM [Codes]");
    long visited = 0;
    try {
        for (; !walked->Eof(); walked->MoveNext()) ++visited;
        ADD_FAILURE() << "the loop ended without the failure";
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), err::TypeMismatch);
    }
    EXPECT_EQ(visited, 119999);
    EXPECT_CORV_ERROR(db->OpenRecordset("SELECT CLng([Code]) AS N FROM [Codes]")->MoveLast(),
                      err::TypeMismatch);
}

// ---- In write-ahead-log mode a large set pages its rows from the file ----

namespace {

class EnginePaged : public EngineProgressive {
  protected:
    void SetUp() override {
        EngineProgressive::SetUp();
        RawDb(path).exec("PRAGMA journal_mode=WAL");
        Open();
    }
    // Every cell as a plain read inside a transaction gives it.
    std::uint64_t PlainChecksum(const std::string& sql) {
        db->BeginTrans();
        auto plain = db->OpenRecordset(sql, corv::RecordsetType::Snapshot);
        db->Rollback();
        EXPECT_FALSE(plain->Data()->IsPaged());
        return Checksum(*plain);
    }
};

// A whole column as a scan reads it is the set's own cells, row for row.
void ExpectScanReadsTheCells(const corv::Recordset& set, int column) {
    std::vector<Value> seen;
    EXPECT_EQ(set.ScanColumn(column,
                             [&](const Value& v) {
                                 seen.push_back(v);
                                 return true;
                             }),
              set.RowCount());
    ASSERT_EQ(seen.size(), set.RowCount());
    for (std::size_t r = 0; r < seen.size(); ++r) ASSERT_EQ(seen[r], set.Cell(r, column)) << r;
}

// The files of the engine's private folder this process holds open, each as whether a name still reaches it
// and its permissions.
std::vector<std::string> OpenPrivateFiles() {
    const std::string folder = corv::engine::PrivateTempFolder() + "/";
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(e.path(), ec).string();
        struct stat st {};
        if (ec || target.rfind(folder, 0) != 0 || ::stat(e.path().c_str(), &st) != 0) continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
        files.push_back(std::string(target.ends_with(" (deleted)") ? "unnamed " : "named ") + mode);
    }
    return files;
}

// Every cell's kind and text of the set's first rows.
std::uint64_t ChecksumOfFirst(const Recordset& rs, std::size_t rows) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t r = 0; r < rows; ++r)
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const Value v = rs.Cell(r, c);
            h = Mix(h, (v.isNull() ? "n" : v.isBlob() ? "b" : v.isText() ? "t" : "#") + v.toString());
        }
    return h;
}

const std::string kJoin =
    "SELECT A.[Id], B.[Market], B.[Raw] FROM [Bids] AS A INNER JOIN [Bids] AS B ON A.[Id] = B.[Id]";
const std::string kAllButFirst = "SELECT * FROM [Bids] WHERE [Id] > 1";

}  // namespace

TEST_F(EnginePaged, PagesReadAfterAnotherConnectionWroteHoldTheRowsAsOpened) {
    auto rs = db->OpenRecordset("SELECT * FROM [Bids]", corv::RecordsetType::Snapshot);
    ASSERT_TRUE(rs->Data()->IsPaged());
    RawDb writer(path);
    writer.exec("UPDATE Bids SET Market = 'changed', Id = -Id");
    writer.exec("DELETE FROM Bids WHERE Id < -100000");
    EXPECT_EQ(writer.count("Bids"), 100000);
    rs->WaitComplete();
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(rs->Cell(kRows - 1, 0), Value(kRows));
    EXPECT_EQ(rs->Cell(120000, 2), Value("M" + std::to_string(120001 % 493) + "-Area"));
}

TEST_F(EnginePaged, MatchesAPlainReadCellForCell) {
    auto rs = db->OpenRecordset("Bids");
    rs->WaitComplete();
    EXPECT_EQ(Checksum(*rs), PlainChecksum("SELECT * FROM [Bids]"));
}

TEST_F(EnginePaged, AJumpToTheLastRowReadsOnlyThePageShown) {
    auto rs = db->OpenRecordset("Bids");
    rs->WaitComplete();
    const auto& data = rs->Data();
    const std::size_t before = data->PageReads();
    EXPECT_EQ(rs->Cell(kRows - 1, 0), Value(kRows));
    EXPECT_EQ(rs->Cell(kRows - 40, 0), Value(kRows - 39));
    EXPECT_EQ(data->PageReads(), before + 1);
}

TEST_F(EnginePaged, TheCacheStaysWithinItsBoundOverEveryRow) {
    auto rs = db->OpenRecordset("Bids");
    rs->WaitComplete();
    const auto& data = rs->Data();
    std::size_t most = 0;
    for (std::size_t r = 0; r < rs->RowCount(); ++r) {
        ASSERT_EQ(rs->Cell(r, 0), Value(static_cast<std::int64_t>(r + 1)));
        most = std::max(most, data->CachedPages());
    }
    EXPECT_EQ(most, corv::SnapshotData::kCachePages);
    EXPECT_EQ(data->PageReads(), (kRows + corv::SnapshotData::kPageRows - 1) / corv::SnapshotData::kPageRows);
}

TEST_F(EnginePaged, SortedAndFilteredSetsPageOverTheSameSnapshot) {
    auto rs = db->OpenRecordset("Bids");
    RawDb(path).exec("DELETE FROM Bids WHERE Round = 7");
    rs->Sort = "[Market], [Id] DESC";
    auto sorted = rs->OpenRecordset();
    rs->Sort.clear();
    rs->Filter = "[Round] = 7 Or [Note] Is Null";
    auto narrowed = rs->OpenRecordset();
    ASSERT_TRUE(sorted->Data()->IsPaged());
    ASSERT_TRUE(narrowed->Data()->IsPaged());
    ASSERT_EQ(sorted->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(sorted->Cell(0, 2), Value("M0-Area"));
    EXPECT_EQ(sorted->Cell(0, 0), Value(199665));  // the highest multiple of 493
    EXPECT_EQ(sorted->Cell(kRows - 1, 2), Value("M99-Area"));
    ASSERT_EQ(narrowed->RowCount(), static_cast<std::size_t>(kRows / kRounds + kRows / 1000));
    EXPECT_EQ(narrowed->Cell(0, 0), Value(6));
    EXPECT_EQ(narrowed->Cell(narrowed->RowCount() - 1, 0), Value(kRows));
}

TEST_F(EnginePaged, AJoinIsWrittenOnceToATemporaryFileAndPaged) {
    auto rs = db->OpenRecordset(kJoin);
    ASSERT_TRUE(rs->Data()->IsPaged());
    // Nobody else can read the file, or reach it by a name, or find it left behind.
    EXPECT_EQ(OpenPrivateFiles(), std::vector<std::string>{"unnamed 0600"});
    rs->WaitComplete();
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(Checksum(*rs), PlainChecksum(kJoin));
    rs.reset();
    EXPECT_TRUE(OpenPrivateFiles().empty());
}

TEST_F(EnginePaged, AFullTemporaryFolderEndsTheLoadWithAnErrorNamingItAndTheRowsBeforeStay) {
    std::shared_ptr<Recordset> rs;
    {
        corv::enginetest::TinyTempFolder tiny(dir.sub("tmp"));
        rs = db->OpenRecordset(kAllButFirst);
        ASSERT_TRUE(rs->Data()->IsPaged());
        try {
            rs->WaitComplete();
            ADD_FAILURE() << "the whole result fitted";
        } catch (const corv::CorvError& e) {
            EXPECT_NE(e.description().find("temporary folder '" + tiny.path() + "'"), std::string::npos)
                << e.description();
            if (tiny.full()) {
                EXPECT_EQ(e.number(), err::DiskFull) << e.description();
            }
        }
    }
    const std::size_t kept = rs->RowCount();
    EXPECT_GT(kept, corv::engine::kFirstRows);
    ASSERT_LT(kept, static_cast<std::size_t>(kRows));
    db->BeginTrans();
    auto plain = db->OpenRecordset(kAllButFirst, corv::RecordsetType::Snapshot);
    db->Rollback();
    EXPECT_EQ(ChecksumOfFirst(*rs, kept), ChecksumOfFirst(*plain, kept));
}

TEST_F(EnginePaged, APageUsedAgainStaysCachedWhileTheLeastRecentMakesRoom) {
    auto rs = db->OpenRecordset("Bids");
    rs->WaitComplete();
    const auto& data = rs->Data();
    constexpr std::size_t kPage = corv::SnapshotData::kPageRows;
    constexpr std::size_t kPages = corv::SnapshotData::kCachePages;
    for (std::size_t page = 0; page < kPages; ++page) rs->Cell(page * kPage, 0);
    rs->Cell(0, 0);
    rs->Cell(kPages * kPage, 0);  // one page too many
    const std::size_t reads = data->PageReads();
    rs->Cell(0, 0);
    EXPECT_EQ(data->PageReads(), reads);
    rs->Cell(kPage, 0);
    EXPECT_EQ(data->PageReads(), reads + 1);
}

TEST_F(EnginePaged, ASortedPageWhoseIdsRiseButForOneSwapReadsItsRowsInItsOrder) {
    RawDb(path).exec("UPDATE Bids SET Id = CASE Id WHEN 5 THEN 6 ELSE 5 END WHERE Id IN (5, 6)");
    auto rs = db->OpenRecordset("Bids");
    rs->Sort = "[Id]";
    auto sorted = rs->OpenRecordset();
    ASSERT_TRUE(sorted->Data()->IsPaged());
    for (std::size_t r = 0; r < corv::SnapshotData::kPageRows; ++r)
        ASSERT_EQ(sorted->Cell(r, 0), Value(static_cast<std::int64_t>(r + 1))) << r;
}

TEST_F(EnginePaged, AColumnScanReadsTheSetsOwnOrderAndStopsWhereAsked) {
    auto rs = db->OpenRecordset("Bids");
    RawDb(path).exec("UPDATE Bids SET Note = 'changed'");
    rs->Sort = "[Market], [Id] DESC";
    auto sorted = rs->OpenRecordset();
    rs->Sort.clear();
    rs->Filter = "[Round] = 7 Or [Note] Is Null";
    auto narrowed = rs->OpenRecordset();
    for (const auto& set : {rs, sorted, narrowed}) {
        ASSERT_TRUE(set->Data()->IsPaged());
        std::vector<Value> seen;
        EXPECT_EQ(set->ScanColumn(4,
                                  [&](const Value& v) {
                                      seen.push_back(v);
                                      return seen.size() < 3000;
                                  }),
                  2999u);
        for (std::size_t r = 0; r < seen.size(); ++r) ASSERT_EQ(seen[r], set->Cell(r, 4)) << r;
        ExpectScanReadsTheCells(*set, 0);
    }
}

TEST_F(EnginePaged, AColumnScanOverATableWithGapsReadsEveryRowLeft) {
    // Pages whose ids run on, and are read as one range, alternate with pages listing their ids.
    RawDb(path).exec("DELETE FROM Bids WHERE Id BETWEEN 1500 AND 1600 OR Id % 7000 = 0");
    auto rs = db->OpenRecordset("Bids");
    rs->WaitComplete();
    ASSERT_TRUE(rs->Data()->IsPaged());
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(kRows - 101 - kRows / 7000));
    ExpectScanReadsTheCells(*rs, 0);
}
