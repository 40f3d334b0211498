#include "queries/SortFilter.h"

#include <exception>
#include <optional>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QComboBox>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "queries/SortFilterText.h"
#include "queries/frmTableActions.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

constexpr int kSortTab = 0;
constexpr int kFilterTab = 1;
constexpr int kWizardTab = 2;

void ShowSortFilter(frmFlexGrid& viewer, int tab) {
    try {
        if (!viewer.SortFilterPrepared) {
            if (!viewer.SortFilterDialog) {
                // Parented to the viewer: it lives as long as the window and goes with it.
                QComboBox* tables = viewer.ddlTableName;
                viewer.SortFilterDialog =
                    new frmTableActions([tables] { return tables->currentText(); }, &viewer,
                                        [&host = viewer.Host()] { return host.OpenAuction(); });
            }
            frmTableActions& dialog = *viewer.SortFilterDialog;
            dialog.ClearColumnLists();
            if (const std::shared_ptr<Recordset> shown = viewer.Data1.GetRecordset()) {
                for (int i = 0; i < shown->FieldCount(); ++i)
                    dialog.AddColumn(QString::fromStdString(shown->Field(i).name));
            }
            viewer.SortFilterPrepared = true;
        }
        frmTableActions& dialog = *viewer.SortFilterDialog;
        dialog.SSTab1->setTabEnabled(kWizardTab, false);
        dialog.SSTab1->setCurrentIndex(tab);
        Desktop().RunModal(dialog);
        if (dialog.Cancelled) {
            dialog.Cancelled = false;
            return;
        }
        const bool filter = !dialog.lstFiltCol[0]->currentText().isEmpty();
        const bool sort = dialog.lstSortCols->count() > 0;
        if (filter) HandelFlt(viewer);
        if (sort) HandelSort(viewer);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

// The derived set is computed on a worker thread while the window goes on repainting; user input waits,
// as for any command, until the new set is bound. It is complete before it is bound, so the grid goes from
// the old rows to the new ones in one step. Ownership: the worker only reads `shown`, whose rows are all
// there and whose Filter and Sort the UI thread leaves alone until the worker has ended.
void ShowDerived(frmFlexGrid& viewer, const std::string& filter, const std::string& sort) {
    std::shared_ptr<Recordset> shown = viewer.WholeResult();
    if (!shown) return;
    shown->Filter = filter;
    shown->Sort = sort;
    struct Outcome {
        std::shared_ptr<Recordset> derived;
        std::exception_ptr failure;
    };
    QFuture<Outcome> work = QtConcurrent::run([shown] {
        try {
            return Outcome{shown->OpenRecordset(shown->Type()), nullptr};
        } catch (...) {
            return Outcome{nullptr, std::current_exception()};
        }
    });
    QPointer<frmFlexGrid> alive(&viewer);
    QFutureWatcher<Outcome> watcher;
    QEventLoop waiting;
    QObject::connect(&watcher, &QFutureWatcher<Outcome>::finished, &waiting, &QEventLoop::quit);
    watcher.setFuture(work);
    if (!work.isFinished()) waiting.exec(QEventLoop::ExcludeUserInputEvents);
    Outcome outcome = work.result();
    shown->Filter.clear();
    shown->Sort.clear();
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    // The window may have been closed meanwhile.
    if (alive) viewer.SetRecordset(std::move(outcome.derived));
}

}  // namespace

void TableSort(frmFlexGrid& viewer) {
    ShowSortFilter(viewer, kSortTab);
}

void TableFilt(frmFlexGrid& viewer) {
    ShowSortFilter(viewer, kFilterTab);
}

void TableReset(frmFlexGrid& viewer) {
    viewer.ddlTableName_Click();
}

void HandelSort(frmFlexGrid& viewer) {
    if (!viewer.SortFilterDialog) return;
    std::optional<BusyPointer> busy;
    try {
        const std::vector<SortKey> keys = viewer.SortFilterDialog->SortKeys();
        if (keys.empty()) return;
        busy.emplace();
        ShowDerived(viewer, {}, SortText(keys));
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

void HandelFlt(frmFlexGrid& viewer) {
    if (!viewer.SortFilterDialog) return;
    std::optional<BusyPointer> busy;
    try {
        // A viewer with no round or no table chosen has nothing to narrow.
        if (viewer.ddlRoundNum->currentText().isEmpty() || viewer.ddlTableName->currentText().isEmpty())
            return;
        busy.emplace();
        std::vector<std::string> booleanColumns;
        if (const std::shared_ptr<Recordset> shown = viewer.Data1.GetRecordset()) {
            for (int i = 0; i < shown->FieldCount(); ++i)
                if (shown->Field(i).type == FieldType::Boolean)
                    booleanColumns.push_back(shown->Field(i).name);
        }
        const std::string filter = FilterText(viewer.SortFilterDialog->FilterRows(booleanColumns));
        if (filter.empty()) return;
        ShowDerived(viewer, filter, {});
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

}  // namespace corv
