// The rows of the command table, top to bottom as the menus show them, and the functions they run.

#include "shell/CommandTable.h"

#include <QMdiArea>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "analysis/ExcelView.h"
#include "analysis/PivotAnalyses.h"
#include "dialogue/AuctionCommands.h"
#include "overview/OverviewCommand.h"
#include "overview/RoundReportExport.h"
#include "queries/SortFilter.h"
#include "queries/TableBuild.h"
#include "queries/frmQuery.h"
#include "queries/frmTextImport.h"
#include "shell/AuctionFollowers.h"
#include "shell/WindowArrangement.h"
#include "shell/frmMain.h"
#include "store/Auction.h"
#include "viewer/DropTable.h"
#include "viewer/GridPrinter.h"
#include "viewer/TextExport.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

using enum RowKind;
using enum Needs;

// A feature's command on the active viewer, which the guard has made sure of.
template <void (*F)(frmFlexGrid&)>
void OnViewer(CommandContext& c) {
    F(*c.viewer);
}

template <void (frmMain::*F)()>
void OfWindow(CommandContext& c) {
    (c.window.*F)();
}

void Print(frmFlexGrid& viewer) {
    PrintGrid(viewer);
}

void Import(CommandContext& c) {
    ImportRound(c.session.Current());
}

void ImportTextTable(CommandContext& c) {
    ImportTableFromText(c.session.Current(), &c.window);
}

void Exit(CommandContext& c) {
    c.window.close();
}

void ShowToolbar(CommandContext& c) {
    c.window.tbToolBar->setVisible(c.checked);
}

void ShowStatusBar(CommandContext& c) {
    c.window.sbStatusBar->setVisible(c.checked);
}

// Shown without a viewer: the builder runs on the active viewer, behind the guard, once confirmed.
void QueryBuilder(CommandContext& c) {
    frmMain& window = c.window;
    frmQuery::Show(&window, [&window](const std::function<void(frmFlexGrid&)>& command) {
        window.RunOnActiveViewer(ErrorForm::NumberColon, command);
    });
}

void FollowDownloads(CommandContext& c) {
    c.window.Followers().SetFollowing(c.checked);
}

void ExportReport(CommandContext& c) {
    overview::ExportLatestRoundReport(c.session, &c.window);
}

void Overview(CommandContext& c) {
    ShowAuctionOverview(c.session, *c.window.mdiArea);
}

void Cascade(CommandContext& c) {
    c.window.mdiArea->cascadeSubWindows();
}

void TileHorizontal(CommandContext& c) {
    TileHorizontally(*c.window.mdiArea);
}

void TileVertical(CommandContext& c) {
    TileVertically(*c.window.mdiArea);
}

void Arrange(CommandContext& c) {
    ArrangeIcons(*c.window.mdiArea);
}

// Without a viewer there is no selection to compute: the click is ignored.
template <const char* What>
void Compute(CommandContext& c) {
    if (c.viewer) c.viewer->ComputeSelection(What);
}
constexpr char kSum[] = "Sum";
constexpr char kAverage[] = "Average";
constexpr char kCount[] = "Count";

