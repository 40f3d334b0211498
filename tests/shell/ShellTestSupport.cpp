#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "shell/frmMain.h"
#include "shell/frmOpeningQuestions.h"

namespace corv::test {

void ShellTest::SetUp() {
    TestApp();
    desktop.Install();
    desktop.SetProgramFolder(folder.Path());
    desktop.SetDownloadsFolder(folder.Path());
}

void ShellTest::TearDown() {}

std::string MainWindowTest::OpenFixtureAuction(frmMain& w) {
    const std::string path = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
    w.Session().Open(path);
    return path;
}

std::string OpenPath(frmMain& w) {
    return w.OpenAuction() ? w.OpenAuction()->Path() : std::string();
}

std::vector<CommandRow> CommandsWith(const std::map<std::string, CommandFunction>& runs) {
    std::vector<CommandRow> rows = CommandTable();
    for (CommandRow& row : rows)
        if (auto it = runs.find(row.name); it != runs.end()) row.run = it->second;
    return rows;
}

frmOpeningQuestions* OpeningDialogOf(ModalDialog& modal) {
    auto* adapter = dynamic_cast<DialogModal*>(&modal);
    EXPECT_NE(adapter, nullptr) << "the modal run is not a Qt dialog";
    if (!adapter) return nullptr;
    auto* dialog = qobject_cast<frmOpeningQuestions*>(&adapter->Dialog());
    EXPECT_NE(dialog, nullptr) << "the modal run is not the opening question";
    return dialog;
}

std::function<void(ModalDialog&)> AnswerOpening(Opening option, Press press) {
    return [option, press](ModalDialog& modal) {
        frmOpeningQuestions* dialog = OpeningDialogOf(modal);
        if (!dialog) return;
        QRadioButton* choice = option == Opening::New     ? dialog->optNew
                               : option == Opening::Batch ? dialog->optBatch
                                                          : dialog->optExisting;
        choice->setChecked(true);
        if (press == Press::Continue) dialog->cmdContinue->click();
        if (press == Press::Cancel) dialog->cmdCancel->click();
        if (press == Press::Escape) QTest::keyClick(dialog, Qt::Key_Escape);
        if (press == Press::CloseBox) dialog->reject();
    };
}

}  // namespace corv::test
