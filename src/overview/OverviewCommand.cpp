#include "overview/OverviewCommand.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <stdexcept>

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
    auto* bids = session.FindListener<standings::AuctionBids>();
    if (!bids) throw std::logic_error("The session keeps no bids for the overview");
    auto* window = new overview::frmOverview(session, *bids);
    QMdiSubWindow* sub = area.addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    // Its tables and charts want room: the whole area, and no more, so that nothing ends out of sight.
    sub->setGeometry(area.viewport()->rect());
    area.setActiveSubWindow(sub);
}

}  // namespace corv
