#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>

#include "RecordingExcel.h"
#include "SheetReaders.h"
#include "analysis/AnalysisDialogs.h"
#include "analysis/PivotAnalyses.h"
#include "engine/Recordset.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "support/ViewerTest.h"
#include "viewer/frmFlexGrid.h"

using corv::AnalysisKind;
using corv::frmFlexGrid;
using corv::frmPivotList;
using corv::frmRounds;
using corv::MsgAnswer;
using corv::RoundRange;

namespace {

// A script step: type into the round dialog and press a button.
std::function<void(corv::ModalDialog&)> Rounds(const char* from, const char* to, bool net = false,
                                               bool cancel = false) {
    return [=](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmRounds&>(modal);
        d.mskFrom->setText(from);
        d.mskTo->setText(to);
        (net ? d.optNet : d.optGross)->setChecked(true);
        (cancel ? d.cmdCancel : d.cmdOK)->click();
    };
}

// A script step: select the list rows at the given indexes and press OK.
std::function<void(corv::ModalDialog&)> Pick(std::vector<int> rows) {
    return [=](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        for (int r : rows) d.List1->item(r)->setSelected(true);
        d.cmdOK->click();
    };
}

// A script step: the dialog shown modally for real while keys reaches it as a user's would; the key
// presses must end the showing.
std::function<void(corv::ModalDialog&)> Shown(std::function<void(QDialog&)> keys) {
    return [=](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<QDialog&>(modal);
        QTimer::singleShot(0, &d, [&d, keys] {
            keys(d);
            if (d.isVisible()) {
                ADD_FAILURE() << "the keys left the dialog up";
                d.hide();
            }
        });
        modal.ExecModal();
    };
}

void Press(QDialog& d, Qt::Key key) {
    QTest::keyClick(d.focusWidget() ? d.focusWidget() : &d, key);
}

class PivotAnalysisTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        options_.rounds = 10;
        options_.bidsPerRound = 8;
        OpenAuction();
        viewer_ = NewViewer();
    }
    void TearDown() override {
        corv::UnloadAnalysisDialogs();
        ViewerTest::TearDown();
    }

    std::optional<RoundRange> Ask(AnalysisKind kind = AnalysisKind::Markets) {
        return corv::AskRoundRange(*viewer_, kind);
    }

    // What an analysis must ask of the spreadsheet for the rows of sql.
    std::vector<std::string> ExpectedCalls(const std::string& sql, long lastColumn,
                                           const std::vector<std::string>& columns, const char* amount) {
        const auto rs = Db().OpenRecordset(sql, corv::RecordsetType::Snapshot);
        std::vector<std::string> calls{"Workbooks.Add(1033)", "Sheets(\"sheet1\").Activate"};
        for (int k = 0; k < rs->FieldCount(); ++k)
            calls.push_back(corv::test::CellLine(1, k + 1, {corv::Value(rs->Field(k).name)}));
        long row = 2;
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext(), ++row)
            for (int k = 0; k < rs->FieldCount(); ++k)
                calls.push_back(corv::test::CellLine(
                    row, k + 1, {rs->GetValue(k), corv::FieldTypeFromDeclared(rs->Field(k).declaredType)}));
        const std::string table = "ActiveSheet.PivotTables(\"PivotTable1\")";
        const std::string none =
            "{False, False, False, False, False, False, False, False, False, False, False, False}";
        calls.push_back("ActiveSheet.PivotTableWizard(SourceType:=1, SourceData:=\"sheet1\"!R1C1:R" +
                        std::to_string(row - 1) + "C" + std::to_string(lastColumn) +
                        ", TableDestination:=\"\", TableName:=\"PivotTable1\")");
        std::string list;
        for (const std::string& field : std::vector<std::string>{"Round"})
            calls.push_back(table + ".PivotFields(\"" + field + "\").Subtotals = " + none);
        for (const std::string& field : columns) {
            calls.push_back(table + ".PivotFields(\"" + field + "\").Subtotals = " + none);
            list += (list.empty() ? "\"" : ", \"") + field + "\"";
        }
        calls.push_back(table + ".AddFields(RowFields:={\"Round\"}, ColumnFields:={" + list + "})");
        calls.push_back(table + ".PivotFields(\"" + std::string(amount) + "\").Orientation = 4");
        calls.push_back(table + ".ColumnGrand = False");
        calls.push_back(table + ".RowGrand = False");
        calls.push_back("Visible(True, 1033)");
        calls.push_back("DisplayFullScreen = True");
        calls.push_back("DisplayFullScreen = False");
        return calls;
    }

    corv::test::RecordingExcelFactory excel_;
};

}  // namespace

