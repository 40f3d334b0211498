// The watch list's side of the main window: Tools > Watch List…, the rounds of each import weighed, and a
// notification's "Show".

#include <QMdiArea>
#include <QMdiSubWindow>

#include "alerts/RoundAlerts.h"
#include "overview/AlertLogPage.h"
#include "overview/OverviewCommand.h"
#include "overview/WatchListDialog.h"
#include "overview/frmOverview.h"
#include "shell/AuctionFollowers.h"
#include "shell/frmMain.h"

namespace corv {

void frmMain::SetUpAlerts() {
    alerts_ = std::make_unique<alerts::RoundAlerts>(session_, bids_);
    connect(followers_.get(), &AuctionFollowers::RoundsImported, alerts_.get(), &alerts::RoundAlerts::Weigh);
    connect(alerts_.get(), &alerts::RoundAlerts::Weighed, this, [this] { ReadAlertsAgain(); });
    connect(&alerts_->Notifier(), &alerts::DesktopNotifier::ShowRound, this, &frmMain::ShowAlertRound);
}

void frmMain::EditWatchList() {
    const overview::WatchListDialog* dialog =
        overview::OpenWatchList(session_.Current()->Path(), bids_, this);
    connect(dialog, &overview::WatchListDialog::Saved, this, [this] { ReadAlertsAgain(); });
}

void frmMain::ReadAlertsAgain() {
    for (QMdiSubWindow* sub : mdiArea->subWindowList())
        if (auto* overview = qobject_cast<overview::frmOverview*>(sub->widget()))
            overview->alertsPage->ReadAgain();
}

void frmMain::ShowAlertRound(int round) {
    if (!session_.Current()) return;
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    ShowAuctionOverview(session_, *mdiArea);
    if (QMdiSubWindow* sub = mdiArea->activeSubWindow())
        if (auto* overview = qobject_cast<overview::frmOverview*>(sub->widget())) overview->ShowRound(round);
}

}  // namespace corv
