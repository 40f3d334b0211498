#pragma once

#include <memory>
#include <string>

#include "platform/DesktopServices.h"

namespace corv {

class frmMain;
class frmOpeningQuestions;

// The opening question and what its answer leads to: open an existing auction in a new viewer, create an
// auction from its round 1 file, or batch-import a whole auction.
class StartUp {
  public:
    explicit StartUp(frmMain& main);
    ~StartUp();
    StartUp(const StartUp&) = delete;
    StartUp& operator=(const StartUp&) = delete;

    void FileOpen();
    // A file named on the command line, told apart by its content: an auction database (it has sysRounds)
    // is opened as after the open dialog; a round results file of round 1 creates its auction as after the
    // creation's file dialog; one of a later round is imported after the opening question, which opens an
    // auction to import into. Failures show the error boxes of those commands.
    void OpenCommandLineFile(const std::string& path);

    // Opens path in a new viewer on its first table and round, as "Open an Existing Auction" does once a
    // file is chosen. A failure leaves the viewer open and empty.
    void OpenAuction(const std::string& path);
    // The file dialog that chooses an auction database.
    static FileDialogOptions AuctionFileDialog();

    // The question dialog while it is loaded; closing unloads it.
    frmOpeningQuestions* Dialog() const { return dialog_.get(); }
    void CloseDialog();

  private:
    void LoadDialog();
    void OpenExistingAuction();

    frmMain& main_;
    std::unique_ptr<frmOpeningQuestions> dialog_;
};

}  // namespace corv
