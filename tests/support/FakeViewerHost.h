#pragma once

#include <QComboBox>
#include <QString>
#include <map>

#include "store/AuctionDb.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {

// The main window as far as a viewer sees it: status panels and the two list fillers, which fill the
// active viewer's lists from the catalog and leave nothing selected.
class FakeViewerHost : public ViewerHost {
  public:
    void SetStatusPanel(int panel, const QString& text) override { panels[panel] = text; }
    QString StatusPanel(int panel) const override {
        auto it = panels.find(panel);
        return it == panels.end() ? QString() : it->second;
    }
    void PopulateTables() override {
        ++tableFills;
        Fill(active->ddlTableName, "SELECT * FROM [sysTables]", "TableName");
    }
    void PopulateRounds() override {
        ++roundFills;
        Fill(active->ddlRoundNum, "SELECT * FROM [sysRounds]", "Round");
    }

    frmFlexGrid* active = nullptr;
    std::map<int, QString> panels{{1, "Status"}, {3, "NUM"}};
    int tableFills = 0;
    int roundFills = 0;

  private:
    static void Fill(QComboBox* list, const char* sql, const char* column) {
        auto rs = AuctionDb()->OpenRecordset(sql);
        list->clear();
        for (; !rs->Eof(); rs->MoveNext())
            list->addItem(QString::fromStdString(rs->GetValue(column).toString()));
        list->setCurrentIndex(-1);
    }
};

}  // namespace corv::test
