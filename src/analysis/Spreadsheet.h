#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Value.h"

namespace corv {

// Excel's locale number for US English; every call that takes a locale passes it.
inline constexpr int kLocaleUS = 1033;

// The error number a spreadsheet failure reports (the automation server's "application-defined error").
inline constexpr int kSpreadsheetError = 1004;

// A value assigned to a cell: as the record set delivers it, with the field's type so that money, dates and
// booleans keep their meaning. Column names go in as plain text (FieldType::Unknown).
struct SheetValue {
    Value value;
    FieldType type = FieldType::Unknown;
    bool operator==(const SheetValue&) const = default;
};

// A range of one sheet, rows and columns counting from 1.
struct SheetRange {
    std::string sheet;
    long firstRow = 1;
    long firstColumn = 1;
    long lastRow = 1;
    long lastColumn = 1;
    bool operator==(const SheetRange&) const = default;
};

// Named arguments of the pivot table wizard.
struct PivotWizardArgs {
    int sourceType = 1;  // 1: a database list
    SheetRange sourceData;
    std::string tableDestination;  // empty: a new sheet, which becomes the active one
    std::string tableName;
    bool operator==(const PivotWizardArgs&) const = default;
};

// PivotField orientations, numbered as the automation interface numbers them.
enum class PivotOrientation { Hidden = 0, Row = 1, Column = 2, Page = 3, Data = 4 };

// The spreadsheet application as the export and the pivot analyses drive it, one operation per call, in
// the order they are used. Every failure throws CorvError; nothing done before it is undone.
// Pivot tables are reached as members of the active sheet's PivotTables, by name.
class ExcelApplication {
  public:
    virtual ~ExcelApplication() = default;

    // Workbooks.Add without a template: a new workbook, which becomes the active one.
    virtual void WorkbooksAdd(int locale) = 0;
    // Sheets(name).Activate in the active workbook; names match without regard to case.
    virtual void SheetsActivate(const std::string& name) = 0;
    // Cells(row, column) = value on the active sheet.
    virtual void Cells(long row, long column, const SheetValue& value) = 0;
    // ActiveSheet.PivotTableWizard.
    virtual void PivotTableWizard(const PivotWizardArgs& args) = 0;
    // PivotTables(table).PivotFields(field).Subtotals = twelve flags (all false: no subtotals).
    virtual void PivotFieldSubtotals(const std::string& table, const std::string& field,
                                     const std::array<bool, 12>& subtotals) = 0;
    // PivotTables(table).AddFields RowFields:=..., ColumnFields:=..., outermost first.
    virtual void AddFields(const std::string& table, const std::vector<std::string>& rowFields,
                           const std::vector<std::string>& columnFields) = 0;
    // PivotTables(table).PivotFields(field).Orientation = orientation.
    virtual void PivotFieldOrientation(const std::string& table, const std::string& field,
                                       PivotOrientation orientation) = 0;
    virtual void ColumnGrand(const std::string& table, bool on) = 0;
    virtual void RowGrand(const std::string& table, bool on) = 0;
    virtual void Visible(bool visible, int locale) = 0;
    virtual void DisplayFullScreen(bool on) = 0;
};

// Starts the application (hidden). The program starts the workbook writer; tests install a recorder.
std::unique_ptr<ExcelApplication> CreateExcelApplication();
using ExcelFactory = std::function<std::unique_ptr<ExcelApplication>()>;
// An empty factory restores the workbook writer.
void SetExcelFactory(ExcelFactory factory);

}  // namespace corv
