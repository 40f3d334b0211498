#pragma once

#include <memory>

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
