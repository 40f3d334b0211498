#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "ShellTestSupport.h"
#include "shell/frmHelp.h"
#include "shell/frmMain.h"
#include "shell/frmOpeningQuestions.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

using OpeningQuestionTest = ShellTest;

TEST_F(OpeningQuestionTest, NewAuctionAnsweredNoSaysTryAgainAndEnds) {
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::New, Press::Continue)).Answer(MsgAnswer::No);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);

    ASSERT_EQ(desktop.boxes.size(), 2u);
    const ShownBox& question = desktop.boxes[0];
    EXPECT_EQ(question.text,
              "In order to create a new auction, you must have the round results\r"
              "     file from the first round of the auction you intend to create.\r"
              "                    Do you have the first round results file?");
    EXPECT_EQ(question.title, "New Auction");
    EXPECT_EQ(question.buttons, MsgButtons::YesNo);
    EXPECT_EQ(question.icon, MsgIcon::None);
    const ShownBox& again = desktop.boxes[1];
    EXPECT_EQ(again.text,
              "Please download the first round results file for\r"
              " the auction you intend to create and try again.");
    EXPECT_EQ(again.title, "Please Try Again");
    EXPECT_EQ(again.buttons, MsgButtons::OK);
    EXPECT_EQ(again.icon, MsgIcon::Information);

    EXPECT_EQ(desktop.endProgramCalls, 1);
    EXPECT_TRUE(desktop.fileDialogs.empty());
    EXPECT_TRUE(w.Viewers().isEmpty());
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST_F(OpeningQuestionTest, BatchImportAnsweredNoSaysTryAgainWithoutLeadingBlankAndEnds) {
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Batch, Press::Continue)).Answer(MsgAnswer::No);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);

    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[0].text,
              "      In order to batch import a new auction, you must have the round results\r"
              "files for all the rounds of the auction you intend to create, in the same directory.\r"
              "       Do you have the all of the round results files in the same directory?");
    EXPECT_EQ(desktop.boxes[0].title, "Batch Auction Import");
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(desktop.boxes[1].text,
              "Please download the first round results file for\r"
              "the auction you intend to create and try again.");
    EXPECT_EQ(desktop.boxes[1].title, "Please Try Again");
    EXPECT_EQ(desktop.boxes[1].icon, MsgIcon::Information);
    EXPECT_TRUE(desktop.fileDialogs.empty());
}

TEST_F(OpeningQuestionTest, BatchImportAnsweredYesAsksForRoundOneThenCancelAsksAgain) {
    frmMain w;
    // Yes, the file dialog is cancelled: the question comes again; its close box means an existing auction,
    // whose cancelled file dialog ends the program.
    desktop.Modal(AnswerOpening(Opening::Batch, Press::Continue))
        .Answer(MsgAnswer::Yes)
        .OpenFile(std::nullopt)
        .Modal(AnswerOpening(Opening::Batch, Press::CloseBox))
        .OpenFile(std::nullopt);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);

    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[1].text,
              "Please select the round results file for \rround 1 of the auction you wish to create.");
    EXPECT_EQ(desktop.boxes[1].title, "Select File for Round 1");
    EXPECT_EQ(desktop.boxes[1].buttons, MsgButtons::OK);
    EXPECT_EQ(desktop.boxes[1].icon, MsgIcon::Information);
    EXPECT_EQ(desktop.modalRuns, 2);
    ASSERT_EQ(desktop.fileDialogs.size(), 2u);
    EXPECT_EQ(desktop.fileDialogs[1].options.filter, "Access (*.mdb)|*.mdb");
}

TEST_F(OpeningQuestionTest, CancelButtonAndEscapeEndAtOnce) {
    for (Press press : {Press::Cancel, Press::Escape}) {
        frmMain w;
        desktop.Modal(AnswerOpening(Opening::New, press));
        EXPECT_THROW(w.FileOpen(), ProgramEnded);
    }
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_TRUE(desktop.fileDialogs.empty());
    EXPECT_EQ(desktop.endProgramCalls, 2);
}

TEST_F(OpeningQuestionTest, CancelledOpenFileDialogEndsWithoutViewer) {
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Existing, Press::Continue)).OpenFile(std::nullopt);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);
    ASSERT_EQ(desktop.fileDialogs.size(), 1u);
    const FileDialogOptions& o = desktop.fileDialogs[0].options;
    EXPECT_FALSE(desktop.fileDialogs[0].save);
    EXPECT_EQ(o.filter, "Access (*.mdb)|*.mdb");
    EXPECT_EQ(o.initialDir, folder.Path());
    EXPECT_TRUE(o.hideReadOnly);
    EXPECT_EQ(o.title, "");
    EXPECT_TRUE(w.Viewers().isEmpty());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(OpeningQuestionTest, CloseBoxForgetsTheChoiceAndOpensAnExistingAuction) {
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::New, Press::CloseBox)).OpenFile(std::nullopt);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
    EXPECT_EQ(desktop.fileDialogs.size(), 1u);
}

TEST_F(OpeningQuestionTest, OpeningAnAuctionShowsFirstTableForFirstRound) {
    fixture::AuctionOptions options;
    const std::string path = BuildAuctionDatabase(folder.Path(), options);
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Existing, Press::Continue)).OpenFile(path);
    w.FileOpen();

    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
    EXPECT_EQ(w.windowTitle().toStdString(), "Corvidel - " + path);
    EXPECT_EQ(OpenPath(w), path);
    ASSERT_EQ(w.Viewers().size(), 1);
    frmFlexGrid* viewer = w.Viewers().front();
    EXPECT_EQ(w.ActiveViewer(), viewer);
    EXPECT_EQ(viewer->ddlTableName->currentText(), "Markets and Bidders");
    EXPECT_EQ(viewer->ddlRoundNum->currentText(), "1");
    EXPECT_EQ(viewer->RoundCount(), 3);
    EXPECT_EQ(viewer->ddlTableName->count(), 8);
    EXPECT_EQ(w.StatusPanel(1), "Markets and Bidders - Round 1");
    // The question is unloaded: the next one starts afresh.
    EXPECT_EQ(w.OpeningQuestions(), nullptr);
}

