#pragma once

#include <QString>
#include <map>
#include <string>
#include <vector>

#include "shell/ViewerLists.h"
#include "store/Auction.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {

// The main window as far as a viewer sees it: status panels, the open auction (its own session) and the
// tables it was told of, and the program's own list filling aimed at the viewer the test calls active.
class FakeViewerHost : public ViewerHost, public store::AuctionListener {
  public:
    FakeViewerHost() { session.AddListener(this); }
    void TableAdded(store::Auction&, const std::string& table) override { tablesAdded.push_back(table); }
    void TableDropped(store::Auction&, const std::string& table) override { tablesDropped.push_back(table); }
    void SetStatusPanel(int panel, const QString& text) override { panels[panel] = text; }
    QString StatusPanel(int panel) const override {
        auto it = panels.find(panel);
        return it == panels.end() ? QString() : it->second;
    }
    void PopulateTables() override {
        ++tableFills;
        FillTableList(session.Current(), [this] { return active; });
    }
    void PopulateRounds() override {
        ++roundFills;
        FillRoundList(session.Current(), [this] { return active; });
    }
    store::Auction* OpenAuction() override { return session.Current(); }

    store::AuctionSession session;
    frmFlexGrid* active = nullptr;
    std::map<int, QString> panels{{1, "Status"}, {3, "NUM"}};
    int tableFills = 0;
    int roundFills = 0;
    std::vector<std::string> tablesAdded, tablesDropped;
};

}  // namespace corv::test