TEST_F(PivotAnalysisTest, RoundRangeIsCheckedAgainstTheNumberOfListedRounds) {
    ASSERT_EQ(viewer_->RoundCount(), 10);
    desktop_.Modal(Rounds("10", ""));
    EXPECT_EQ(Ask(), (RoundRange{10, 10, false}));
    desktop_.Modal(Rounds("7", "4", true));
    EXPECT_EQ(Ask(), (RoundRange{7, 4, true}));

    // From 11: the starting-round message, then the dialog again as the user left it.
    for (AnalysisKind kind : {AnalysisKind::Markets, AnalysisKind::Bidders, AnalysisKind::Rounds}) {
        desktop_.boxes.clear();
        std::string shownAgain;
        desktop_.Modal(Rounds("11", "")).Modal([&](corv::ModalDialog& modal) {
            auto& d = dynamic_cast<frmRounds&>(modal);
            shownAgain = corv::MaskedText(*d.mskFrom);
            d.cmdCancel->click();
        });
        EXPECT_EQ(Ask(kind), std::nullopt);
        EXPECT_EQ(shownAgain, "11");
        ASSERT_EQ(desktop_.boxes.size(), 1u);
        EXPECT_EQ(desktop_.boxes[0].title, "Error");
        EXPECT_EQ(desktop_.boxes[0].icon, corv::MsgIcon::Exclamation);
        EXPECT_EQ(desktop_.boxes[0].buttons, corv::MsgButtons::OK);
    }
    EXPECT_EQ(corv::StartRoundMessage(AnalysisKind::Markets),
              "Error! The starting round you have requested is\r     outside the range of imported rounds.\r"
              "               Please try again.");
    EXPECT_EQ(corv::StartRoundMessage(AnalysisKind::Bidders),
              "Error! The starting round you have requested is\r      outside the range of imported rounds.\r"
              "               Please try again.");
    EXPECT_EQ(corv::StartRoundMessage(AnalysisKind::Rounds),
              "Error! The starting round you have requested is\r     outside the range of imported rounds.\r"
              "                Please try again.");
    EXPECT_EQ(desktop_.boxes[0].text, corv::StartRoundMessage(AnalysisKind::Rounds));
}

TEST_F(PivotAnalysisTest, HighestRoundIsTheLengthOfTheRoundListNotItsLastNumber) {
    {
        const QSignalBlocker quiet(viewer_->ddlRoundNum);
        viewer_->ddlRoundNum->clear();
        viewer_->ddlRoundNum->addItems({"1", "2", "5"});
    }
    desktop_.Modal(Rounds("3", ""));
    EXPECT_EQ(Ask(), (RoundRange{3, 3, false}));
    desktop_.Modal(Rounds("4", "")).Modal(Rounds("", ""));
    EXPECT_EQ(Ask(), std::nullopt);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, corv::StartRoundMessage(AnalysisKind::Markets));
}

TEST_F(PivotAnalysisTest, EndingRoundBeyondTheListYesClampsNoShowsTheEntriesAgain) {
    desktop_.Modal(Rounds("5", "12")).Answer(MsgAnswer::Yes);
    EXPECT_EQ(Ask(), (RoundRange{5, 10, false}));
    const corv::test::ShownBox& box = desktop_.LastBox();
    EXPECT_EQ(box.text,
              " Error! The ending round you have requested is\r      outside the range of imported rounds.\r"
              "Would you like to use all available rounds after\r"
              "             the specified starting round?");
    EXPECT_EQ(box.buttons, corv::MsgButtons::YesNo);
    EXPECT_EQ(box.icon, corv::MsgIcon::None);
    EXPECT_EQ(box.title, "Error");

    std::pair<std::string, std::string> shownAgain;
    desktop_.Modal(Rounds("5", "12")).Answer(MsgAnswer::No).Modal([&](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmRounds&>(modal);
        shownAgain = {corv::MaskedText(*d.mskFrom), corv::MaskedText(*d.mskTo)};
        d.cmdOK->click();
    });
    EXPECT_EQ(desktop_.boxes.size(), 1u);
    desktop_.Answer(MsgAnswer::Yes);
    EXPECT_EQ(Ask(), (RoundRange{5, 10, false}));
    EXPECT_EQ(shownAgain, (std::pair<std::string, std::string>{"5", "12"}));
}

