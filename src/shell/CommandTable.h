// The menus and the toolbar as one table: every menu, item and separator in menu order, each item with its
// caption, shortcut and the toolbar button that stands for it. The window builds both from it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "shell/ViewerCommands.h"

namespace corv {

// The main window's own commands; those acting on a viewer are ViewerCommandId.
enum class WindowCommandId {
    None,
    FileNew,
    FileOpenAuction,
    FileImport,
    FileExit,
    ViewToolbar,
    ViewStatusBar,
    QueryBuilder,
    FollowDownloads,
    AuctionOverview,
    WindowNew,
    WindowCascade,
    WindowTileHorizontal,
    WindowTileVertical,
    WindowArrangeIcons,
    HelpContents,
    HelpSearch,
    HelpAbout,
    ComputeSum,
    ComputeAverage,
    ComputeCount,
};

enum class RowKind {
    Menu,    // a menu of the bar, or a submenu of its parent
    PopUp,   // a menu kept out of the bar, shown where it is needed
    Bar,     // a separator
    Item,    // runs its viewer command when it has one, else its window command
    Toggle,  // a checkable item; its window command follows the check mark
};

struct CommandRow {
    RowKind kind;
    const char* parent;  // the menu it sits in; "" for the menu bar
    const char* name;    // the object name, by which the window finds it
    const char* caption = "";
    const char* shortcut = "";  // in QKeySequence's portable text
    WindowCommandId command = WindowCommandId::None;
    std::optional<ViewerCommandId> viewer = std::nullopt;
    // The toolbar button standing for the item: its key, icon and tool tip, its place counted from the left
    // (0: none) and whether a separator follows it.
    const char* toolbarKey = "";
    const char* icon = "";
    const char* toolTip = "";
    int toolbarPlace = 0;
    bool separatorAfter = false;
};

std::span<const CommandRow> CommandTable();
// The rows of the toolbar's buttons, left to right.
std::span<const CommandRow* const> ToolbarRows();
// nullptr when there is no such row.
const CommandRow* RowNamed(std::string_view name);
const CommandRow* RowOfViewerCommand(ViewerCommandId id);
const CommandRow* RowOfToolbarKey(std::string_view key);

}  // namespace corv
