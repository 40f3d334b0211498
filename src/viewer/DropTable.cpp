#include "viewer/DropTable.h"

#include <exception>
#include <optional>

#include <QComboBox>

#include "engine/Database.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/AuctionDb.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

std::string Quoted(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

// Whether the table came with the round files; a failed lookup counts as not supplied.
bool IsSupplied(Database& db, const std::string& table) {
    try {
        auto rs = db.OpenRecordset("SELECT [TableName] FROM [sysSuppliedTables] WHERE [TableName] = '" +
                                   Quoted(table) + "'");
        rs->MoveLast();
        return rs->RecordCount() >= 1;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void DropTable(frmFlexGrid& viewer) {
    if (!RequireWritableAuction()) return;
    std::optional<BusyPointer> busy(std::in_place);
    const std::string table = viewer.ddlTableName->currentText().toStdString();
    std::shared_ptr<Database> db = AuctionDb();
    if (!db) return;
    if (IsSupplied(*db, table)) {
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
        db->BeginTrans();
        try {
            db->Execute("DROP TABLE [" + table + "]");
            db->Execute("DELETE [TableName] FROM [sysTables] WHERE [TableName] = '" + Quoted(table) + "'");
            db->CommitTrans();
        } catch (...) {
            db->Rollback();
            throw;
        }
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