TEST_F(PivotAnalysisTest, RoundDialogIsKeptAfterSuccessAndDiscardedAfterAStop) {
    desktop_.Modal(Rounds("3", "", true));
    EXPECT_EQ(Ask(), (RoundRange{3, 3, true}));
    ASSERT_NE(corv::LoadedRoundsDialog(), nullptr);
    EXPECT_EQ(corv::MaskedText(*corv::LoadedRoundsDialog()->mskFrom), "3");
    EXPECT_TRUE(corv::LoadedRoundsDialog()->optNet->isChecked());

    // Empty From, whatever To holds: a stop without a message.
    desktop_.Modal(Rounds("", "4"));
    EXPECT_EQ(Ask(), std::nullopt);
    EXPECT_EQ(corv::LoadedRoundsDialog(), nullptr);

    // The close box is a Cancel; the next showing starts empty with Gross Bids.
    desktop_.Modal([](corv::ModalDialog& modal) { dynamic_cast<frmRounds&>(modal).close(); });
    EXPECT_EQ(Ask(), std::nullopt);
    EXPECT_EQ(corv::LoadedRoundsDialog(), nullptr);
    desktop_.Modal([](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmRounds&>(modal);
        EXPECT_FALSE(d.Cancelled);
        EXPECT_EQ(corv::MaskedText(*d.mskFrom), "");
        EXPECT_TRUE(d.optGross->isChecked());
        d.cmdCancel->click();
    });
    EXPECT_EQ(Ask(), std::nullopt);
    EXPECT_TRUE(desktop_.boxes.empty());
}

TEST_F(PivotAnalysisTest, ListDialogStartsAfreshAndReturnsPicksInListOrder) {
    const std::vector<std::string> items{"A", "B", "C"};
    desktop_.Modal([](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        EXPECT_EQ(d.Label1->text(), "Select the Bidders to Analyze");
        EXPECT_EQ(d.List1->selectionMode(), QAbstractItemView::ExtendedSelection);
        d.List1->item(2)->setSelected(true);
        d.List1->item(0)->setSelected(true);
        d.cmdOK->click();
    });
    EXPECT_EQ(corv::AskAnalysisList(items, "Select the Bidders to Analyze"),
              (std::vector<std::string>{"A", "C"}));

    desktop_.Modal([](corv::ModalDialog& modal) { dynamic_cast<frmPivotList&>(modal).close(); });
    EXPECT_EQ(corv::AskAnalysisList(items, "Select the Licenses to Analyze"), std::nullopt);
    desktop_.Modal([](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        EXPECT_FALSE(d.Cancelled);
        EXPECT_EQ(d.List1->count(), 3);
        EXPECT_TRUE(d.List1->selectedItems().isEmpty());
        d.cmdOK->click();
    });
    EXPECT_EQ(corv::AskAnalysisList(items, "Select the Licenses to Analyze"), std::nullopt);
    EXPECT_TRUE(desktop_.boxes.empty());
}

TEST_F(PivotAnalysisTest, EscapeInEitherDialogStopsTheAnalysisAndEnterIsOK) {
    const auto roundThen = [](Qt::Key key) {
        return Shown([key](QDialog& d) {
            QTest::keyClicks(dynamic_cast<frmRounds&>(d).mskFrom, "3");
            Press(d, key);
        });
    };
    const auto pickThen = [](Qt::Key key) {
        return Shown([key](QDialog& d) {
            dynamic_cast<frmPivotList&>(d).List1->item(0)->setSelected(true);
            Press(d, key);
        });
    };
    desktop_.Modal(roundThen(Qt::Key_Escape));
    corv::MarketsAnalysis(*viewer_);
    EXPECT_EQ(desktop_.modalRuns, 1);
    EXPECT_EQ(corv::LoadedRoundsDialog(), nullptr);

    desktop_.Modal(roundThen(Qt::Key_Return)).Modal(pickThen(Qt::Key_Escape));
    corv::BiddersAnalysis(*viewer_);
    EXPECT_EQ(desktop_.modalRuns, 3);
    EXPECT_TRUE(excel_.log->calls.empty());
    EXPECT_EQ(excel_.log->applications, 0);

    desktop_.Modal(roundThen(Qt::Key_Enter)).Modal(pickThen(Qt::Key_Return));
    corv::MarketsAnalysis(*viewer_);
    EXPECT_EQ(desktop_.modalRuns, 5);
    EXPECT_EQ(excel_.log->applications, 1);
    EXPECT_FALSE(excel_.log->calls.empty());
    EXPECT_TRUE(desktop_.boxes.empty());
}

