// The rows of the command table, top to bottom as the menus show them.

#include "shell/CommandTable.h"

#include <algorithm>
#include <vector>

namespace corv {

namespace {

using enum RowKind;
using W = WindowCommandId;
using V = ViewerCommandId;

// clang-format off
constexpr CommandRow kRows[] = {
    {.kind = Menu, .parent = "", .name = "mnuFile", .caption = "&File"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileNew", .caption = "&New", .command = W::FileNew,
     .toolbarKey = "New", .icon = ":/icons/New.png", .toolTip = "New", .toolbarPlace = 1},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileOpenAuction", .caption = "&Open Auction...",
     .shortcut = "Ctrl+O", .command = W::FileOpenAuction},
    // Its entries come from the settings, rebuilt whenever an auction opens.
    {.kind = Menu, .parent = "mnuFile", .name = "mnuFileRecent", .caption = "Recent &Auctions"},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar1"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileImport", .caption = "&Import...",
     .command = W::FileImport,
     .toolbarKey = "Import", .icon = ":/icons/Import.png", .toolTip = "Import...", .toolbarPlace = 2,
     .separatorAfter = true},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileExport", .caption = "&Export...",
     .viewer = V::Export},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar3"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFilePrint", .caption = "&Print...", .shortcut = "Ctrl+P",
     .viewer = V::Print,
     .toolbarKey = "Print", .icon = ":/icons/Print.png", .toolTip = "Print", .toolbarPlace = 3,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar4"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileExit", .caption = "E&xit", .command = W::FileExit},

    {.kind = Menu, .parent = "", .name = "mnuView", .caption = "&View"},
    {.kind = Toggle, .parent = "mnuView", .name = "mnuViewToolbar", .caption = "&Toolbar",
     .command = W::ViewToolbar},
    {.kind = Toggle, .parent = "mnuView", .name = "mnuViewStatusBar", .caption = "Status &Bar",
     .command = W::ViewStatusBar},

    {.kind = Menu, .parent = "", .name = "mnuTools", .caption = "&Tools"},
    {.kind = Menu, .parent = "mnuTools", .name = "mnuToolsAnalysis", .caption = "&Pivot Table Wizard"},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisMarkets", .caption = "&Markets...",
     .viewer = V::MarketsAnalysis},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisRounds", .caption = "&Rounds...",
     .viewer = V::RoundsAnalysis},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisBidders", .caption = "&Bidders...",
     .viewer = V::BiddersAnalysis},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsExcel", .caption = "Export Table To Excel",
     .viewer = V::ExcelExport,
     .toolbarKey = "ExcelExp", .icon = ":/icons/ExcelExp.png", .toolTip = "Export Table To Excel",
     .toolbarPlace = 10, .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar1"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsSortTable", .caption = "&Sort Table...",
     .viewer = V::SortTable,
     .toolbarKey = "Sort", .icon = ":/icons/Sort.png", .toolTip = "Sort...", .toolbarPlace = 4},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsFilterTable", .caption = "&Filter Table...",
     .viewer = V::FilterTable,
     .toolbarKey = "Filter", .icon = ":/icons/Filter.png", .toolTip = "Filter...", .toolbarPlace = 5},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsResetTable", .caption = "&Reset Table",
     .viewer = V::ResetTable,
     .toolbarKey = "Reset", .icon = ":/icons/Reset.png", .toolTip = "Reset Table", .toolbarPlace = 6,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar2"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsTableWizard", .caption = "&Table Wizard...",
     .viewer = V::TableWizard,
     .toolbarKey = "TableWizard", .icon = ":/icons/TableWizard.png", .toolTip = "Table Wizard...",
     .toolbarPlace = 7},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsSQLCommandLine", .caption = "S&QL Query Builder...",
     .command = W::QueryBuilder,
     .toolbarKey = "SQL", .icon = ":/icons/SQL.png", .toolTip = "SQL Query Builder...", .toolbarPlace = 8},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsDropTable", .caption = "&Drop Table",
     .viewer = V::DropTable,
     .toolbarKey = "DropTable", .icon = ":/icons/DropTable.png", .toolTip = "Drop Table", .toolbarPlace = 9,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar3"},
    {.kind = Toggle, .parent = "mnuTools", .name = "mnuToolsFollowDownloads", .caption = "Follow Do&wnloads",
     .command = W::FollowDownloads,
     .toolbarKey = "Follow", .icon = ":/icons/Follow.png", .toolTip = "Follow Downloads", .toolbarPlace = 11},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar4"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsOverview", .caption = "Auction &Overview",
     .shortcut = "Ctrl+Shift+O", .command = W::AuctionOverview,
     .toolbarKey = "Overview", .icon = ":/icons/Overview.png", .toolTip = "Auction Overview", .toolbarPlace = 12},

    {.kind = Menu, .parent = "", .name = "mnuWindow", .caption = "&Window"},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowNewWindow", .caption = "&New Window",
     .command = W::WindowNew},
    {.kind = Bar, .parent = "mnuWindow", .name = "mnuWindowBar1"},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowCascade", .caption = "&Cascade",
     .command = W::WindowCascade},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowTileHorizontal", .caption = "Tile &Horizontal",
     .command = W::WindowTileHorizontal},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowTileVertical", .caption = "Tile &Vertical",
     .command = W::WindowTileVertical},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowArrangeIcons", .caption = "&Arrange Icons",
     .command = W::WindowArrangeIcons},

    {.kind = Menu, .parent = "", .name = "mnuHelp", .caption = "&Help"},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpContents", .caption = "&Contents",
     .shortcut = "F1", .command = W::HelpContents},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpSearch", .caption = "&Search For Help On...",
     .command = W::HelpSearch},
    {.kind = Bar, .parent = "mnuHelp", .name = "mnuHelpBar1"},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpAbout", .caption = "&About Corvidel...",
     .command = W::HelpAbout},

    // Pops up over the status bar.
    {.kind = PopUp, .parent = "", .name = "mnuComp", .caption = "Compute"},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompSum", .caption = "Sum", .command = W::ComputeSum},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompAverage", .caption = "Average",
     .command = W::ComputeAverage},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompCount", .caption = "Count",
     .command = W::ComputeCount},
};
// clang-format on

std::vector<const CommandRow*> SortedToolbarRows() {
    std::vector<const CommandRow*> rows;
    for (const CommandRow& r : kRows)
        if (r.toolbarPlace > 0) rows.push_back(&r);
    std::ranges::sort(rows, {}, &CommandRow::toolbarPlace);
    return rows;
}

}  // namespace

std::span<const CommandRow> CommandTable() {
    return kRows;
}

std::span<const CommandRow* const> ToolbarRows() {
    static const std::vector<const CommandRow*> rows = SortedToolbarRows();
    return rows;
}

const CommandRow* RowNamed(std::string_view name) {
    for (const CommandRow& r : kRows)
        if (name == r.name) return &r;
    return nullptr;
}

const CommandRow* RowOfViewerCommand(ViewerCommandId id) {
    for (const CommandRow& r : kRows)
        if (r.viewer == id) return &r;
    return nullptr;
}

const CommandRow* RowOfToolbarKey(std::string_view key) {
    for (const CommandRow* r : ToolbarRows())
        if (key == r->toolbarKey) return r;
    return nullptr;
}

}  // namespace corv
