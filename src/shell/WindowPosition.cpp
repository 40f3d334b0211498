// Where the main window opens: its bounds are kept in the settings in twips, as they always were.

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <string>

#include "platform/DesktopServices.h"
#include "shell/ShellText.h"
#include "shell/frmMain.h"

namespace corv {

namespace {

constexpr const char* kPositionKeys[4] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
constexpr int kPositionDefaults[4] = {1000, 1000, 6500, 6500};

}  // namespace

void frmMain::LoadPosition() {
    for (int i = 0; i < 4; ++i) {
        const std::string stored =
            Desktop().GetSetting(shell::kSettingsApp, shell::kSettingsSection, kPositionKeys[i],
                                 std::to_string(kPositionDefaults[i]));
        loadedTwips_[i] = shell::TwipsSetting(stored, kPositionDefaults[i]);
        loadedPixels_[i] = shell::TwipsToPixels(loadedTwips_[i]);
    }
    QPoint at(loadedPixels_[0], loadedPixels_[1]);
    const QSize size(std::max(loadedPixels_[2], 1), std::max(loadedPixels_[3], 1));
    // A position stored for a screen that is no longer there would open the window out of sight.
    bool onScreen = QGuiApplication::screens().isEmpty();
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen =
            onScreen || screen->availableGeometry().intersects(QRect(at, size).adjusted(20, 20, -20, -20));
    if (!onScreen) {
        at = QPoint(shell::TwipsToPixels(kPositionDefaults[0]), shell::TwipsToPixels(kPositionDefaults[1]));
        loadedPixels_[0] = -1;  // the stored position was not used: write back the real one
        loadedPixels_[1] = -1;
    }
    move(at);
    resize(size);
}

void frmMain::SavePosition() {
    // A minimized window keeps what was stored; a maximized one stores the maximized bounds.
    if (isMinimized()) return;
    const int pixels[4] = {x(), y(), width(), height()};
    for (int i = 0; i < 4; ++i) {
        const int twips = pixels[i] == loadedPixels_[i] ? loadedTwips_[i] : shell::PixelsToTwips(pixels[i]);
        Desktop().SaveSetting(shell::kSettingsApp, shell::kSettingsSection, kPositionKeys[i],
                              std::to_string(twips));
    }
}

}  // namespace corv
