#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "fixture/FixtureAuction.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

// The values of a synthetic auction that are easy to damage (an apostrophe in a name, a block of two blanks,
// account numbers with leading zeros, money with cents) come through creation, import and the engine's Jet
// SQL as they were written, with their column types.
TEST(SyntheticAuction, AwkwardValuesSurviveCreateImportAndJetSql) {
    TempFolder folder;
    ScriptedDesktop desktop(folder.Path(), folder.Path());
    desktop.Install();
    store::AuctionSession session;
    fixture::AuctionOptions options;
    options.rounds = 2;
    const std::vector<std::string> rounds = fixture::WriteAuctionRounds(folder.File("download"), options);
    desktop.OpenFile(rounds[0]).Answer(MsgAnswer::No);
    CreateAuction(session, {});
    desktop.OpenFile(rounds[1]).Answer(MsgAnswer::No);
    ImportRound(session.Current());
    ASSERT_NE(session.Current(), nullptr);
    Database& db = session.Current()->Data();
    ASSERT_EQ(desktop.boxes.size(), 2u) << desktop.LastBox().text;

    auto rs = db.OpenRecordset("SELECT * FROM [Markets and Bidders] WHERE [Round] = 2");
    std::vector<std::string> types;
    for (int i = 0; i < rs->FieldCount(); ++i) types.push_back(rs->Field(i).declaredType);
    for (std::string& t : types)
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(types,
              (std::vector<std::string>{"long", "long", "text", "text", "text", "currency", "currency"}));
    int wholeBlocks = 0, withCents = 0, rows = 0;
    for (; !rs->Eof(); rs->MoveNext(), ++rows) {
        wholeBlocks += rs->GetValue("Block").toString() == "  ";
        const double bid = rs->GetValue("Bid Amount").asDouble();
        withCents += bid != std::floor(bid);
    }
    EXPECT_EQ(rows, options.bidsPerRound);
    EXPECT_GT(wholeBlocks, 0);
    EXPECT_GT(withCents, 0);

    auto named = db.OpenRecordset(
        "SELECT Count(*) AS n FROM [Markets and Bidders] WHERE [Bidder Name] = \"O'Brien Wireless\"");
    EXPECT_GT(named->GetValue("n").asInteger(), 0);
    for (auto accounts = db.OpenRecordset("SELECT [Orvane Acct] FROM [Bidder Eligibility]"); !accounts->Eof();
         accounts->MoveNext())
        EXPECT_EQ(accounts->GetValue(0).toString().size(), 7u) << accounts->GetValue(0).toString();
    session.Close();
}

}  // namespace
}  // namespace corv::test
