#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/CorvError.h"
#include "queries/TableBuild.h"
#include "queries/frmQuery.h"
#include "queries/frmTableActions.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/NeededFile.h"
#include "support/ScriptedDesktop.h"
#include "support/ViewerTest.h"
#include "viewer/DropTable.h"
#include "viewer/frmFlexGrid.h"

using corv::frmFlexGrid;
using corv::frmTableActions;
using corv::MsgAnswer;

namespace {

corv::WizardChoices TopBids() {
    corv::WizardChoices c;
    c.columns = {"Market", "Bid Amount"};
    c.name = "Top Bids";
    c.source = "Markets and Bidders";
    c.rows = {{"Bid Amount", ">", "500", ""}, {"", "=", "", "And"}};
    c.includeAllRounds = false;
    c.round = "7";
    c.order = {{"Bid Amount", false}};
    return c;
}

TEST(WizardStatement, IsBuiltPieceByPiece) {
    corv::WizardChoices c = TopBids();
    EXPECT_EQ(
        corv::WizardStatement(c),
        "SELECT [Market], [Bid Amount] INTO [Top Bids]  FROM [Markets and Bidders]  WHERE [Bid Amount] >500 "
        "AND [Round] = 7 ORDER BY [Bid Amount] DESC;");

    // Asked name, round only, ascending order.
    c.nameFromInputBox = true;
    c.rows.clear();
    c.order = {{"Market", true}};
    EXPECT_EQ(
        corv::WizardStatement(c),
        "SELECT [Market], [Bid Amount] INTO [Top Bids] FROM [Markets and Bidders]  WHERE [Round] = 7 ORDER "
        "BY [Market];");

    // Text quoted with its quotes doubled, the account number kept as text; a second row without a first
    // still gets its joiner.
    c.includeAllRounds = true;
    c.order.clear();
    c.rows = {{"", "=", "", ""},
              {"Bidder Name", "=", "O'Brien Wireless", "Or"},
              {"Orvane Acct", "=", "12", "And"},
              {"Round", "<", "12", "And"}};
    EXPECT_EQ(corv::WizardStatement(c),
              "SELECT [Market], [Bid Amount] INTO [Top Bids] FROM [Markets and Bidders]  Or [Bidder Name] "
              "='O''Brien Wireless' And [Orvane Acct] ='12' And [Round] <12;");

    c.columns.clear();
    EXPECT_EQ(corv::WizardStatement(c), "");
}

TEST(QueryStatement, JoinsTheBoxesAndEndsInOneSemicolon) {
    corv::QueryBoxes b{"[Market], [Bid Amount]", "NewBids", "[Markets and Bidders]", "[Round] = 3", ""};
    EXPECT_EQ(corv::QueryStatement(b),
              "SELECT [Market], [Bid Amount] INTO NewBids FROM [Markets and Bidders] WHERE [Round] = 3;");
    b.where.clear();
    b.orderBy = "[Market];";
    EXPECT_EQ(corv::QueryStatement(b),
              "SELECT [Market], [Bid Amount] INTO NewBids FROM [Markets and Bidders] "
              "ORDER BY [Market];");
    b.orderBy = "[Market]; ";
    EXPECT_EQ(corv::QueryStatement(b).substr(corv::QueryStatement(b).size() - 4), "]; ;");
    b.into = "  [New Bids] ";
    EXPECT_EQ(corv::QueryTableName(b), "[New Bids]");
    EXPECT_TRUE(corv::HasRequiredBoxes(b));
    b.from = " ";
    EXPECT_TRUE(corv::HasRequiredBoxes(b));
    b.from.clear();
    EXPECT_FALSE(corv::HasRequiredBoxes(b));
}

class TableBuildTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        options_.rounds = 3;
        options_.bidsPerRound = 30;
        OpenAuction(
            "INSERT INTO [Markets and Bidders] VALUES (14, 2, 'M1', 'A', 'O''Brien Wireless', 400, 400)");
        viewer_ = NewViewer();
        Show(*viewer_, 1, "Markets and Bidders");
    }

    void Wizard(std::function<void(frmTableActions&)> user) {
        desktop_.Modal([user](corv::ModalDialog& d) { user(dynamic_cast<frmTableActions&>(d)); });
        corv::TableWiz(*viewer_);
    }
    static void Target(frmTableActions& d, const QString& column) {
        d.lstSourceTable->setCurrentItem(d.lstSourceTable->findItems(column, Qt::MatchExactly).value(0));
        d.lstSourceTable_DblClick();
    }
    long long Count(const std::string& sql) { return corv::test::QueryCount(path_, sql); }
    long long Tables() { return Count("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'"); }
    long long Registered(const std::string& name) {
        return Count("SELECT COUNT(*) FROM sysTables WHERE TableName = '" + corv::SqlText(name) + "'");
    }
    std::string Round() { return viewer_->ddlRoundNum->currentText().toStdString(); }
};

