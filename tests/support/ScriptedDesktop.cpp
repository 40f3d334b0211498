#include "support/ScriptedDesktop.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace corv::test {

ScriptedDesktop::ScriptedDesktop(std::string programFolder, std::string downloadsFolder)
    : programFolder_(std::move(programFolder)), downloadsFolder_(std::move(downloadsFolder)) {}

ScriptedDesktop::~ScriptedDesktop() {
    if (installed_) SetDesktop(nullptr);
}

void ScriptedDesktop::Install() {
    SetDesktop(this);
    installed_ = true;
}

ScriptedDesktop& ScriptedDesktop::Answer(MsgAnswer answer) {
    answers_.push_back(answer);
    return *this;
}
ScriptedDesktop& ScriptedDesktop::OpenFile(std::optional<std::string> path) {
    openFiles_.push_back(std::move(path));
    return *this;
}
ScriptedDesktop& ScriptedDesktop::SaveFile(std::optional<std::string> path) {
    saveFiles_.push_back(std::move(path));
    return *this;
}
ScriptedDesktop& ScriptedDesktop::Input(std::optional<std::string> text) {
    inputs_.push_back(std::move(text));
    return *this;
}
ScriptedDesktop& ScriptedDesktop::Modal(std::function<void(ModalDialog&)> action) {
    modals_.push_back(std::move(action));
    return *this;
}

bool ScriptedDesktop::ScriptUsedUp() const {
    return answers_.empty() && openFiles_.empty() && saveFiles_.empty() && inputs_.empty() && modals_.empty();
}

int ScriptedDesktop::BusyAtOkBoxes() const {
    int deepest = 0;
    for (const ShownBox& b : boxes)
        if (b.buttons == MsgButtons::OK) deepest = std::max(deepest, b.busyDepth);
    return deepest;
}

const ShownBox& ScriptedDesktop::LastBox() const {
    if (boxes.empty()) throw std::logic_error("no message box was shown");
    return boxes.back();
}

MsgAnswer ScriptedDesktop::MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                      const std::string& title) {
    MsgAnswer answer;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else if (buttons == MsgButtons::OK) {
        answer = MsgAnswer::OK;  // nothing to choose: not a question the script had to answer
    } else {
        ++unscripted;
        answer = buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoDefaultNo ? MsgAnswer::No
                                                                                       : MsgAnswer::Cancel;
    }
    boxes.push_back({text, title, icon, buttons, answer, busyDepth});
    return answer;
}

std::optional<std::string> ScriptedDesktop::OpenFileDialog(const FileDialogOptions& options) {
    std::optional<std::string> answer;
    if (!openFiles_.empty()) {
        answer = openFiles_.front();
        openFiles_.pop_front();
    } else {
        ++unscripted;
    }
    fileDialogs.push_back({false, options, answer});
    return answer;
}

std::optional<std::string> ScriptedDesktop::SaveFileDialog(const FileDialogOptions& options) {
    std::optional<std::string> answer;
    if (!saveFiles_.empty()) {
        answer = saveFiles_.front();
        saveFiles_.pop_front();
    } else {
        ++unscripted;
    }
    fileDialogs.push_back({true, options, answer});
    return answer;
}

std::optional<std::string> ScriptedDesktop::InputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& defaultText) {
    std::optional<std::string> answer;
    if (!inputs_.empty()) {
        answer = inputs_.front();
        inputs_.pop_front();
    } else {
        ++unscripted;
    }
    inputBoxes.push_back({prompt, title, defaultText, answer});
    return answer;
}

void ScriptedDesktop::RunModal(ModalDialog& dialog) {
    ++modalRuns;
    if (modals_.empty()) {
        // Never call ExecModal here: a real dialog would wait for a user who is not there.
        ++unscripted;
        return;
    }
    auto action = std::move(modals_.front());
    modals_.pop_front();
    action(dialog);
}

void ScriptedDesktop::EndProgram() {
    ++endProgramCalls;
    throw ProgramEnded{0};
}

void ScriptedDesktop::SetBusy(bool busy) {
    busyDepth += busy ? 1 : -1;
    if (busyDepth > maxBusyDepth) maxBusyDepth = busyDepth;
}

void ScriptedDesktop::ProgressBegin(const std::string& title, const std::string& text, int maximum, int) {
    progress.push_back({title, text, maximum, {}, false});
}

bool ScriptedDesktop::ProgressStep(int value, const std::string& text) {
    ++stepCalls_;
    if (!progress.empty()) progress.back().steps.emplace_back(value, text);
    return !(cancelAtStep_ > 0 && stepCalls_ >= cancelAtStep_);
}

void ScriptedDesktop::ProgressEnd() {
    if (!progress.empty()) progress.back().ended = true;
}

bool ScriptedDesktop::MoveToTrash(const std::string& path) {
    std::error_code ec;
    if (!trashAvailable || !std::filesystem::remove(path, ec)) return false;
    trashed.push_back(path);
    return true;
}

std::string ScriptedDesktop::GetSetting(const std::string& app, const std::string& section,
                                        const std::string& key, const std::string& defaultValue) {
    auto it = settings.find(app + "/" + section + "/" + key);
    return it == settings.end() ? defaultValue : it->second;
}

void ScriptedDesktop::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                  const std::string& value) {
    settings[app + "/" + section + "/" + key] = value;
}

std::string ButtonsName(MsgButtons b) {
    switch (b) {
        case MsgButtons::OK:
            return "OK";
        case MsgButtons::OKCancel:
            return "OKCancel";
        case MsgButtons::YesNo:
            return "YesNo";
        case MsgButtons::YesNoCancel:
            return "YesNoCancel";
        case MsgButtons::YesNoDefaultNo:
            return "YesNoDefaultNo";
    }
    return "?";
}

std::string IconName(MsgIcon i) {
    switch (i) {
        case MsgIcon::None:
            return "None";
        case MsgIcon::Information:
            return "Information";
        case MsgIcon::Exclamation:
            return "Exclamation";
        case MsgIcon::Critical:
            return "Critical";
        case MsgIcon::Question:
            return "Question";
    }
    return "?";
}

}  // namespace corv::test
