#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include "platform/DesktopServices.h"

class QWidget;
class QMessageBox;
class QFileDialog;

namespace corv {

// The desktop services with real Qt dialogs. Dialogs are parented to the main window once it is given.
class QtDesktop : public DesktopServices {
  public:
    QtDesktop();
    ~QtDesktop() override;

    void setParentWindow(QWidget* parent) { parent_ = parent; }

    MsgAnswer MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                         const std::string& title) override;
    std::optional<std::string> OpenFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> SaveFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void RunModal(ModalDialog& dialog) override;
    [[noreturn]] void EndProgram() override;
    void SetBusy(bool busy) override;
    void ProgressBegin(const std::string& title, const std::string& text, int maximum,
                       int showAfterMs = 0) override;
    bool ProgressStep(int value, const std::string& text) override;
    void ProgressEnd() override;
    bool MoveToTrash(const std::string& path) override;
    bool OpenWithDefaultApplication(const std::string& path) override;
    std::string ProgramFolder() override;
    std::string DownloadsFolder() override;
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) override;

    // The pieces below are what the dialogs are built from; tests look at them without showing anything.

    // A message box ready to exec(): "\r" pieces on lines of their own, each kept whole unless it is wider
    // than the box may grow; then it wraps. Nothing is cut off.
    std::unique_ptr<QMessageBox> BuildMessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                                 const std::string& title) const;
    std::unique_ptr<QFileDialog> BuildFileDialog(const FileDialogOptions& options, bool save) const;
    // The progress dialog while one is running, else null.
    QProgressDialog* progressDialog() const { return progress_; }

  private:
    QPointer<QWidget> parent_;
    QPointer<QProgressDialog> progress_;
    QString lastSaved_;  // UI thread
};

// "Access (*.mdb)|*.mdb|All (*.*)|*.*" -> "Access (*.mdb);;All (*)". A description that does not show its
// pattern gets it appended in brackets, as Qt needs it there; ";"-separated patterns become Qt's spaces.
QString QtNameFilters(const std::string& filter);
// Program text to display text: pieces joined by "\r" (or "\r\n") become lines.
QString DisplayText(const std::string& text);
// The message box answer for a Qt standard button.
MsgAnswer AnswerFromButton(int standardButton);

}  // namespace corv
