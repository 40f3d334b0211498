// corvidel-import, run as a program of its own.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <string>
#include <vector>

#include "store/auction_commands_support.h"
#include "support/NeededFile.h"

using namespace corv;
using namespace corv::storetest;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

ToolRun RunImportTool(const QStringList& args) {
    corv::test::TestApp();
    QProcess p;
    p.start(QStringLiteral(CORVIDEL_IMPORT_TOOL), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

}  // namespace

TEST_F(AuctionCommandsTest, ImportToolGoesInRoundOrderAndStopsAtTheFirstFailure) {
    const std::string auction = Create(12);
    session_.Close();
    const QString db = QString::fromStdString(auction);
    const std::string two = WriteRound(12, 2), three = WriteRound(12, 3);

    ToolRun run = RunImportTool({db, QString::fromStdString(three), QString::fromStdString(two)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Round 2 imported from " + two + "\nRound 3 imported from " + three + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(two));

    // Refused: a round already in, and a file of another auction; nothing changes.
    const auto before = Snapshot(auction);
    run = RunImportTool({db, QString::fromStdString(two)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Round 2 not imported from " + two + ": Error 3022: Round 2 has already been imported\n");
    run = RunImportTool({db, QString::fromStdString(WriteRound(15, 4))});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("Round 4 not imported from " + RoundFile(15, 4) + ": Error 3001: ", 0), 0u)
        << run.err;
    EXPECT_EQ(Snapshot(auction), before);

    // A failing round keeps the rounds before it and stops the ones after.
    const std::string broken = WriteRound(12, 5);
    Exec(broken, "DROP TABLE [Waiver Statistics]");
    run = RunImportTool({db, QString::fromStdString(WriteRound(12, 6)), QString::fromStdString(broken),
                         QString::fromStdString(WriteRound(12, 4))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Round 4 imported from " + RoundFile(12, 4) + "\n");
    EXPECT_EQ(run.err.rfind("Round 5 not imported from " + broken + ": Error ", 0), 0u) << run.err;
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3", "4"}));

    EXPECT_EQ(RunImportTool({db}).exitCode, 2);
    const std::string unnumbered = program_ + "/Spring.mdb";
    fs::copy_file(auction, unnumbered);
    run = RunImportTool({QString::fromStdString(unnumbered), QString::fromStdString(RoundFile(12, 6))});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err.rfind(unnumbered + ": Error 3001: ", 0), 0u) << run.err;
}

TEST_F(AuctionCommandsTest, ImportToolCreatesAMissingAuctionButNeverReplacesOne) {
    const auto files = WriteRounds(12, 3);
    const std::string auction = program_ + "/Auction12.mdb";
    const QString db = QString::fromStdString(auction);
    // A round 1 file holding round 2's bids creates nothing.
    const std::string misnamed = (root_ / "12_001.mdb").string();
    fs::copy_file(files[1], misnamed);
    ToolRun run = RunImportTool({db, QString::fromStdString(misnamed)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("Round 1 not imported from " + misnamed + ": Error 3001: ", 0), 0u) << run.err;
    EXPECT_TRUE(fs::is_empty(program_));

    run = RunImportTool({db, QString::fromStdString(files[2]), QString::fromStdString(files[0]),
                         QString::fromStdString(files[1])});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Round 1 imported from " + files[0] + "\nRound 2 imported from " + files[1] +
                           "\nRound 3 imported from " + files[2] + "\n");
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysTables ORDER BY rowid")), kFixtureTables);
    EXPECT_EQ(
        Query(auction, "SELECT tbl_name FROM sqlite_master WHERE name = 'sysRoundIndex Markets and Bidders'"),
        (Rows{{"Markets and Bidders"}}));

    const auto before = Snapshot(auction);
    run = RunImportTool({db, QString::fromStdString(files[0])});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err,
              "Round 1 not imported from " + files[0] + ": Error 3022: Round 1 has already been imported\n");
    EXPECT_EQ(Snapshot(auction), before);
    for (const auto& e : fs::directory_iterator(program_))
        EXPECT_EQ(e.path().filename().string().rfind("Auction12.mdb", 0), 0u) << e.path();
}

TEST_F(AuctionCommandsTest, ImportToolRefusesAJetRoundFileSavedUnderAnotherRoundsName) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    for (const char* name : {"31_001.mdb", "31_002.mdb"})
        fs::copy_file(samples + "/" + name, downloads_ + "/" + name);
    const std::string seventh = downloads_ + "/31_007.mdb";
    fs::copy_file(samples + "/31_003.mdb", seventh);
    const QString db = QString::fromStdString(program_ + "/Auction31.mdb");
    ToolRun run = RunImportTool({db, QString::fromStdString(downloads_ + "/31_001.mdb"),
                                 QString::fromStdString(downloads_ + "/31_002.mdb")});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto before = Snapshot(db.toStdString());
    run = RunImportTool({db, QString::fromStdString(seventh)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err,
              "Round 7 not imported from " + seventh +
                  ": Error 3001: 31_007.mdb is named as round 7, but its bids in Markets and Bidders "
                  "are of round 3\n");
    EXPECT_EQ(Snapshot(db.toStdString()), before);
}

TEST_F(AuctionCommandsTest, ImportToolExitCodesForNamesVersionAndJetAuctions) {
    const std::string auction = Create(12);
    session_.Close();
    const std::string longName = downloads_ + "/12_0002.mdb";
    fs::copy_file(WriteRound(12, 2), longName);
    ToolRun run = RunImportTool({QString::fromStdString(auction), QString::fromStdString(longName)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, longName + ": Error 13: 12_0002.mdb is not a round results file name (NN_RRR.mdb)\n");

    run = RunImportTool({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("corvidel-import ", 0), 0u) << run.out;

    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    const std::string jet = program_ + "/Auction31.mdb";
    fs::copy_file(samples + "/Auction31.mdb", jet);
    fs::copy_file(samples + "/31_004.mdb", downloads_ + "/31_004.mdb");
    run = RunImportTool({QString::fromStdString(jet), QString::fromStdString(downloads_ + "/31_004.mdb")});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(jet + ": Error 3027: ", 0), 0u) << run.err;
}
