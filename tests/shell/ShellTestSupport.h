#pragma once

#include <QApplication>
#include <functional>
#include <memory>
#include <string>

#include "support/FixtureAuction.h"
#include "support/ScriptedDesktop.h"

namespace corv {
class frmOpeningQuestions;
}

namespace corv::test {

// The one QApplication of the test program, made on first use (gtest_main owns main()).
QApplication& ShellTestApp();

// A throw-away folder removed with the object.
class ShellTempFolder {
  public:
    ShellTempFolder();
    ~ShellTempFolder();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// An auction database the way creation and import leave it (round 1 copied, catalog added, later rounds
// appended and recorded), written with SQLite directly. Returns its path.
std::string BuildShellAuction(const std::string& folder, const fixture::AuctionOptions& options);
// Plain SQLite statements on a file (test set-up only).
void RunShellSql(const std::string& path, const std::string& sql);

// A script step for the opening question: choose one option, then press a button.
enum class Opening { Existing, New, Batch };
enum class Press { Continue, Cancel, CloseBox };
std::function<void(ModalDialog&)> AnswerOpening(Opening option, Press press);
// The opening question dialog behind a modal run (fails the test when it is another dialog).
frmOpeningQuestions* OpeningDialogOf(ModalDialog& modal);

}  // namespace corv::test
