#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/Spreadsheet.h"
#include "analysis/Workbook.h"

namespace corv {

// The spreadsheet application on Linux: workbooks kept in memory, written as .xlsx files once the
// application is made visible and opened with the desktop's program for them.
// Lives on the user-interface thread with the viewer that owns it.
class WorkbookApp : public ExcelApplication {
  public:
    // folder: where BookN.xlsx files go; empty: "Workbooks" in the program's folder.
    explicit WorkbookApp(std::string folder = {});

    void WorkbooksAdd(int locale) override;
    void SheetsActivate(const std::string& name) override;
    void Cells(long row, long column, const SheetValue& value) override;
    void PivotTableWizard(const PivotWizardArgs& args) override;
    void PivotFieldSubtotals(const std::string& table, const std::string& field,
                             const std::array<bool, 12>& subtotals) override;
    void AddFields(const std::string& table, const std::vector<std::string>& rowFields,
                   const std::vector<std::string>& columnFields) override;
    void PivotFieldOrientation(const std::string& table, const std::string& field,
                               PivotOrientation orientation) override;
    void ColumnGrand(const std::string& table, bool on) override;
    void RowGrand(const std::string& table, bool on) override;
    void Visible(bool visible, int locale) override;
    void DisplayFullScreen(bool on) override;

    const std::vector<std::unique_ptr<Workbook>>& Workbooks() const { return books_; }
    // The files written so far, in order.
    const std::vector<std::string>& WrittenFiles() const { return written_; }

  private:
    Workbook& ActiveBook();
    PivotTableDef& Table(const std::string& name);
    int FieldIndex(const PivotTableDef& table, const std::string& field) const;
    std::string NextFileName() const;

    std::string folder_;
    std::vector<std::unique_ptr<Workbook>> books_;
    Workbook* active_ = nullptr;
    bool visible_ = false;
    std::vector<std::string> written_;
};

}  // namespace corv
