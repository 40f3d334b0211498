#include "shell/ViewerCommands.h"

#include "analysis/ExcelView.h"
#include "analysis/PivotAnalyses.h"
#include "engine/CorvError.h"
#include "overview/OverviewCommand.h"
#include "platform/ErrorBox.h"
#include "queries/SortFilter.h"
#include "queries/TableBuild.h"
#include "queries/frmQuery.h"
#include "viewer/DropTable.h"
#include "viewer/GridPrinter.h"
#include "viewer/TextExport.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

// A viewer can be on screen with no auction behind it (after a failed open). A command that reads the
// auction then reports it in its own error form instead of reaching for a database that is not there.
ViewerCommand NeedsAuction(ErrorForm form, ViewerCommand command) {
    return [form, command = std::move(command)](frmFlexGrid& viewer) {
        if (!viewer.Host().OpenAuction()) {
            ShowErrorBox(form, err::ObjectNotSet, "No auction database is open");
            return;
        }
        command(viewer);
    };
}

}  // namespace

void BindFeatureCommands(CommandBinder& binder) {
    constexpr ErrorForm A = ErrorForm::NumberColon;
    binder.Bind(ViewerCommandId::Export, NeedsAuction(ErrorForm::NoColon, DBSaveAs));
    binder.Bind(ViewerCommandId::Print, NeedsAuction(A, [](frmFlexGrid& viewer) { PrintGrid(viewer); }));
    binder.Bind(ViewerCommandId::SortTable, NeedsAuction(A, TableSort));
    binder.Bind(ViewerCommandId::FilterTable, NeedsAuction(A, TableFilt));
    binder.Bind(ViewerCommandId::ResetTable, NeedsAuction(A, TableReset));
    binder.Bind(ViewerCommandId::ExcelExport, NeedsAuction(A, ExcelView));
    binder.Bind(ViewerCommandId::MarketsAnalysis, NeedsAuction(A, MarketsAnalysis));
    binder.Bind(ViewerCommandId::BiddersAnalysis, NeedsAuction(A, BiddersAnalysis));
    binder.Bind(ViewerCommandId::RoundsAnalysis, NeedsAuction(A, RoundsAnalysis));
    binder.Bind(ViewerCommandId::TableWizard, NeedsAuction(A, TableWiz));
    binder.Bind(ViewerCommandId::DropTable, NeedsAuction(A, DropTable));
    binder.BindOverview(ShowAuctionOverview);
    binder.BindQueryBuilder([&binder](QWidget* owner) {
        frmQuery::Show(owner, [&binder](const ViewerCommand& c) {
            binder.RunViewerCommand(NeedsAuction(A, [c](frmFlexGrid& viewer) { c(viewer); }));
        });
    });
}

}  // namespace corv
