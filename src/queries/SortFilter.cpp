#include "queries/SortFilter.h"

#include <exception>

#include <QTabWidget>
#include <QVariant>

#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "queries/frmTableActions.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

constexpr int kSortTab = 0;
constexpr int kFilterTab = 1;
constexpr int kWizardTab = 2;

const char* const kDialogName = "SortFilterDialog";
// The viewer's table load the dialog's column lists were set up for.
const char* const kPreparedFor = "preparedForLoad";

frmTableActions& PreparedDialog(frmFlexGrid& viewer) {
    frmTableActions* dialog = SortFilterDialog(viewer);
    if (!dialog) {
        // Parented to the viewer: it lives as long as the window and goes with it.
        dialog = new frmTableActions([&viewer] { return QString::fromStdString(viewer.State().table); }, &viewer,
                                     [&host = viewer.Host()] { return host.OpenAuction(); });
        dialog->setObjectName(QString::fromLatin1(kDialogName));
    }
    const QVariant preparedFor = dialog->property(kPreparedFor);
    if (!preparedFor.isValid() || preparedFor.toULongLong() != viewer.State().tableLoads) {
        dialog->ClearColumnLists();
        if (const std::shared_ptr<Recordset> shown = viewer.Data1.GetRecordset()) {
            for (int i = 0; i < shown->FieldCount(); ++i)
                dialog->AddColumn(QString::fromStdString(shown->Field(i).name));
        }
        dialog->setProperty(kPreparedFor, QVariant::fromValue<qulonglong>(viewer.State().tableLoads));
    }
    return *dialog;
}

void ShowSortFilter(frmFlexGrid& viewer, int tab) {
    try {
        frmTableActions& dialog = PreparedDialog(viewer);
        dialog.SSTab1->setTabEnabled(kWizardTab, false);
        dialog.SSTab1->setCurrentIndex(tab);
        Desktop().RunModal(dialog);
        if (dialog.Cancelled) {
            dialog.Cancelled = false;
            return;
        }
        std::vector<std::string> booleanColumns;
        if (const std::shared_ptr<Recordset> shown = viewer.Data1.GetRecordset()) {
            for (int i = 0; i < shown->FieldCount(); ++i)
                if (shown->Field(i).type == FieldType::Boolean)
                    booleanColumns.push_back(shown->Field(i).name);
        }
        viewer.ChooseSortAndFilter(dialog.SortKeys(), dialog.FilterRows(booleanColumns));
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace

frmTableActions* SortFilterDialog(const frmFlexGrid& viewer) {
    return viewer.findChild<frmTableActions*>(QString::fromLatin1(kDialogName), Qt::FindDirectChildrenOnly);
}

void TableSort(frmFlexGrid& viewer) {
    ShowSortFilter(viewer, kSortTab);
}

void TableFilt(frmFlexGrid& viewer) {
    ShowSortFilter(viewer, kFilterTab);
}

void TableReset(frmFlexGrid& viewer) {
    viewer.ddlTableName_Click();
}

}  // namespace corv
