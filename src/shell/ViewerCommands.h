#pragma once

#include <functional>

class QMdiArea;
class QWidget;

namespace corv {

class frmFlexGrid;
namespace store {
class AuctionSession;
}

// The commands that act on the active viewer. The SQL query builder is not among them: it needs no viewer.
enum class ViewerCommandId {
    Export,
    Print,
    ExcelExport,
    DropTable,
    SortTable,
    ResetTable,
    FilterTable,
    TableWizard,
    MarketsAnalysis,
    BiddersAnalysis,
    RoundsAnalysis,
};
using ViewerCommand = std::function<void(frmFlexGrid&)>;

// Where features hand over their commands. A command stays disabled, in the menu and on the toolbar, until
// it is bound; once bound, the window runs it on the active viewer behind the no-viewer guard and reports
// any error that escapes it.
class CommandBinder {
  public:
    virtual ~CommandBinder() = default;
    virtual void Bind(ViewerCommandId id, ViewerCommand command) = 0;
    // Shown without a viewer check: the builder acts on the active viewer itself when confirmed. show gets
    // the main window, which owns the builder so that the builder goes when the window does.
    virtual void BindQueryBuilder(std::function<void(QWidget* owner)> show) = 0;
    // A window of the open auction rather than of a viewer: enabled while an auction is open, whatever the
    // viewers show. show gets the session and the area its window goes in.
    virtual void BindOverview(std::function<void(store::AuctionSession&, QMdiArea&)> show) = 0;
    // Runs command on the active viewer, or answers that there is none.
    virtual void RunViewerCommand(const ViewerCommand& command) = 0;
};

// Binds the command of every feature there is; a new feature adds its file and one line here.
void BindFeatureCommands(CommandBinder& binder);

}  // namespace corv
