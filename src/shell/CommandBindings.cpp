#include "shell/ViewerCommands.h"

#include "queries/SortFilter.h"

namespace corv {

void BindFeatureCommands(CommandBinder& binder) {
    binder.Bind(ViewerCommandId::SortTable, TableSort);
    binder.Bind(ViewerCommandId::FilterTable, TableFilt);
    binder.Bind(ViewerCommandId::ResetTable, TableReset);
}

}  // namespace corv