TEST_F(TableBuildTest, WizardBuildsTheChosenRowsInOrderAndListsTheTable) {
    Wizard([](frmTableActions& d) {
        Target(d, "Market");
        Target(d, "Bid Amount");
        d.txtTableName->setText("Top Bids");
        d.lstFiltCol[0]->setCurrentText("Bid Amount");
        d.lstOp[0]->setCurrentText(">");
        d.txtFilter[0]->addItem("500");
        d.txtFilter[0]->setCurrentText("500");
        d.chkIncludeAll->setChecked(false);
        d.lstSource->setCurrentItem(d.lstSource->findItems("Bid Amount", Qt::MatchExactly).value(0));
        d.lstSource_DblClick();
        d.lstSortCols->item(0)->setCheckState(Qt::Unchecked);
    });
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(viewer_->findChild<frmTableActions*>(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM pragma_table_info('Top Bids')"), 2);
    EXPECT_EQ(
        Count("SELECT COUNT(*) FROM [Top Bids]"),
        Count("SELECT COUNT(*) FROM [Markets and Bidders] WHERE [Bid Amount] > 500 AND Round = " + Round()));
    EXPECT_GT(Count("SELECT COUNT(*) FROM [Top Bids]"), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Top Bids] a JOIN [Top Bids] b ON b.rowid = a.rowid + 1 "
                    "WHERE b.[Bid Amount] > a.[Bid Amount]"),
              0);
    host_.PopulateTables();
    EXPECT_GE(viewer_->ddlTableName->findText("Top Bids"), 0);
}

TEST_F(TableBuildTest, FilterRowOnARemovedColumnFiltersNothing) {
    Wizard([](frmTableActions& d) {
        Target(d, "Market");
        Target(d, "Bidder Name");
        d.txtTableName->setText("Bidders");
        d.lstFiltCol[0]->setCurrentText("Market");
        d.txtFilter[0]->addItem("M1");
        d.txtFilter[0]->setCurrentText("M1");
        d.lstTargetTable->setCurrentRow(0);
        d.lstTargetTable_DblClick();
    });
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Bidders]"), Count("SELECT COUNT(*) FROM [Markets and Bidders]"));
}

TEST_F(TableBuildTest, WizardAsksForAMissingNameAndACancelledAskBuildsNothing) {
    desktop_.Input("All Bids");
    Wizard([](frmTableActions& d) { Target(d, "Bidder Name"); });
    ASSERT_EQ(desktop_.inputBoxes.size(), 1u);
    EXPECT_EQ(desktop_.inputBoxes[0].prompt, "Please Enter Table Name");
    EXPECT_EQ(desktop_.inputBoxes[0].title, "Name New Table");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [All Bids]"), Count("SELECT COUNT(*) FROM [Markets and Bidders]"));
    EXPECT_EQ(Registered("All Bids"), 1);

    const long long before = Tables();
    desktop_.Input(std::nullopt);
    Wizard([](frmTableActions& d) {
        EXPECT_EQ(d.lstTargetTable->count(), 0);  // a fresh dialog
        Target(d, "Bidder Name");
    });
    EXPECT_EQ(Tables(), before);
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error 3125: ", 0), 0u) << desktop_.LastBox().text;
}

TEST_F(TableBuildTest, QuotedBidderAndQuotedNameAreBuiltRegisteredAndDropped) {
    Wizard([](frmTableActions& d) {
        Target(d, "Bidder Name");
        d.txtTableName->setText("Bob's Bids");
        d.lstFiltCol[0]->setCurrentText("Bidder Name");
        d.lstFiltCol_Click(0);
        ASSERT_TRUE(QTest::qWaitFor([&d] { return !d.ListingValues(0); }));
        d.txtFilter[0]->setCurrentIndex(d.txtFilter[0]->findText("O'Brien Wireless"));
        ASSERT_GE(d.txtFilter[0]->currentIndex(), 0);
    });
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Bob's Bids]"),
              Count("SELECT COUNT(*) FROM [Markets and Bidders] WHERE [Bidder Name] = 'O''Brien Wireless'"));
    EXPECT_GT(Count("SELECT COUNT(*) FROM [Bob's Bids]"), 0);
    EXPECT_EQ(Registered("Bob's Bids"), 1);
    EXPECT_EQ(host_.tablesAdded, std::vector<std::string>{"Bob's Bids"});

    host_.PopulateTables();
    viewer_->ddlTableName->setCurrentIndex(viewer_->ddlTableName->findText("Bob's Bids"));
    desktop_.Answer(MsgAnswer::Yes);
    corv::DropTable(*viewer_);
    EXPECT_EQ(desktop_.LastBox().text,
              "This action will permanently delete\rthe current table, continue anyway?");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE name = 'Bob''s Bids'"), 0);
    EXPECT_EQ(Registered("Bob's Bids"), 0);
    EXPECT_EQ(host_.tablesDropped, std::vector<std::string>{"Bob's Bids"});
    EXPECT_EQ(viewer_->ddlTableName->currentIndex(), 0);
}

