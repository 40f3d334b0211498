#include "shell/ViewerCommands.h"

#include "analysis/ExcelView.h"
#include "analysis/PivotAnalyses.h"
#include "queries/SortFilter.h"
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
}

}  // namespace corv
