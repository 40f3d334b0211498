#include "shell/ViewerCommands.h"

#include "analysis/ExcelView.h"

namespace corv {

void BindFeatureCommands(CommandBinder& binder) {
    // One line per feature, for example:
    //     binder.Bind(ViewerCommandId::Export, DBSaveAs);
    binder.Bind(ViewerCommandId::ExcelExport, ExcelView);
}

}  // namespace corv