TEST(PivotQueryText, MatchListsAndQueries) {
    EXPECT_EQ(corv::MarketListItem("A001", "B"), "A001-B");
    EXPECT_EQ(corv::MarketListItem("A001", "  "), "A001");
    EXPECT_EQ(corv::MatchList({"A-1", "B"}, true), "IN('A-1', 'B-  ') ");
    EXPECT_EQ(corv::MatchList({"A-1", "B"}, false), "IN('A-1', 'B') ");
    EXPECT_EQ(corv::MatchList({"O'Brien Wireless"}, false), "IN('O''Brien Wireless') ");
    EXPECT_EQ(corv::MarketsFirstQuery(2, 5),
              "SELECT DISTINCT [Market], [Block] FROM [Markets and Bidders] WHERE [Round] BETWEEN 2 AND 5");
    EXPECT_EQ(
        corv::MarketsSecondQuery(2, 5, "IN('A') ", true),
        "SELECT * FROM [Markets and Bidders] WHERE [Round] Between 2 AND 5 AND [Market] + '-' + [Block] "
        "IN('A') ORDER BY [Market]");
    EXPECT_EQ(corv::MarketsSecondQuery(2, 5, "IN('A') ", false),
              "SELECT [Auction Id], [Round], [Market], [Bidder Name], [Bid Amount], [Net Bid Amount] FROM "
              "[Markets and Bidders] WHERE [Round] Between 2 AND 5 AND [Market] IN('A') ORDER BY [Market]");
    EXPECT_EQ(corv::BiddersFirstQuery(2, 5),
              "SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders] WHERE [Round] BETWEEN 2 AND 5");
    EXPECT_EQ(corv::BiddersSecondQuery(2, 5, "IN('X') "),
              "SELECT * FROM [Markets and Bidders] WHERE [Round] Between 2 AND 5 AND [Bidder Name] IN('X') "
              "ORDER BY [Market]");
    EXPECT_EQ(corv::RoundsQuery(2, 5),
              "SELECT * FROM [Markets and Bidders] WHERE [Round] Between 2 AND 5 ORDER BY [Round]");
}

