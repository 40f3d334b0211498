#include "shell/ViewerCommands.h"

namespace corv {

void BindFeatureCommands(CommandBinder& binder) {
    // One line per feature, for example:
    //     binder.Bind(ViewerCommandId::Export, DBSaveAs);
    (void)binder;
}

}  // namespace corv
