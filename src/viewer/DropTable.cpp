#include "viewer/DropTable.h"

#include <exception>
#include <optional>

#include <QComboBox>

#include "dialogue/AuctionCommands.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/Auction.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

void DropTable(frmFlexGrid& viewer) {
    store::Auction* auction = viewer.Host().OpenAuction();
    if (!RequireWritableAuction(auction)) return;
    std::optional<BusyPointer> busy(std::in_place);
    const std::string table = viewer.ddlTableName->currentText().toStdString();
    if (!auction) return;
    if (auction->IsSupplied(table)) {
        busy.reset();
        Desktop().MessageBox("Access to " + table + " denied.", MsgButtons::OK, MsgIcon::Exclamation,
                             "Access Denied");
        return;
    }
    try {
        if (Desktop().MessageBox("This action will permanently delete\rthe current table, continue anyway?",
                                 MsgButtons::YesNo, MsgIcon::None, {}) != MsgAnswer::Yes) {
            return;
        }
        // Let go of the table first: a set still reading it would keep the drop from happening.
        viewer.Data1.RecordSource = QStringLiteral("sysTables");
        viewer.Data1.Refresh();
        auction->DropTable(table);
        busy.reset();
        if (viewer.ddlTableName->currentIndex() == 0)
            viewer.ddlTableName_Click();
        else
            viewer.ddlTableName->setCurrentIndex(0);
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace corv