// A joiner before any condition reaches the engine as it stands, and a name already taken fails there too:
// both are reported in the wizard's error form and leave the database as it was.
TEST_F(TableBuildTest, WizardReportsALeadingJoinerAndATakenNameAndBuildsNothing) {
    const long long before = Tables();
    Wizard([](frmTableActions& d) {
        Target(d, "Bid Amount");
        d.txtTableName->setText("Leading");
        d.lstFiltCol[1]->setCurrentText("Bid Amount");
        d.lstOp[1]->setCurrentText(">");
        d.txtFilter[1]->addItem("500");
        d.txtFilter[1]->setCurrentText("500");
        d.lstAndOr[0]->setCurrentText("Or");
    });
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error 3075: ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(Tables(), before);
    EXPECT_EQ(Registered("Leading"), 0);

    const auto build = [this](const char* bidAbove) {
        Wizard([bidAbove](frmTableActions& d) {
            Target(d, "Bid Amount");
            d.txtTableName->setText("Twice");
            d.lstFiltCol[0]->setCurrentText("Bid Amount");
            d.lstOp[0]->setCurrentText(">");
            d.txtFilter[0]->addItem(bidAbove);
            d.txtFilter[0]->setCurrentText(bidAbove);
        });
    };
    build("500");
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    const long long first = Count("SELECT COUNT(*) FROM [Twice]");
    build("0");
    ASSERT_EQ(desktop_.boxes.size(), 2u);
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error 3010: ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Twice]"), first);
    EXPECT_LT(first, Count("SELECT COUNT(*) FROM [Markets and Bidders] WHERE [Bid Amount] > 0"));
    EXPECT_EQ(Registered("Twice"), 1);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(TableBuildTest, BuildAndRegistrationStandOrFallTogether) {
    const long long before = Tables();
    auto& db = Db();
    try {
        corv::BuildTable(db, "SELECT [Market] INTO [] FROM [Markets and Bidders];", "");
        ADD_FAILURE();
    } catch (const corv::CorvError& e) {
        EXPECT_EQ(e.number(), 3125);
    }
    EXPECT_EQ(Tables(), before);

    corv::test::RunSqlite(path_, "ALTER TABLE sysTables RENAME TO sysTablesAway");
    EXPECT_THROW(corv::BuildTable(db, "SELECT [Market] INTO [Lost] FROM [Markets and Bidders];", "Lost"),
                 std::exception);
    EXPECT_EQ(Tables(), before);
}

TEST_F(TableBuildTest, QueryBuilderBuildsReportsAndKeepsItsTexts) {
    corv::frmQuery dialog([this](const std::function<void(frmFlexGrid&)>& c) { c(*viewer_); });
    dialog.txtSelect->setPlainText("[Market]");
    dialog.txtInto->setPlainText(" NewBids ");
    dialog.txtWhere->setPlainText("[Round] = 3");
    dialog.cmdOK_Click();
    EXPECT_EQ(desktop_.LastBox().text, "SELECT, FROM, and INTO are required fields.");
    EXPECT_EQ(desktop_.LastBox().title, "Error");
    EXPECT_EQ(desktop_.LastBox().icon, corv::MsgIcon::Exclamation);

    dialog.txtFrom->setPlainText("[Markets and Bidders]");
    dialog.cmdOK_Click();
    EXPECT_EQ(desktop_.LastBox().text,
              "     Finished building the table 'NewBids'\rTo view the table, select it "
              "from the\r         Table pull-down menu.");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM NewBids"),
              Count("SELECT COUNT(*) FROM [Markets and Bidders] WHERE Round = 3"));
    EXPECT_EQ(Registered("NewBids"), 1);
    EXPECT_EQ(host_.tablesAdded, std::vector<std::string>{"NewBids"});

    dialog.show();
    dialog.cmdCancel_Click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.txtInto->toPlainText(), " NewBids ");
    dialog.cmdOK_Click();  // the table exists now
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error 3010: ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(Registered("NewBids"), 1);

    // "; " keeps its blank and gets another ";", which the engine refuses as a second statement.
    dialog.txtInto->setPlainText("Other");
    dialog.txtWhere->setPlainText("[Round] = 3; ");
    dialog.cmdOK_Click();
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE name = 'Other'"), 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

