// The fixture of the store commands' dialogue tests: a program folder and a downloads folder of their own,
// the scripted desktop, and a session with the news of its auctions recorded.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "fixture/FixtureAuction.h"
#include "store/Auction.h"
#include "store/store_support.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv::storetest {

namespace fs = std::filesystem;
using corv::test::ScriptedDesktop;

// The main window as the commands see it: the opening question, and the news of the session.
struct FakeMain : store::AuctionListener {
    int fileOpenCalls = 0;
    std::vector<std::string> opened;
    std::vector<int> imported;
    int closings = 0;
    void FileOpen() { ++fileOpenCalls; }
    void AuctionOpened(store::Auction& auction) override { opened.push_back(auction.Path()); }
    void AuctionClosed() override { ++closings; }
    void RoundImported(store::Auction&, int round) override { imported.push_back(round); }
};

class AuctionCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("corv-store-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        downloads_ = (root_ / "download").string();
        program_ = (root_ / "program").string();
        fs::create_directories(downloads_);
        fs::create_directories(program_);
        desk_.SetDownloadsFolder(downloads_);
        desk_.SetProgramFolder(program_);
        desk_.Install();
        session_.AddListener(&main_);
    }
    void TearDown() override {
        // Every question asked was one the test expected, and every answer it scripted was used.
        EXPECT_EQ(desk_.unscripted, 0);
        EXPECT_TRUE(desk_.ScriptUsedUp());
        session_.Close();
        fs::remove_all(root_);
    }

    std::vector<std::string> WriteRounds(int auction, int rounds, const std::string& folder = {}) {
        fixture::AuctionOptions o;
        o.auction = auction;
        o.rounds = rounds;
        return fixture::WriteAuctionRounds(folder.empty() ? downloads_ : folder, o);
    }
    std::string RoundFile(int auction, int round) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d_%03d.mdb", auction, round);
        return downloads_ + "/" + name;
    }
    std::string WriteRound(int auction, int round) {
        fixture::AuctionOptions o;
        o.auction = auction;
        const std::string path = RoundFile(auction, round);
        fixture::WriteRoundFile(path, o, round);
        return path;
    }
    // A fresh auction with round 1, the deletion question answered No.
    std::string Create(int auction) {
        const std::string r1 = WriteRound(auction, 1);
        desk_.OpenFile(r1).Answer(MsgAnswer::No);
        CreateAuction(main_);
        return program_ + "/Auction" + std::to_string(auction) + ".mdb";
    }
    std::vector<std::string> Rounds(const std::string& auction) {
        return Column(Query(auction, "SELECT Round FROM sysRounds ORDER BY rowid"));
    }
    // Every supplied table's rows, for comparing whole databases.
    std::map<std::string, Rows> Snapshot(const std::string& db) {
        std::map<std::string, Rows> out;
        for (const auto& t : Column(Query(db, "SELECT name FROM sqlite_master WHERE type = 'table'")))
            out[t] = Query(db, "SELECT * FROM \"" + t + "\" ORDER BY rowid");
        return out;
    }
    void ExpectErrorBox(const std::string& prefix) {
        ASSERT_FALSE(desk_.boxes.empty());
        const auto& b = desk_.LastBox();
        EXPECT_EQ(b.text.rfind(prefix, 0), 0u) << b.text;
        EXPECT_EQ(b.title, "");
        EXPECT_EQ(b.icon, MsgIcon::None);
        EXPECT_EQ(b.buttons, MsgButtons::OK);
    }

    // The commands as the main window runs them.
    void CreateAuction(FakeMain& main) {
        corv::CreateAuction(session_, [&main] { main.FileOpen(); });
    }
    void BatchImportAuction(FakeMain& main) {
        corv::BatchImportAuction(session_, [&main] { main.FileOpen(); });
    }
    void ImportRound() { corv::ImportRound(session_.Current()); }
    std::string OpenPath() const { return session_.Current() ? session_.Current()->Path() : std::string(); }

    fs::path root_;
    std::string downloads_, program_;
    ScriptedDesktop desk_;
    FakeMain main_;
    store::AuctionSession session_;
};

const char* const kCreatedText =
    "Auction 12 has been successfully created.\r   Would you like to delete the round\r      results file "
    "you "
    "just imported?";

}  // namespace corv::storetest