TEST_F(PivotAnalysisTest, MarketsAnalysisOfABlockAwareAuction) {
    std::vector<std::string> offered;
    desktop_.Modal(Rounds("2", "4", true)).Modal([&](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        EXPECT_EQ(d.Label1->text(), "Select the Licenses to Analyze");
        for (int i = 0; i < d.List1->count(); ++i) offered.push_back(d.List1->item(i)->text().toStdString());
        // A market with blocks and a market without.
        for (int i = 0; i < d.List1->count(); ++i) {
            const bool bare = offered[i].find('-') == std::string::npos;
            if (bare || i == 0) d.List1->item(i)->setSelected(true);
        }
        d.cmdOK->click();
    });
    corv::MarketsAnalysis(*viewer_);
    std::vector<std::string> picks;
    for (const std::string& item : offered)
        if (item.find('-') == std::string::npos || item == offered[0]) picks.push_back(item);
    ASSERT_GE(picks.size(), 2u);
    ASSERT_NE(offered[0].find('-'), std::string::npos);  // the fixture has both kinds
    const std::string sql = corv::MarketsSecondQuery(2, 4, corv::MatchList(picks, true), true);
    EXPECT_EQ(excel_.log->calls, ExpectedCalls(sql, 7, {"Market", "Block", "Bidder Name"}, "Net Bid Amount"));
    // The two-space literal selects the rows of the markets offered whole.
    EXPECT_EQ(excel_.log->calls.size() - 14,
              7u * (1 + corv::test::QueryCount(
                            path_,
                            "SELECT COUNT(*) FROM [Markets and Bidders] WHERE Round BETWEEN 2 AND 4 AND "
                            "(Block = '  ' OR Market || '-' || Block = '" +
                                offered[0] + "')")));
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(desktop_.maxBusyDepth, 1);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(PivotAnalysisTest, MarketsAnalysisWithoutBlocksCopiesSixColumnsAndLeavesBlockOut) {
    Db().Execute("UPDATE [Markets and Bidders] SET [Block] = '  '");
    desktop_.Modal(Rounds("1", "")).Modal(Pick({1, 0}));
    corv::MarketsAnalysis(*viewer_);
    const auto markets = Db().OpenRecordset(corv::MarketsFirstQuery(1, 1), corv::RecordsetType::Snapshot);
    markets->MoveFirst();
    const std::string first = markets->GetValue(0).toString();
    markets->MoveNext();
    const std::string second = markets->GetValue(0).toString();
    EXPECT_EQ(first.find('-'), std::string::npos);
    const std::string sql = corv::MarketsSecondQuery(1, 1, corv::MatchList({first, second}, false), false);
    EXPECT_EQ(excel_.log->calls, ExpectedCalls(sql, 6, {"Market", "Bidder Name"}, "Bid Amount"));
}

TEST_F(PivotAnalysisTest, BiddersAnalysisTakesANameWithAnApostrophe) {
    std::string picked;
    desktop_.Modal(Rounds("1", "10")).Modal([&](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        EXPECT_EQ(d.Label1->text(), "Select the Bidders to Analyze");
        for (int i = 0; i < d.List1->count(); ++i)
            if (d.List1->item(i)->text().contains('\'')) {
                d.List1->item(i)->setSelected(true);
                picked = d.List1->item(i)->text().toStdString();
            }
        d.cmdOK->click();
    });
    corv::BiddersAnalysis(*viewer_);
    ASSERT_FALSE(picked.empty());
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(excel_.log->calls,
              ExpectedCalls(corv::BiddersSecondQuery(1, 10, corv::MatchList({picked}, false)), 7,
                            {"Market", "Block", "Bidder Name"}, "Bid Amount"));
    EXPECT_GT(excel_.log->calls.size(), 7u * 2 + 14);
}

TEST_F(PivotAnalysisTest, RoundsAnalysisCopiesEveryBidOfTheRangeAndEachAnalysisReportsAFailure) {
    desktop_.Modal(Rounds("4", ""));
    corv::RoundsAnalysis(*viewer_);
    EXPECT_EQ(excel_.log->calls,
              ExpectedCalls(corv::RoundsQuery(4, 4), 7, {"Market", "Block", "Bidder Name"}, "Bid Amount"));
    EXPECT_EQ(excel_.log->calls.size(), 7u * (1 + options_.bidsPerRound) + 14);

    // Round 0 has no rows: the hourglass goes before the box.
    excel_.log->calls.clear();
    desktop_.Modal(Rounds("0", ""));
    corv::RoundsAnalysis(*viewer_);
    EXPECT_TRUE(excel_.log->calls.empty());
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text.rfind("Error 3021: ", 0), 0u) << desktop_.boxes[0].text;
    EXPECT_EQ(desktop_.boxes[0].title, "");
    EXPECT_EQ(desktop_.boxes[0].busyDepth, 0);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);

    // A spreadsheet failure in any analysis: the box with the default pointer, and the workbook added so far
    // stays.
    for (auto* analysis : {corv::MarketsAnalysis, corv::BiddersAnalysis, corv::RoundsAnalysis}) {
        desktop_.boxes.clear();
        excel_.log->calls.clear();
        excel_.log->failAt = 3;
        desktop_.Modal(Rounds("4", ""));
        if (analysis != corv::RoundsAnalysis) desktop_.Modal(Pick({0}));
        analysis(*viewer_);
        ASSERT_EQ(desktop_.boxes.size(), 1u);
        EXPECT_EQ(desktop_.LastBox().text, "Error 1004: Recorded failure");
        EXPECT_EQ(desktop_.LastBox().busyDepth, 0);
        EXPECT_EQ(excel_.log->calls.size(), 3u);
    }
    EXPECT_EQ(excel_.log->applications, 1);
    EXPECT_TRUE(desktop_.ScriptUsedUp());
}

