// The menus and the toolbar as one table: every menu, item and separator in menu order, each item with its
// caption, shortcut, what it needs, the one function it runs and the toolbar button that stands for it. The
// window builds both from it; a command is added by adding its row.
#pragma once

#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/ErrorBox.h"

namespace corv {

class frmFlexGrid;
class frmMain;
namespace store {
class AuctionSession;
}

// What a command gets when it runs.
struct CommandContext {
    store::AuctionSession& session;
    frmFlexGrid* viewer;  // the active viewer; nullptr when there is none
    frmMain& window;      // the parent of its dialogs
    bool checked;         // a toggle's new check mark
};
using CommandFunction = std::function<void(CommandContext&)>;

// What a command needs before its function runs. The window's one guard checks it for every row: without
// a viewer it says that a data grid must be opened, without an auction it shows error 91 in the row's form.
// A command needing an auction is disabled while none is open. One needing a viewer stays enabled without one
// and says so when chosen, as the program always has; it needs an auction behind the viewer too.
enum class Needs {
    Nothing,
    Auction,
    WritableAuction,  // disabled too while the open one is read-only
    Viewer,
};

enum class RowKind {
    Menu,    // a menu of the bar, or a submenu of its parent
    PopUp,   // a menu kept out of the bar, shown where it is needed
    Bar,     // a separator
    Item,    // runs its function
    Toggle,  // a checkable item; its function follows the check mark
};

struct CommandRow {
    RowKind kind;
    const char* parent;  // the menu it sits in; "" for the menu bar
    const char* name;    // the object name, by which the window finds it
    const char* caption = "";
    const char* shortcut = "";  // in QKeySequence's portable text
    Needs needs = Needs::Nothing;
    CommandFunction run = nullptr;  // none: the item is disabled
    ErrorForm noAuctionForm = ErrorForm::NumberColon;
    // The toolbar button standing for the item: its key, icon and tool tip, its place counted from the left
    // (0: none) and whether a separator follows it.
    const char* toolbarKey = "";
    const char* icon = "";
    const char* toolTip = "";
    int toolbarPlace = 0;
    bool separatorAfter = false;
};

// The program's commands.
const std::vector<CommandRow>& CommandTable();
// The rows of the toolbar's buttons, left to right.
std::vector<const CommandRow*> ToolbarRows(std::span<const CommandRow> rows);
// nullptr when there is no such row.
const CommandRow* RowNamed(std::span<const CommandRow> rows, std::string_view name);

}  // namespace corv
