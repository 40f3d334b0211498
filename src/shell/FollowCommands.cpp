// Tools > Follow Downloads: the main window's side of the follower.

#include <QAction>
#include <QApplication>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "shell/ShellText.h"
#include "shell/frmMain.h"
#include "store/Auction.h"

namespace corv {

using shell::kSettingsApp;
using shell::kSettingsSection;

namespace {
constexpr const char* kFollowKey = "FollowDownloads";
}  // namespace

void frmMain::SetUpFollowing(FollowTiming timing) {
    follower_ = new DownloadFollower(this, std::move(timing));
    follower_->SetAuction([this] { return session_.Current(); });
    follower_->SetMayImport([this] { return commandDepth_ == 0 && !QApplication::activeModalWidget(); });
    connect(follower_, &DownloadFollower::RoundImported, this,
            [this](int round) { ShowFollowMessage(QStringLiteral("Round %1 imported").arg(round)); });
    connect(follower_, &DownloadFollower::MissingRoundChanged, this, &frmMain::ShowMissingRound);
    connect(follower_, &DownloadFollower::ImportFailed, this, &frmMain::FollowFailed);
    followTip_ = ToolbarButton("Follow")->toolTip();
    {
        QAction* follow = MenuItem("mnuToolsFollowDownloads");
        const QSignalBlocker quiet(follow);
        follow->setChecked(Desktop().GetSetting(kSettingsApp, kSettingsSection, kFollowKey, "0") == "1");
        ToolbarButton("Follow")->setChecked(follow->isChecked());
    }
    UpdateFollowing();
}

void frmMain::FollowToggled(bool on) {
    Desktop().SaveSetting(kSettingsApp, kSettingsSection, kFollowKey, on ? "1" : "0");
    UpdateFollowing();
}

void frmMain::UpdateFollowing() {
    // A read-only auction takes no rounds.
    const store::Auction* auction = session_.Current();
    const bool open = auction && !auction->ReadOnly();
    SetCommandEnabled("mnuToolsFollowDownloads", open);
    if (open && MenuItem("mnuToolsFollowDownloads")->isChecked())
        follower_->Start(QString::fromStdString(Desktop().DownloadsFolder()));
    else
        follower_->Stop();
}

void frmMain::ShowMissingRound(int round) {
    QString tip = followTip_;
    if (round > 0) {
        const QString missing = QStringLiteral("Round %1 is missing").arg(round);
        tip += QStringLiteral(": ") + missing;
        ShowFollowMessage(missing);
    }
    ToolbarButton("Follow")->setToolTip(tip);
}

void frmMain::ShowFollowMessage(const QString& text) {
    sbStatusBar->showMessage(text);
    // Its seconds count from when the window is free again: what an import sets off (viewers reading their
    // tables again) is posted before this and may hold the window longer than the message would last.
    const unsigned shown = ++followMessages_;
    QTimer::singleShot(0, this, [this, shown] {
        QTimer::singleShot(follower_->Timing().messageMs, this, [this, shown] {
            if (shown == followMessages_) sbStatusBar->clearMessage();
        });
    });
}

void frmMain::FollowFailed(int number, const QString& description) {
    // Off first: the box's own event loop must not start another import.
    MenuItem("mnuToolsFollowDownloads")->setChecked(false);
    ShowErrorBox(ErrorForm::ColonNoSpace, number, description.toStdString());
}

}  // namespace corv