namespace {

// The analyses on the program's own workbook writer, read back by openpyxl and LibreOffice.
class PivotWorkbookTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        desktop_.SetProgramFolder(folder_.Path());
        options_.rounds = 4;
        OpenAuction();
        viewer_ = NewViewer();
    }
    void TearDown() override {
        corv::UnloadAnalysisDialogs();
        ViewerTest::TearDown();
    }

    // SQL sums of the amount over the rows where holds, keyed as the pivot's cells are.
    std::map<std::string, double> SqlSums(const std::string& amount, const std::string& where) {
        std::map<std::string, double> sums;
        const auto rs = Db().OpenRecordset("SELECT [Round], [Market], [Block], [Bidder Name], Sum([" +
                                               amount + "]) FROM [Markets and Bidders] WHERE " + where +
                                               " GROUP BY [Round], [Market], [Block], [Bidder Name]",
                                           corv::RecordsetType::Snapshot);
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext())
            sums[rs->GetValue(0).toString() + "|" + rs->GetValue(1).toString() + "|" +
                 rs->GetValue(2).toString() + "|" + rs->GetValue(3).toString()] = rs->GetValue(4).asDouble();
        return sums;
    }

    // The pivot sheet of the nth workbook written, as LibreOffice rebuilds it; openpyxl must load it too.
    std::map<std::string, double> PivotOfBook(std::size_t n) {
        EXPECT_GT(desktop_.openedFiles.size(), n);
        if (desktop_.openedFiles.size() <= n) return {};
        const std::string file = desktop_.openedFiles[n];
        const std::string script =
            "import sys, openpyxl\n"
            "wb = openpyxl.load_workbook(sys.argv[1])\n"
            "print(wb.sheetnames, wb.active.title, wb.active._pivots[0].name)\n";
        EXPECT_EQ(corv::test::Shell("/usr/bin/python3 -c " + corv::test::Quote(script) + " " +
                                    corv::test::Quote(file) + " 2>&1"),
                  "['Sheet2', 'Sheet1'] Sheet2 PivotTable1\n");
        const auto sheets = corv::test::ConvertWithLibreOffice(file, folder_.File("lo" + std::to_string(n)));
        return sheets.count("Sheet2") ? corv::test::PivotSums(sheets.at("Sheet2"))
                                      : std::map<std::string, double>{};
    }
};

}  // namespace

TEST_F(PivotWorkbookTest, EachAnalysisWritesAPivotWithTheSqlSums) {
    // Markets: one round, one market with blocks, gross.
    std::string market;
    desktop_.Modal(Rounds("3", "")).Modal([&](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        for (int i = 0; i < d.List1->count() && market.empty(); ++i)
            if (d.List1->item(i)->text().contains('-')) {
                d.List1->item(i)->setSelected(true);
                market = d.List1->item(i)->text().toStdString();
            }
        d.cmdOK->click();
    });
    corv::MarketsAnalysis(*viewer_);
    // Bidders: the name with an apostrophe, net.
    std::string bidder;
    desktop_.Modal(Rounds("1", "4", true)).Modal([&](corv::ModalDialog& modal) {
        auto& d = dynamic_cast<frmPivotList&>(modal);
        for (int i = 0; i < d.List1->count(); ++i)
            if (d.List1->item(i)->text().contains('\'')) {
                d.List1->item(i)->setSelected(true);
                bidder = d.List1->item(i)->text().toStdString();
            }
        d.cmdOK->click();
    });
    corv::BiddersAnalysis(*viewer_);
    // Rounds: net over two rounds.
    desktop_.Modal(Rounds("2", "3", true));
    corv::RoundsAnalysis(*viewer_);
    ASSERT_TRUE(desktop_.boxes.empty()) << desktop_.LastBox().text;
    ASSERT_FALSE(market.empty());
    ASSERT_FALSE(bidder.empty());

    std::string doubled;
    for (char c : bidder) doubled += c == '\'' ? "''" : std::string(1, c);
    const auto marketSums =
        SqlSums("Bid Amount", "[Round] = 3 AND [Market] & '-' & [Block] = '" + market + "'");
    const auto bidderSums = SqlSums("Net Bid Amount", "[Bidder Name] = '" + doubled + "'");
    const auto roundSums = SqlSums("Net Bid Amount", "[Round] BETWEEN 2 AND 3");
    ASSERT_FALSE(marketSums.empty());
    ASSERT_FALSE(bidderSums.empty());
    EXPECT_EQ(PivotOfBook(0), marketSums);
    EXPECT_EQ(PivotOfBook(1), bidderSums);
    EXPECT_EQ(PivotOfBook(2), roundSums);
}