// A crosstab typed into the SELECT box, its GROUP BY and PIVOT after the FROM: one Currency column a bidder.
TEST_F(TableBuildTest, QueryBuilderMakesATableOfACrosstab) {
    corv::TableSQL(*viewer_, {" transform Sum([Bid Amount]) SELECT [Round]", "[Bids By Bidder]",
                              "[Markets and Bidders] GROUP BY [Round] PIVOT [Bidder Name]", "", ""});
    EXPECT_EQ(desktop_.LastBox().text.rfind("     Finished building", 0), 0u) << desktop_.LastBox().text;
    const long long bidders = Count("SELECT COUNT(DISTINCT [Bidder Name]) FROM [Markets and Bidders]");
    EXPECT_GT(bidders, 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM pragma_table_info('Bids By Bidder') WHERE type = 'Currency'"),
              bidders);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Bids By Bidder]"),
              Count("SELECT COUNT(DISTINCT [Round]) FROM [Markets and Bidders]"));
}

TEST_F(TableBuildTest, DropRefusesSuppliedTablesAndKeepsWhatIsDeclinedOrHeld) {
    const long long before = Tables();
    corv::DropTable(*viewer_);
    EXPECT_EQ(desktop_.LastBox().text, "Access to Markets and Bidders denied.");
    EXPECT_EQ(desktop_.LastBox().title, "Access Denied");
    EXPECT_EQ(desktop_.LastBox().icon, corv::MsgIcon::Exclamation);
    EXPECT_EQ(Tables(), before);

    corv::BuildTable(Db(), "SELECT [Market] INTO [Mine] FROM [Markets and Bidders];", "Mine");
    host_.PopulateTables();
    viewer_->ddlTableName->setCurrentIndex(viewer_->ddlTableName->findText("Mine"));
    desktop_.Answer(MsgAnswer::No);
    corv::DropTable(*viewer_);
    EXPECT_EQ(viewer_->ddlTableName->currentText(), "Mine");
    EXPECT_EQ(Registered("Mine"), 1);

    frmFlexGrid second(host_);
    host_.active = &second;
    host_.PopulateTables();
    host_.PopulateRounds();
    second.ddlRoundNum->setCurrentIndex(0);
    second.ddlTableName->setCurrentIndex(second.ddlTableName->findText("Mine"));
    host_.active = viewer_.get();
    desktop_.Answer(MsgAnswer::Yes);
    corv::DropTable(*viewer_);
    EXPECT_EQ(desktop_.LastBox().text.rfind("Error 3211: ", 0), 0u) << desktop_.LastBox().text;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM [Mine]"), Count("SELECT COUNT(*) FROM [Markets and Bidders]"));
    EXPECT_EQ(Registered("Mine"), 1);
    EXPECT_TRUE(host_.tablesDropped.empty());
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

}  // namespace

// A Jet auction database opened without converting it.
class ReadOnlyAuctionTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        CORV_NEED_FILE(kSample);
        corv::test::TestApp();
        desktop_.Install();
        path_ = folder_.File("Auction31.mdb");
        std::filesystem::copy_file(kSample, path_);
        desktop_.Answer(MsgAnswer::No);
        host_.session.Open(path_);
        viewer_ = NewViewer();
        Show(*viewer_, 0, "Top Bids");
    }
    const std::string kSample = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction/Auction31.mdb";
};

TEST_F(ReadOnlyAuctionTest, WizardBuilderAndDropRefuseAndChangeNothing) {
    ASSERT_EQ(viewer_->ddlTableName->currentText(), "Top Bids");
    const std::function<void()> commands[] = {
        [&] { corv::TableWiz(*viewer_); },
        [&] {
            corv::TableSQL(*viewer_, {"*", "Copy", "[Top Bids]", "", ""});
        },
        [&] { corv::DropTable(*viewer_); },
    };
    for (const auto& command : commands) {
        const std::size_t shown = desktop_.boxes.size();
        command();
        ASSERT_EQ(desktop_.boxes.size(), shown + 1);
        EXPECT_EQ(desktop_.LastBox().text,
                  "This auction database is open read-only. Reopen it and convert it to change it.");
        EXPECT_EQ(desktop_.LastBox().title, "Read-Only Auction");
    }
    EXPECT_EQ(desktop_.modalRuns, 0);
    EXPECT_EQ(desktop_.unscripted, 0);
    auto bytes = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(bytes(path_), bytes(kSample));
}
