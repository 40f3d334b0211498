#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>

#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {

// Tests of commands on a viewer: a synthetic auction opened as the one open auction, and viewers on it.
class ViewerTest : public ::testing::Test {
  protected:
    // Builds the auction from options_, runs sql on its file (when given), and opens it.
    void OpenAuction(const std::string& sql = {}) {
        TestApp();
        desktop_.Install();
        path_ = BuildAuctionDatabase(folder_.Path(), options_);
        if (!sql.empty()) RunSqlite(path_, sql);
        host_.session.Open(path_);
    }
    // The open auction's database.
    Database& Db() { return host_.OpenAuction()->Data(); }
    // A viewer with both lists filled, as the New command makes it before anything is chosen.
    std::unique_ptr<frmFlexGrid> NewViewer() {
        auto viewer = std::make_unique<frmFlexGrid>(host_);
        host_.active = viewer.get();
        host_.PopulateTables();
        host_.PopulateRounds();
        return viewer;
    }
    // Chooses the round at roundIndex, then the table named (the first one when empty).
    static void Show(frmFlexGrid& viewer, int roundIndex, const QString& table = {}) {
        viewer.ddlRoundNum->setCurrentIndex(roundIndex);
        viewer.ddlTableName->setCurrentIndex(table.isEmpty() ? 0 : viewer.ddlTableName->findText(table));
    }
    void TearDown() override {
        viewer_.reset();
        host_.session.Close();
    }

    TempFolder folder_;
    ScriptedDesktop desktop_;
    fixture::AuctionOptions options_;
    std::string path_;
    FakeViewerHost host_;
    std::unique_ptr<frmFlexGrid> viewer_;
};

}  // namespace corv::test
