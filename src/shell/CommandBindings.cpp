#include "shell/ViewerCommands.h"

#include "analysis/ExcelView.h"
#include "analysis/PivotAnalyses.h"
#include "queries/SortFilter.h"
#include "queries/TableBuild.h"
#include "queries/frmQuery.h"
#include "viewer/DropTable.h"
#include "viewer/GridPrinter.h"
#include "viewer/TextExport.h"

namespace corv {

void BindFeatureCommands(CommandBinder& binder) {
    binder.Bind(ViewerCommandId::Export, DBSaveAs);
    binder.Bind(ViewerCommandId::Print, [](frmFlexGrid& viewer) { PrintGrid(viewer); });
    binder.Bind(ViewerCommandId::SortTable, TableSort);
    binder.Bind(ViewerCommandId::FilterTable, TableFilt);
    binder.Bind(ViewerCommandId::ResetTable, TableReset);
    binder.Bind(ViewerCommandId::ExcelExport, ExcelView);
    binder.Bind(ViewerCommandId::MarketsAnalysis, MarketsAnalysis);
    binder.Bind(ViewerCommandId::BiddersAnalysis, BiddersAnalysis);
    binder.Bind(ViewerCommandId::RoundsAnalysis, RoundsAnalysis);
    binder.Bind(ViewerCommandId::TableWizard, TableWiz);
    binder.Bind(ViewerCommandId::DropTable, DropTable);
    binder.BindQueryBuilder(
        [&binder] { frmQuery::Show([&binder](const ViewerCommand& c) { binder.RunViewerCommand(c); }); });
}

}  // namespace corv
