#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopServices.h"

namespace corv::test {

// Thrown by the double's EndProgram so a test can see the program would have ended.
struct ProgramEnded {
    int code = 0;
};

// One message box as the program asked for it, and what the script answered.
struct ShownBox {
    std::string text;
    std::string title;  // as passed: empty means the application title
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
    MsgAnswer answer = MsgAnswer::OK;
    int busyDepth = 0;  // nesting of SetBusy while the box was up: 0 means the default pointer
};

struct ShownFileDialog {
    bool save = false;
    FileDialogOptions options;
    std::optional<std::string> answer;
};

struct ShownInputBox {
    std::string prompt;
    std::string title;
    std::string defaultText;
    std::optional<std::string> answer;
};

struct ProgressRecord {
    std::string title;
    std::string text;
    int maximum = 0;
    std::vector<std::pair<int, std::string>> steps;
    bool ended = false;
};

// The desktop for tests: records everything the program shows and answers from queues the test fills.
// A box with only OK is answered OK unless the script says otherwise. Unscripted questions get a cautious
// default (No or Cancel; file and input dialogs are cancelled) and are counted, so a test can insist that its
// script covered everything.
class ScriptedDesktop : public DesktopServices {
  public:
    explicit ScriptedDesktop(std::string programFolder = {}, std::string downloadsFolder = {});
    ~ScriptedDesktop() override;

    // Makes this object Desktop() until it is destroyed (which uninstalls it).
    void Install();

    // --- script ---
    ScriptedDesktop& Answer(MsgAnswer answer);
    ScriptedDesktop& OpenFile(std::optional<std::string> path);  // nullopt: the user cancels
    ScriptedDesktop& SaveFile(std::optional<std::string> path);
    ScriptedDesktop& Input(std::optional<std::string> text);
    // Runs instead of the dialog's modal display; the test sets the dialog's fields (dynamic_cast it).
    ScriptedDesktop& Modal(std::function<void(ModalDialog&)> action);
    // ProgressStep returns false from its nth call (1-based, counted over the whole run) onwards.
    void CancelProgressAtStep(int n) { cancelAtStep_ = n; }
    void SetProgramFolder(std::string folder) { programFolder_ = std::move(folder); }
    void SetDownloadsFolder(std::string folder) { downloadsFolder_ = std::move(folder); }

    // --- record ---
    std::vector<ShownBox> boxes;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<ShownInputBox> inputBoxes;
    std::vector<ProgressRecord> progress;
    int modalRuns = 0;
    int endProgramCalls = 0;
    int busyDepth = 0;                            // current nesting of SetBusy
    int maxBusyDepth = 0;                         // deepest nesting seen
    int unscripted = 0;                           // questions answered by default because the script ran out
    std::map<std::string, std::string> settings;  // "app/section/key" -> value
    std::vector<std::string> openedFiles;         // files given to the desktop's default program
    bool openSucceeds = true;                     // whether such a program is there
    std::vector<std::string> trashed;             // files moved to the trash
    bool trashAvailable = true;

    // Queued answers not used yet.
    bool ScriptUsedUp() const;
    const ShownBox& LastBox() const;
    // The deepest busy nesting a box with only OK (an error or a notice) was shown under: 0 when each came
    // with the default pointer. Questions may come under the hourglass.
    int BusyAtOkBoxes() const;

    // --- DesktopServices ---
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
    // Takes the file away as a trash would, unless there is none.
    bool MoveToTrash(const std::string& path) override;
    bool OpenWithDefaultApplication(const std::string& path) override {
        openedFiles.push_back(path);
        return openSucceeds;
    }
    std::string ProgramFolder() override { return programFolder_; }
    std::string DownloadsFolder() override { return downloadsFolder_; }
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) override;

  private:
    std::string programFolder_;
    std::string downloadsFolder_;
    std::deque<MsgAnswer> answers_;
    std::deque<std::optional<std::string>> openFiles_;
    std::deque<std::optional<std::string>> saveFiles_;
    std::deque<std::optional<std::string>> inputs_;
    std::deque<std::function<void(ModalDialog&)>> modals_;
    int cancelAtStep_ = 0;
    int stepCalls_ = 0;
    bool installed_ = false;
};

// Readable names for failure messages.
std::string ButtonsName(MsgButtons b);
std::string IconName(MsgIcon i);

}  // namespace corv::test
