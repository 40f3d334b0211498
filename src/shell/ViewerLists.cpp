#include "shell/ViewerLists.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <algorithm>
#include <exception>
#include <vector>

#include "engine/CorvError.h"
#include "platform/ErrorBox.h"
#include "shell/ShellText.h"
#include "store/Auction.h"
#include "store/LatestRound.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

bool FillList(store::Auction* auction, const ActiveViewerLookup& active, bool rounds) {
    auto activeList = [&]() -> QComboBox* {
        frmFlexGrid* viewer = active ? active() : nullptr;
        if (!viewer) throw CorvError(err::ObjectNotSet, "No data grid is open");
        return rounds ? viewer->ddlRoundNum : viewer->ddlTableName;
    };
    try {
        if (!auction) throw CorvError(err::ObjectNotSet, "No auction database is open");
        std::vector<QString> entries;
        if (rounds) {
            for (const Value& round : auction->Rounds()) entries.push_back(shell::WholeNumberText(round));
        } else {
            for (const std::string& table : auction->ViewableTables())
                entries.push_back(QString::fromStdString(table));
        }
        {
            QComboBox* list = activeList();
            const QSignalBlocker block(list);
            list->clear();
        }
        for (const QString& entry : entries) {
            // Filling leaves no entry chosen; choosing is the caller's business.
            QComboBox* list = activeList();
            const QSignalBlocker block(list);
            list->addItem(entry);
            list->setCurrentIndex(-1);
        }
        if (rounds && !entries.empty()) {
            const QString newest = *std::max_element(
                entries.begin(), entries.end(),
                [](const QString& a, const QString& b) { return a.toDouble() < b.toDouble(); });
            QComboBox* list = activeList();
            const QSignalBlocker block(list);
            list->addItem(QString::fromLatin1(store::kLatestRoundEntry), newest);
            list->setCurrentIndex(-1);
        }
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
        return false;
    }
}

}  // namespace

bool FillTableList(store::Auction* auction, const ActiveViewerLookup& active) {
    return FillList(auction, active, false);
}

bool FillRoundList(store::Auction* auction, const ActiveViewerLookup& active) {
    return FillList(auction, active, true);
}

void SelectFirstEntries(frmFlexGrid* viewer) {
    if (viewer && viewer->ddlRoundNum->count() > 0) viewer->ddlRoundNum->setCurrentIndex(0);
    if (viewer && viewer->ddlTableName->count() > 0) viewer->ddlTableName->setCurrentIndex(0);
}

}  // namespace corv
