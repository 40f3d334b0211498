#include "shell/ViewerLists.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <exception>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "platform/ErrorBox.h"
#include "shell/ShellText.h"
#include "store/AuctionDb.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

bool FillList(const ActiveViewerLookup& active, bool rounds) {
    auto activeList = [&]() -> QComboBox* {
        frmFlexGrid* viewer = active ? active() : nullptr;
        if (!viewer) throw CorvError(err::ObjectNotSet, "No data grid is open");
        return rounds ? viewer->ddlRoundNum : viewer->ddlTableName;
    };
    try {
        const std::shared_ptr<Database> db = AuctionDb();
        if (!db) throw CorvError(err::ObjectNotSet, "No auction database is open");
        auto rs = db->OpenRecordset(rounds ? "SELECT * FROM [sysRounds]" : "SELECT * FROM [sysTables]");
        if (!rs->Eof()) rs->MoveFirst();
        {
            QComboBox* list = activeList();
            const QSignalBlocker block(list);
            list->clear();
        }
        while (!rs->Eof()) {
            // Filling leaves no entry chosen; choosing is the caller's business.
            QComboBox* list = activeList();
            const QSignalBlocker block(list);
            const Value v = rs->GetValue(rounds ? "Round" : "TableName");
            list->addItem(rounds ? shell::WholeNumberText(v) : QString::fromStdString(v.toString()));
            list->setCurrentIndex(-1);
            rs->MoveNext();
        }
        rs->Close();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
        return false;
    }
}

}  // namespace

bool FillTableList(const ActiveViewerLookup& active) {
    return FillList(active, false);
}

bool FillRoundList(const ActiveViewerLookup& active) {
    return FillList(active, true);
}

void SelectFirstEntries(frmFlexGrid* viewer) {
    if (viewer && viewer->ddlRoundNum->count() > 0) viewer->ddlRoundNum->setCurrentIndex(0);
    if (viewer && viewer->ddlTableName->count() > 0) viewer->ddlTableName->setCurrentIndex(0);
}

}  // namespace corv
