#pragma once

#include <QString>
#include <map>

#include "shell/ViewerLists.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {

// The main window as far as a viewer sees it: status panels, and the program's own list filling aimed at
// the viewer the test calls active.
class FakeViewerHost : public ViewerHost {
  public:
    void SetStatusPanel(int panel, const QString& text) override { panels[panel] = text; }
    QString StatusPanel(int panel) const override {
        auto it = panels.find(panel);
        return it == panels.end() ? QString() : it->second;
    }
    void PopulateTables() override {
        ++tableFills;
        FillTableList([this] { return active; });
    }
    void PopulateRounds() override {
        ++roundFills;
        FillRoundList([this] { return active; });
    }

    frmFlexGrid* active = nullptr;
    std::map<int, QString> panels{{1, "Status"}, {3, "NUM"}};
    int tableFills = 0;
    int roundFills = 0;
};

}  // namespace corv::test
