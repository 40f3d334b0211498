#pragma once

#include <functional>
#include <optional>
#include <string>

namespace corv {

// YesNoDefaultNo: Yes and No with No the default, for a question whose Yes cannot be taken back.
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgAnswer { OK, Cancel, Yes, No };

// The program's title, shown by a message box given no title.
inline constexpr const char* kAppTitle = "Corvidel";

struct FileDialogOptions {
    std::string filter;      // "Access (*.mdb)|*.mdb" form: description|pattern pairs
    std::string initialDir;  // start folder
    std::string title;       // empty: the dialog's own
    std::string fileName;    // initial file name
    bool hideReadOnly = true;
};

// Something shown modally by RunModal: a real dialog, or in tests a stand-in whose fields a script sets.
class ModalDialog {
  public:
    virtual ~ModalDialog() = default;
    virtual void ExecModal() = 0;
};

// The desktop services the commands use. Message texts are passed exactly as the program defines them,
// with pieces joined by "\r"; only the Qt implementation turns "\r" into line breaks for display.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // title empty: the application title.
    virtual MsgAnswer MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                 const std::string& title) = 0;
    // nullopt: the user cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogOptions& options) = 0;
    // nullopt: cancelled.
    virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    virtual void RunModal(ModalDialog& dialog) = 0;
    // Immediate termination: no unload handler runs, nothing is saved or closed.
    [[noreturn]] virtual void EndProgram() = 0;
    // The hourglass pointer; calls nest.
    virtual void SetBusy(bool busy) = 0;

    // Progress of long work. ProgressStep returns false when the user asked to cancel. The window appears
    // once the work looks like lasting longer than showAfterMs, so a quick job does not flash one.
    virtual void ProgressBegin(const std::string& title, const std::string& text, int maximum,
                               int showAfterMs = 0) = 0;
    virtual bool ProgressStep(int value, const std::string& text) = 0;
    virtual void ProgressEnd() = 0;

    // Moves a file to the desktop's trash; false when it could not go there (no trash on its file system).
    virtual bool MoveToTrash(const std::string& path) = 0;

    // Opens a file with the desktop's default program for its type; false when none could be started.
    virtual bool OpenWithDefaultApplication(const std::string& path) = 0;

    // Folders: the program's folder (auction databases) and the downloads folder (round results files).
    virtual std::string ProgramFolder() = 0;
    virtual std::string DownloadsFolder() = 0;

    // Per-user settings store: application, section, key.
    virtual std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

// The services in use; the program installs the Qt ones at start, tests a scripted double.
DesktopServices& Desktop();
void SetDesktop(DesktopServices* services);

// Sets the hourglass for the lifetime of the object.
class BusyPointer {
  public:
    BusyPointer() { Desktop().SetBusy(true); }
    ~BusyPointer() { Desktop().SetBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// A progress display that ends however the work ends.
class ProgressScope {
  public:
    ProgressScope() = default;
    ~ProgressScope() { End(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    void Begin(const std::string& title, const std::string& text, int maximum, int showAfterMs = 0) {
        Desktop().ProgressBegin(title, text, maximum, showAfterMs);
        active_ = true;
    }
    void End() {
        if (active_) Desktop().ProgressEnd();
        active_ = false;
    }
    bool Active() const { return active_; }

  private:
    bool active_ = false;
};

}  // namespace corv
