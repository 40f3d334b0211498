#include <gtest/gtest.h>

#include <QComboBox>
#include <filesystem>
#include <fstream>

#include "ShellTestSupport.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

using CommandLineTest = ShellTest;

long long Rounds(const std::string& auction) {
    return QueryCount(auction, "SELECT COUNT(*) FROM sysRounds");
}

TEST_F(CommandLineTest, AnAuctionNamedLikeARoundFileOpensInAViewerWithoutTheQuestion) {
    const std::string path = folder.File("14_001.mdb");
    std::filesystem::rename(BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{}), path);
    frmMain w;
    w.OpenCommandLineFile(path);

    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
    EXPECT_EQ(desktop.modalRuns, 0);
    EXPECT_EQ(OpenPath(w), path);
    EXPECT_EQ(w.windowTitle().toStdString(), "Corvidel - " + path);
    ASSERT_EQ(w.Viewers().size(), 1);
    EXPECT_EQ(w.Viewers().front()->ddlTableName->currentText(), "Markets and Bidders");
    EXPECT_EQ(w.Viewers().front()->ddlRoundNum->currentText(), "1");
}

TEST_F(CommandLineTest, ARoundOneFileCreatesItsAuction) {
    const std::string roundOne = fixture::WriteAuctionRounds(folder.File("download"), {}).front();
    frmMain w;
    desktop.Answer(MsgAnswer::No);
    w.OpenCommandLineFile(roundOne);

    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].title, "Round Imported Successfully");
    EXPECT_EQ(desktop.modalRuns, 0);
    const std::string auction = folder.File("Auction14.mdb");
    EXPECT_EQ(OpenPath(w), auction);
    EXPECT_EQ(w.windowTitle().toStdString(), "Corvidel - " + auction);
    EXPECT_EQ(Rounds(auction), 1);
    EXPECT_TRUE(w.Viewers().isEmpty());
}

// What the question says before "DATE TIME.mdb'.", and the file name it names.
const std::string kAnewPrefix =
    "Auction 14 already exists with rounds 1 to 3.\rCreate it anew from this file? The existing auction is "
    "kept as "
    "'Auction14 ";
std::string NamedAside(const std::string& text) {
    const auto open = text.find('\''), close = text.rfind('\'');
    return text.substr(open + 1, close - open - 1);
}

TEST_F(CommandLineTest, ARoundOneFileOfAnExistingAuctionAsksAndNoKeepsIt) {
    const std::string auction = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
    const std::string roundOne = fixture::WriteAuctionRounds(folder.File("download"), {}).front();
    frmMain w;
    desktop.Answer(MsgAnswer::No);
    w.OpenCommandLineFile(roundOne);

    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind(kAnewPrefix, 0), 0u) << desktop.boxes[0].text;
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::YesNoDefaultNo);
    EXPECT_EQ(Rounds(auction), 3);
    for (const auto& e : std::filesystem::directory_iterator(folder.Path()))
        EXPECT_NE(e.path().filename().string().rfind("Auction14 ", 0), 0u) << e.path();
    EXPECT_FALSE(w.OpenAuction());
}

TEST_F(CommandLineTest, ARoundOneFileOfAnExistingAuctionKeepsItUnderTheNameTheQuestionGave) {
    const std::string auction = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
    const std::string roundOne = fixture::WriteAuctionRounds(folder.File("download"), {}).front();
    frmMain w;
    desktop.Answer(MsgAnswer::Yes).Answer(MsgAnswer::No);
    w.OpenCommandLineFile(roundOne);

    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[1].title, "Round Imported Successfully");
    const std::string aside = folder.File(NamedAside(desktop.boxes[0].text));
    ASSERT_TRUE(std::filesystem::exists(aside)) << desktop.boxes[0].text;
    EXPECT_EQ(Rounds(aside), 3);
    EXPECT_EQ(Rounds(auction), 1);
    EXPECT_EQ(OpenPath(w), auction);
}

TEST_F(CommandLineTest, ALaterRoundIsImportedIntoTheAuctionTheQuestionOpens) {
    fixture::AuctionOptions options;
    options.rounds = 1;
    const std::string auction = BuildAuctionDatabase(folder.Path(), options);
    const std::string roundTwo = folder.File("14_002.mdb");
    fixture::WriteRoundFile(roundTwo, options, 2);
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Existing, Press::Continue)).OpenFile(auction).Answer(MsgAnswer::No);
    w.OpenCommandLineFile(roundTwo);

    EXPECT_EQ(desktop.modalRuns, 1);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("  Round 2 has been successfully imported.", 0), 0u);
    EXPECT_EQ(Rounds(auction), 2);
    EXPECT_EQ(w.Viewers().size(), 1);
    EXPECT_TRUE(std::filesystem::exists(roundTwo));
}

TEST_F(CommandLineTest, ALaterRoundIsDroppedWhenTheQuestionOpenedNoAuction) {
    const std::string junk = folder.File("junk.mdb");
    std::ofstream(junk) << "not a database";
    const std::string roundTwo = folder.File("14_002.mdb");
    fixture::WriteRoundFile(roundTwo, {}, 2);
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Existing, Press::Continue)).OpenFile(junk);
    w.OpenCommandLineFile(roundTwo);

    // Only the open's own error: no second box about a missing auction.
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("Error:3343 ", 0), 0u) << desktop.boxes[0].text;
    EXPECT_FALSE(w.OpenAuction());
}

TEST_F(CommandLineTest, AMissingOrNonDatabaseFileGetsFileOpensErrorBox) {
    const std::string junk = folder.File("14_001.mdb");
    std::ofstream(junk) << "not a database";
    const struct {
        std::string path;
        const char* error;
    } cases[] = {{folder.File("nowhere/Auction14.mdb"), "Error:3024 "}, {junk, "Error:3343 "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        desktop.boxes.clear();
        frmMain w;
        w.OpenCommandLineFile(c.path);
        ASSERT_EQ(desktop.boxes.size(), 1u);
        EXPECT_EQ(desktop.boxes[0].text.rfind(c.error, 0), 0u) << desktop.boxes[0].text;
        EXPECT_EQ(desktop.boxes[0].title, "");
        EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::None);
        EXPECT_FALSE(w.OpenAuction());
        EXPECT_EQ(w.windowTitle(), "Corvidel");
        EXPECT_FALSE(std::filesystem::exists(folder.File("Auction14.mdb")));
    }
}

}  // namespace
}  // namespace corv::test
