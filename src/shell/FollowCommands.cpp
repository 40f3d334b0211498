// Tools > Follow Downloads: the main window's side of the follower, its check mark and its words.

#include <QAction>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include "platform/ErrorBox.h"
#include "shell/AuctionFollowers.h"
#include "shell/frmMain.h"

namespace corv {

void frmMain::SetUpFollowing() {
    DownloadFollower& follower = followers_->Downloads();
    connect(&follower, &DownloadFollower::RoundImported, this,
            [this](int round) { ShowFollowMessage(QStringLiteral("Round %1 imported").arg(round)); });
    connect(&follower, &DownloadFollower::MissingRoundChanged, this, &frmMain::ShowMissingRound);
    connect(&follower, &DownloadFollower::ImportFailed, this, &frmMain::FollowFailed);
    QAction* follow = MenuItem("mnuToolsFollowDownloads");
    if (!follow) return;
    followTip_ = ToolbarButton("Follow")->toolTip();
    const QSignalBlocker quiet(follow);
    follow->setChecked(followers_->FollowingWanted());
    ToolbarButton("Follow")->setChecked(follow->isChecked());
}

void frmMain::ShowMissingRound(int round) {
    QString tip = followTip_;
    if (round > 0) {
        const QString missing = QStringLiteral("Round %1 is missing").arg(round);
        tip += QStringLiteral(": ") + missing;
        ShowFollowMessage(missing);
    }
    if (QAction* button = ToolbarButton("Follow")) button->setToolTip(tip);
}

void frmMain::ShowFollowMessage(const QString& text) {
    sbStatusBar->showMessage(text);
    // Its seconds count from when the window is free again: what an import sets off (viewers reading their
    // tables again) is posted before this and may hold the window longer than the message would last.
    const unsigned shown = ++followMessages_;
    QTimer::singleShot(0, this, [this, shown] {
        QTimer::singleShot(Follower()->Timing().messageMs, this, [this, shown] {
            if (shown == followMessages_) sbStatusBar->clearMessage();
        });
    });
}

void frmMain::FollowFailed(int number, const QString& description) {
    // Off first: the box's own event loop must not start another import.
    followers_->SetFollowing(false);
    if (QAction* follow = MenuItem("mnuToolsFollowDownloads")) {
        const QSignalBlocker quiet(follow);
        follow->setChecked(false);
        ToolbarButton("Follow")->setChecked(false);
    }
    ShowErrorBox(ErrorForm::ColonNoSpace, number, description.toStdString());
}

}  // namespace corv
