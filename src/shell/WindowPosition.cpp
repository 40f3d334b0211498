// Where the main window opens: its bounds are kept in the settings in twips, as they always were.

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
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
    QSize size(std::max(loadedPixels_[2], 1), std::max(loadedPixels_[3], 1));
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
    // A stored width older than today's toolbar would hide commands behind its extension button: the window
    // opens as wide as its menu bar and toolbar need, though never wider than the screen it opens on.
    const QScreen* screen = QGuiApplication::screenAt(at + QPoint(20, 20));
    if (!screen) screen = QGuiApplication::primaryScreen();
    const int stored = size.width();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    size.setWidth(std::max(stored, room.isEmpty() ? BarsWidth() : std::min(BarsWidth(), room.width())));
    if (size.width() > stored && !room.isEmpty()) {
        // Grown past the screen's edge: back left by what it grew, as far as the screen allows.
        const int over = at.x() + size.width() - (room.x() + room.width());
        if (over > 0) {
            at.setX(std::max(room.x(), at.x() - std::min(over, size.width() - stored)));
            if (loadedPixels_[0] >= 0) loadedPixels_[0] = at.x();
        }
    }
    // What the window opened at counts as unmoved: closing it so writes back what was stored.
    loadedPixels_[2] = size.width();
    move(at);
    resize(size);
}

int frmMain::BarsWidth() const {
    const int toolbar = tbToolBar->sizeHint().width() + tbToolBar->contentsMargins().left() +
                        tbToolBar->contentsMargins().right();
    return std::max(menuBar()->sizeHint().width(), toolbar);
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