TEST_F(OpeningQuestionTest, FileThatIsNotADatabaseIsReportedAndLeavesAnEmptyViewer) {
    const std::string junk = folder.Path() + "/junk.mdb";
    std::ofstream(junk) << "this is not a database";
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::Existing, Press::Continue)).OpenFile(junk);
    w.FileOpen();

    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("Error:3343 ", 0), 0u) << desktop.boxes[0].text;
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::OK);
    EXPECT_EQ(w.windowTitle(), "Corvidel");
    ASSERT_EQ(w.Viewers().size(), 1);
    EXPECT_EQ(w.Viewers().front()->ddlTableName->count(), 0);
    EXPECT_FALSE(w.OpenAuction());
    // The dialog stays loaded but hidden, with the choice it had.
    ASSERT_NE(w.OpeningQuestions(), nullptr);
    EXPECT_FALSE(w.OpeningQuestions()->isVisible());
    EXPECT_TRUE(w.OpeningQuestions()->optExisting->isChecked());
}

TEST_F(OpeningQuestionTest, ListFillingClosesALoadedQuestion) {
    const std::string junk = folder.Path() + "/junk.mdb";
    std::ofstream(junk) << "nothing";
    const std::string path = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
    frmMain w;
    desktop.Modal(AnswerOpening(Opening::New, Press::CloseBox)).OpenFile(junk);
    w.FileOpen();
    ASSERT_NE(w.OpeningQuestions(), nullptr);
    w.Session().Open(path);
    w.PopulateTables();
    EXPECT_NE(w.OpeningQuestions(), nullptr);
    w.PopulateRounds();
    EXPECT_EQ(w.OpeningQuestions(), nullptr);
}

TEST_F(OpeningQuestionTest, HelpButtonShowsHelpWithoutEndingTheQuestion) {
    frmMain w;
    ASSERT_FALSE(w.HelpFile().isEmpty());
    desktop
        .Modal([&](ModalDialog& modal) {
            frmOpeningQuestions* dialog = OpeningDialogOf(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->cmdHelp->click();
            EXPECT_EQ(dialog->result(), frmOpeningQuestions::Closed);  // help does not answer
            dialog->cmdContinue->click();
        })
        .OpenFile(std::nullopt);
    EXPECT_THROW(w.FileOpen(), ProgramEnded);
    ASSERT_NE(w.HelpWindow(), nullptr);
    EXPECT_FALSE(w.HelpWindow()->Sections().empty());
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(desktop.fileDialogs.size(), 1u);
}

TEST_F(OpeningQuestionTest, F1ShowsHelpLikeTheHelpButton) {
    frmMain w;
    desktop.Modal([&](ModalDialog& modal) {
        frmOpeningQuestions* dialog = OpeningDialogOf(modal);
        ASSERT_NE(dialog, nullptr);
        QTest::keyClick(dialog, Qt::Key_F1);
        EXPECT_EQ(dialog->result(), frmOpeningQuestions::Closed);
        dialog->cmdCancel->click();
    });
    EXPECT_THROW(w.FileOpen(), ProgramEnded);
    ASSERT_NE(w.HelpWindow(), nullptr);
    EXPECT_TRUE(w.HelpWindow()->isVisible());
}

TEST_F(OpeningQuestionTest, HelpButtonWithoutHelpFileIsSilent) {
    frmMain w;
    w.SetHelpFile("");
    desktop.Modal([&](ModalDialog& modal) {
        frmOpeningQuestions* dialog = OpeningDialogOf(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->cmdHelp->click();
        dialog->cmdCancel->click();
    });
    EXPECT_THROW(w.FileOpen(), ProgramEnded);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(w.HelpWindow(), nullptr);
}

TEST(OpeningQuestionDialog, CaptionsStartingChoiceAndTabOrder) {
    TestApp();
    frmOpeningQuestions d;
    EXPECT_EQ(d.windowTitle(), "Open an Existing Auction or Create a New One?");
    EXPECT_EQ(d.optExisting->text(), "Open an Existing Auction");
    EXPECT_EQ(d.optNew->text(), "Create a New Auction");
    EXPECT_EQ(d.optBatch->text(), "Batch Import a New Auction");
    EXPECT_EQ(d.cmdHelp->text(), "Help");
    EXPECT_EQ(d.cmdCancel->text(), "Cancel");
    EXPECT_EQ(d.cmdContinue->text(), "Continue");
    EXPECT_TRUE(d.optExisting->isChecked());
    EXPECT_FALSE(d.optNew->isChecked());
    EXPECT_FALSE(d.optBatch->isChecked());
    EXPECT_TRUE(d.cmdContinue->isDefault());

    const QWidget* order[] = {d.optExisting, d.optNew, d.optBatch, d.cmdHelp, d.cmdCancel, d.cmdContinue};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        const QWidget* next = order[i]->nextInFocusChain();
        while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << "after " << order[i]->objectName().toStdString();
    }

    // The choices exclude one another.
    d.optBatch->setChecked(true);
    EXPECT_FALSE(d.optExisting->isChecked());
}

}  // namespace
}  // namespace corv::test
