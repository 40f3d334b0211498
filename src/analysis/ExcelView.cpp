#include "analysis/ExcelView.h"

#include <memory>
#include <optional>

#include <QObject>

#include "analysis/Spreadsheet.h"
#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

const char* const kExcelHolderName = "ExcelApp";

class ExcelHolder : public QObject {
  public:
    ExcelHolder(std::unique_ptr<ExcelApplication> app, QObject* parent)
        : QObject(parent), app(std::move(app)) {
        setObjectName(QString::fromLatin1(kExcelHolderName));
    }
    const std::unique_ptr<ExcelApplication> app;
};

}  // namespace

ExcelApplication& ViewerExcelApp(frmFlexGrid& viewer) {
    auto* holder = dynamic_cast<ExcelHolder*>(
        viewer.findChild<QObject*>(QString::fromLatin1(kExcelHolderName), Qt::FindDirectChildrenOnly));
    if (!holder) holder = new ExcelHolder(CreateExcelApplication(), &viewer);
    return *holder->app;
}

void ExcelView(frmFlexGrid& viewer) {
    try {
        // The shown set rather than its record source text run again: the workbook holds what the grid
        // shows, sorted and filtered as it is.
        const std::shared_ptr<Recordset> shown = viewer.WholeResult();
        if (!shown) throw CorvError(err::NoCurrentRecord, "There is no current record.");
        const std::shared_ptr<Recordset> rs = shown->Clone();
        rs->MoveFirst();
        BusyPointer busy;
        ExcelApplication& app = ViewerExcelApp(viewer);
        app.WorkbooksAdd(kLocaleUS);
        app.SheetsActivate("sheet1");
        const int columns = rs->FieldCount();
        for (int k = 0; k < columns; ++k) app.Cells(1, k + 1, SheetValue{Value(rs->Field(k).name)});
        std::vector<FieldType> types;
        for (int k = 0; k < columns; ++k) {
            const FieldInfo& field = rs->Field(k);
            types.push_back(field.type != FieldType::Unknown ? field.type
                                                             : FieldTypeFromDeclared(field.declaredType));
        }
        for (long row = 2; !rs->Eof(); rs->MoveNext(), ++row)
            for (int k = 0; k < columns; ++k) app.Cells(row, k + 1, SheetValue{rs->GetValue(k), types[k]});
        app.Visible(true, kLocaleUS);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace corv
