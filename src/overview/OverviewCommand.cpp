#include "overview/OverviewCommand.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "overview/frmOverview.h"

namespace corv {

void ShowAuctionOverview(store::AuctionSession& session, QMdiArea& area) {
    if (!session.Current()) return;
    for (QMdiSubWindow* sub : area.subWindowList()) {
        // One being closed is already hidden.
        if (!sub->isHidden() && qobject_cast<overview::frmOverview*>(sub->widget())) {
            if (sub->isMinimized()) sub->showNormal();
            area.setActiveSubWindow(sub);
            return;
        }
    }
    auto* window = new overview::frmOverview(session);
    QMdiSubWindow* sub = area.addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    // Its tables and charts want room: the whole area, and no more, so that nothing ends out of sight.
    sub->setGeometry(area.viewport()->rect());
    area.setActiveSubWindow(sub);
}

}  // namespace corv
