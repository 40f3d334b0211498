#include "analysis/WorkbookApp.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"

namespace corv {

namespace {

ExcelFactory& Factory() {
    static ExcelFactory factory;
    return factory;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

[[noreturn]] void Refuse(const std::string& description) {
    throw CorvError(kSpreadsheetError, description);
}

void Remove(std::vector<int>& list, int field) {
    std::erase(list, field);
}

}  // namespace

std::unique_ptr<ExcelApplication> CreateExcelApplication() {
    if (Factory()) return Factory()();
    return std::make_unique<WorkbookApp>();
}

void SetExcelFactory(ExcelFactory factory) {
    Factory() = std::move(factory);
}

WorkbookApp::WorkbookApp(std::string folder) : folder_(std::move(folder)) {}

Workbook& WorkbookApp::ActiveBook() {
    if (!active_) Refuse("No workbook is open.");
    return *active_;
}

void WorkbookApp::WorkbooksAdd(int) {
    books_.push_back(std::make_unique<Workbook>());
    active_ = books_.back().get();
}

void WorkbookApp::SheetsActivate(const std::string& name) {
    Workbook& book = ActiveBook();
    const int index = book.SheetIndex(name);
    if (index < 0) throw CorvError(9, "Subscript out of range: the workbook has no sheet \"" + name + "\".");
    book.activeSheet = index;
}

void WorkbookApp::Cells(long row, long column, const SheetValue& value) {
    Workbook& book = ActiveBook();
    book.Active().Set(row, column, value);
    book.written = false;
}

void WorkbookApp::PivotTableWizard(const PivotWizardArgs& args) {
    Workbook& book = ActiveBook();
    if (args.sourceType != 1) Refuse("A pivot table can only be built on a list of the workbook.");
    if (!args.tableDestination.empty()) Refuse("A pivot table can only be placed on a new sheet.");
    const SheetRange& range = args.sourceData;
    const int sourceIndex = book.SheetIndex(range.sheet);
    if (sourceIndex < 0)
        throw CorvError(9, "Subscript out of range: the workbook has no sheet \"" + range.sheet + "\".");
    if (range.firstRow < 1 || range.firstColumn < 1 || range.lastRow > kMaxSheetRows ||
        range.lastColumn > kMaxSheetColumns || range.lastColumn < range.firstColumn ||
        range.lastRow <= range.firstRow)
        Refuse("The pivot table's source must be a range of a header row and at least one row below it.");
    const Worksheet& source = *book.sheets[sourceIndex];
    PivotTableDef def;
    def.name = args.tableName;
    def.source = range;
    def.source.sheet = source.Name();
    for (long c = range.firstColumn; c <= range.lastColumn; ++c) {
        const StoredCell* cell = source.At(range.firstRow, c);
        std::string name;
        if (cell && cell->kind == StoredKind::Text) name = source.Text(*cell);
        if (name.empty())
            Refuse("The pivot table field name in column " + std::to_string(c) + " is not valid.");
        def.fields.push_back(std::move(name));
    }
    def.subtotals.assign(def.fields.size(), true);
    def.sheet = book.NewSheetName();
    book.sheets.insert(book.sheets.begin() + sourceIndex, std::make_unique<Worksheet>(def.sheet));
    book.activeSheet = sourceIndex;
    book.pivots.push_back(std::move(def));
    book.written = false;
}

PivotTableDef& WorkbookApp::Table(const std::string& name) {
    Workbook& book = ActiveBook();
    for (PivotTableDef& def : book.pivots)
        if (SameName(def.sheet, book.Active().Name()) && SameName(def.name, name)) {
            book.written = false;
            return def;
        }
    Refuse("The active sheet has no pivot table \"" + name + "\".");
}

int WorkbookApp::FieldIndex(const PivotTableDef& table, const std::string& field) const {
    for (std::size_t i = 0; i < table.fields.size(); ++i)
        if (SameName(table.fields[i], field)) return static_cast<int>(i);
    Refuse("The pivot table has no field \"" + field + "\".");
}

void WorkbookApp::PivotFieldSubtotals(const std::string& table, const std::string& field,
                                      const std::array<bool, 12>& subtotals) {
    PivotTableDef& def = Table(table);
    def.subtotals[FieldIndex(def, field)] =
        std::find(subtotals.begin(), subtotals.end(), true) != subtotals.end();
}

void WorkbookApp::AddFields(const std::string& table, const std::vector<std::string>& rowFields,
                            const std::vector<std::string>& columnFields) {
    PivotTableDef& def = Table(table);
    std::vector<int> rows, columns;
    for (const std::string& f : rowFields) rows.push_back(FieldIndex(def, f));
    for (const std::string& f : columnFields) columns.push_back(FieldIndex(def, f));
    for (int f : rows)
        if (std::count(rows.begin(), rows.end(), f) > 1 || std::count(columns.begin(), columns.end(), f))
            Refuse("The field \"" + def.fields[f] + "\" is given twice.");
    def.rowFields = std::move(rows);
    def.columnFields = std::move(columns);
}

void WorkbookApp::PivotFieldOrientation(const std::string& table, const std::string& field,
                                        PivotOrientation orientation) {
    PivotTableDef& def = Table(table);
    const int f = FieldIndex(def, field);
    switch (orientation) {
        case PivotOrientation::Data:
            if (std::count(def.dataFields.begin(), def.dataFields.end(), f)) return;
            if (!def.dataFields.empty()) Refuse("A pivot table here sums one data field.");
            def.dataFields.push_back(f);
            return;
        case PivotOrientation::Row:
        case PivotOrientation::Column: {
            Remove(def.rowFields, f);
            Remove(def.columnFields, f);
            (orientation == PivotOrientation::Row ? def.rowFields : def.columnFields).push_back(f);
            return;
        }
        case PivotOrientation::Hidden:
            Remove(def.rowFields, f);
            Remove(def.columnFields, f);
            Remove(def.dataFields, f);
            return;
        case PivotOrientation::Page:
            break;
    }
    Refuse("Page fields are not available.");
}

void WorkbookApp::ColumnGrand(const std::string& table, bool on) {
    Table(table).columnGrand = on;
}

void WorkbookApp::RowGrand(const std::string& table, bool on) {
    Table(table).rowGrand = on;
}

std::string WorkbookApp::NextFileName() const {
    for (int n = 1;; ++n) {
        std::string path = folder_ + "/Book" + std::to_string(n) + ".xlsx";
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) return path;
    }
}

void WorkbookApp::Visible(bool visible, int) {
    visible_ = visible;
    if (!visible) return;
    if (folder_.empty()) folder_ = Desktop().ProgramFolder() + "/Workbooks";
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) throw CorvError(err::PathNotFound, "Cannot create the folder " + folder_ + ": " + ec.message());
    std::vector<std::string> fresh;
    for (auto& book : books_) {
        if (book->written) continue;
        const std::string path = NextFileName();
        WriteXlsx(*book, path);
        book->written = true;
        written_.push_back(path);
        fresh.push_back(path);
    }
    for (const std::string& path : fresh)
        if (!Desktop().OpenWithDefaultApplication(path))
            Refuse("No program of the desktop could open the workbook. It is saved as " + path + ".");
}

void WorkbookApp::DisplayFullScreen(bool) {
    // Only the desktop's spreadsheet program, once it has the file, has a screen to fill.
}

}  // namespace corv
