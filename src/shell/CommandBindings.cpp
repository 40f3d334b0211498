#include "shell/ViewerCommands.h"
#include "viewer/GridPrinter.h"
#include "viewer/TextExport.h"

namespace corv {

void BindFeatureCommands(CommandBinder& binder) {
    binder.Bind(ViewerCommandId::Export, DBSaveAs);
    binder.Bind(ViewerCommandId::Print, [](frmFlexGrid& viewer) { PrintGrid(viewer); });
}

}  // namespace corv