// The program's commands; nothing reads them before main() starts.
// clang-format off
const std::vector<CommandRow> kRows = {
    {.kind = Menu, .parent = "", .name = "mnuFile", .caption = "&File"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileNew", .caption = "&New",
     .run = OfWindow<&frmMain::FileNew>,
     .toolbarKey = "New", .icon = ":/icons/New.png", .toolTip = "New", .toolbarPlace = 1},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileOpenAuction", .caption = "&Open Auction...",
     .shortcut = "Ctrl+O", .run = OfWindow<&frmMain::FileOpenAuction>},
    // Its entries come from the settings, rebuilt whenever an auction opens.
    {.kind = Menu, .parent = "mnuFile", .name = "mnuFileRecent", .caption = "Recent &Auctions"},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar1"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileImport", .caption = "&Import...",
     .run = Import,
     .toolbarKey = "Import", .icon = ":/icons/Import.png", .toolTip = "Import...", .toolbarPlace = 2,
     .separatorAfter = true},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileImportText", .caption = "Import &Table from Text File...",
     .needs = WritableAuction, .run = ImportTextTable},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileExport", .caption = "&Export...",
     .needs = Viewer, .run = OnViewer<DBSaveAs>, .noAuctionForm = ErrorForm::NoColon},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileExportReport", .caption = "Export Round &Report...",
     .needs = Auction, .run = ExportReport},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar3"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFilePrint", .caption = "&Print...", .shortcut = "Ctrl+P",
     .needs = Viewer, .run = OnViewer<Print>,
     .toolbarKey = "Print", .icon = ":/icons/Print.png", .toolTip = "Print", .toolbarPlace = 3,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuFile", .name = "mnuFileBar4"},
    {.kind = Item, .parent = "mnuFile", .name = "mnuFileExit", .caption = "E&xit", .run = Exit},

    {.kind = Menu, .parent = "", .name = "mnuView", .caption = "&View"},
    {.kind = Toggle, .parent = "mnuView", .name = "mnuViewToolbar", .caption = "&Toolbar",
     .run = ShowToolbar},
    {.kind = Toggle, .parent = "mnuView", .name = "mnuViewStatusBar", .caption = "Status &Bar",
     .run = ShowStatusBar},

    {.kind = Menu, .parent = "", .name = "mnuTools", .caption = "&Tools"},
    {.kind = Menu, .parent = "mnuTools", .name = "mnuToolsAnalysis", .caption = "&Pivot Table Wizard"},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisMarkets", .caption = "&Markets...",
     .needs = Viewer, .run = OnViewer<MarketsAnalysis>},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisRounds", .caption = "&Rounds...",
     .needs = Viewer, .run = OnViewer<RoundsAnalysis>},
    {.kind = Item, .parent = "mnuToolsAnalysis", .name = "mnuToolsAnalysisBidders", .caption = "&Bidders...",
     .needs = Viewer, .run = OnViewer<BiddersAnalysis>},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsExcel", .caption = "Export Table To Excel",
     .needs = Viewer, .run = OnViewer<ExcelView>,
     .toolbarKey = "ExcelExp", .icon = ":/icons/ExcelExp.png", .toolTip = "Export Table To Excel",
     .toolbarPlace = 10, .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar1"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsSortTable", .caption = "&Sort Table...",
     .needs = Viewer, .run = OnViewer<TableSort>,
     .toolbarKey = "Sort", .icon = ":/icons/Sort.png", .toolTip = "Sort...", .toolbarPlace = 4},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsFilterTable", .caption = "&Filter Table...",
     .needs = Viewer, .run = OnViewer<TableFilt>,
     .toolbarKey = "Filter", .icon = ":/icons/Filter.png", .toolTip = "Filter...", .toolbarPlace = 5},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsResetTable", .caption = "&Reset Table",
     .needs = Viewer, .run = OnViewer<TableReset>,
     .toolbarKey = "Reset", .icon = ":/icons/Reset.png", .toolTip = "Reset Table", .toolbarPlace = 6,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar2"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsTableWizard", .caption = "&Table Wizard...",
     .needs = Viewer, .run = OnViewer<TableWiz>,
     .toolbarKey = "TableWizard", .icon = ":/icons/TableWizard.png", .toolTip = "Table Wizard...",
     .toolbarPlace = 7},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsSQLCommandLine", .caption = "S&QL Query Builder...",
     .run = QueryBuilder,
     .toolbarKey = "SQL", .icon = ":/icons/SQL.png", .toolTip = "SQL Query Builder...", .toolbarPlace = 8},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsDropTable", .caption = "&Drop Table",
     .needs = Viewer, .run = OnViewer<DropTable>,
     .toolbarKey = "DropTable", .icon = ":/icons/DropTable.png", .toolTip = "Drop Table", .toolbarPlace = 9,
     .separatorAfter = true},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar3"},
    {.kind = Toggle, .parent = "mnuTools", .name = "mnuToolsFollowDownloads", .caption = "Follow Do&wnloads",
     .needs = WritableAuction, .run = FollowDownloads,
     .toolbarKey = "Follow", .icon = ":/icons/Follow.png", .toolTip = "Follow Downloads", .toolbarPlace = 11},
    {.kind = Bar, .parent = "mnuTools", .name = "mnuToolsBar4"},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsOverview", .caption = "Auction &Overview",
     .shortcut = "Ctrl+Shift+O", .needs = Auction, .run = Overview,
     .toolbarKey = "Overview", .icon = ":/icons/Overview.png", .toolTip = "Auction Overview", .toolbarPlace = 12},
    {.kind = Item, .parent = "mnuTools", .name = "mnuToolsWatchList", .caption = "Watch &List...",
     .needs = Auction, .run = OfWindow<&frmMain::EditWatchList>},

    {.kind = Menu, .parent = "", .name = "mnuWindow", .caption = "&Window"},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowNewWindow", .caption = "&New Window",
     .run = OfWindow<&frmMain::FileNew>},
    {.kind = Bar, .parent = "mnuWindow", .name = "mnuWindowBar1"},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowCascade", .caption = "&Cascade",
     .run = Cascade},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowTileHorizontal", .caption = "Tile &Horizontal",
     .run = TileHorizontal},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowTileVertical", .caption = "Tile &Vertical",
     .run = TileVertical},
    {.kind = Item, .parent = "mnuWindow", .name = "mnuWindowArrangeIcons", .caption = "&Arrange Icons",
     .run = Arrange},

    {.kind = Menu, .parent = "", .name = "mnuHelp", .caption = "&Help"},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpContents", .caption = "&Contents",
     .shortcut = "F1", .run = OfWindow<&frmMain::HelpContents>},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpSearch", .caption = "&Search For Help On...",
     .run = OfWindow<&frmMain::HelpSearch>},
    {.kind = Bar, .parent = "mnuHelp", .name = "mnuHelpBar1"},
    {.kind = Item, .parent = "mnuHelp", .name = "mnuHelpAbout", .caption = "&About Corvidel...",
     .run = OfWindow<&frmMain::HelpAbout>},

    // Pops up over the status bar.
    {.kind = PopUp, .parent = "", .name = "mnuComp", .caption = "Compute"},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompSum", .caption = "Sum", .run = Compute<kSum>},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompAverage", .caption = "Average",
     .run = Compute<kAverage>},
    {.kind = Item, .parent = "mnuComp", .name = "mnuCompCount", .caption = "Count",
     .run = Compute<kCount>},
};
// clang-format on

}  // namespace

const std::vector<CommandRow>& CommandTable() {
    return kRows;
}

std::vector<const CommandRow*> ToolbarRows(std::span<const CommandRow> rows) {
    std::vector<const CommandRow*> bar;
    for (const CommandRow& r : rows)
        if (r.toolbarPlace > 0) bar.push_back(&r);
    std::ranges::stable_sort(bar, {}, &CommandRow::toolbarPlace);
    return bar;
}

const CommandRow* RowNamed(std::span<const CommandRow> rows, std::string_view name) {
    for (const CommandRow& r : rows)
        if (name == r.name) return &r;
    return nullptr;
}

}  // namespace corv
