#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fixture/FixtureAuction.h"
#include "shell/CommandTable.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"

namespace corv {
class frmMain;
class frmOpeningQuestions;
}  // namespace corv

namespace corv::test {

// The set-up every shell test starts from: the test application, the scripted desktop with its folders in a
// throw-away folder, and no auction open.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    TempFolder folder;
    ScriptedDesktop desktop;
};

// Tests of the main window itself.
class MainWindowTest : public ShellTest {
  protected:
    // Opens a fixture auction of the default options in w; returns its path.
    std::string OpenFixtureAuction(frmMain& w);
    std::string Setting(const std::string& key) { return desktop.settings["Corvidel/Settings/" + key]; }
    void Store(const std::string& key, const std::string& value) {
        desktop.settings["Corvidel/Settings/" + key] = value;
    }
};

// The path of the window's open auction; empty when none is open.
std::string OpenPath(frmMain& w);

// The program's command table with the function of each row named replaced.
std::vector<CommandRow> CommandsWith(const std::map<std::string, CommandFunction>& runs);

// A script step for the opening question: choose one option, then press a button.
enum class Opening { Existing, New, Batch };
enum class Press { Continue, Cancel, Escape, CloseBox };
std::function<void(ModalDialog&)> AnswerOpening(Opening option, Press press);
// The opening question dialog behind a modal run (fails the test when it is another dialog).
frmOpeningQuestions* OpeningDialogOf(ModalDialog& modal);

}  // namespace corv::test
