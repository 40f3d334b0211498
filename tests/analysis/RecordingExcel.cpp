#include "RecordingExcel.h"

#include "engine/CorvError.h"

namespace corv::test {

namespace {

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::string List(const std::vector<std::string>& names) {
    std::string out = "{";
    for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + Quoted(names[i]);
    return out + "}";
}

std::string Flag(bool on) {
    return on ? "True" : "False";
}

class RecordingExcel : public ExcelApplication {
  public:
    explicit RecordingExcel(std::shared_ptr<ExcelLog> log) : log_(std::move(log)) { ++log_->applications; }

    void WorkbooksAdd(int locale) override { Record("Workbooks.Add(" + std::to_string(locale) + ")"); }
    void SheetsActivate(const std::string& name) override { Record("Sheets(" + Quoted(name) + ").Activate"); }
    void Cells(long row, long column, const SheetValue& value) override {
        Record(CellLine(row, column, value));
    }
    void PivotTableWizard(const PivotWizardArgs& a) override {
        const SheetRange& r = a.sourceData;
        Record("ActiveSheet.PivotTableWizard(SourceType:=" + std::to_string(a.sourceType) +
               ", SourceData:=" + Quoted(r.sheet) + "!R" + std::to_string(r.firstRow) + "C" +
               std::to_string(r.firstColumn) + ":R" + std::to_string(r.lastRow) + "C" +
               std::to_string(r.lastColumn) + ", TableDestination:=" + Quoted(a.tableDestination) +
               ", TableName:=" + Quoted(a.tableName) + ")");
    }
    void PivotFieldSubtotals(const std::string& table, const std::string& field,
                             const std::array<bool, 12>& subtotals) override {
        std::string flags;
        for (bool s : subtotals) flags += (flags.empty() ? "" : ", ") + Flag(s);
        Record(Table(table) + ".PivotFields(" + Quoted(field) + ").Subtotals = {" + flags + "}");
    }
    void AddFields(const std::string& table, const std::vector<std::string>& rowFields,
                   const std::vector<std::string>& columnFields) override {
        Record(Table(table) + ".AddFields(RowFields:=" + List(rowFields) +
               ", ColumnFields:=" + List(columnFields) + ")");
    }
    void PivotFieldOrientation(const std::string& table, const std::string& field,
                               PivotOrientation orientation) override {
        Record(Table(table) + ".PivotFields(" + Quoted(field) +
               ").Orientation = " + std::to_string(static_cast<int>(orientation)));
    }
    void ColumnGrand(const std::string& table, bool on) override {
        Record(Table(table) + ".ColumnGrand = " + Flag(on));
    }
    void RowGrand(const std::string& table, bool on) override {
        Record(Table(table) + ".RowGrand = " + Flag(on));
    }
    void Visible(bool visible, int locale) override {
        Record("Visible(" + Flag(visible) + ", " + std::to_string(locale) + ")");
    }
    void DisplayFullScreen(bool on) override { Record("DisplayFullScreen = " + Flag(on)); }

  private:
    static std::string Table(const std::string& name) {
        return "ActiveSheet.PivotTables(" + Quoted(name) + ")";
    }
    void Record(std::string call) {
        log_->calls.push_back(std::move(call));
        if (static_cast<int>(log_->calls.size()) == log_->failAt)
            throw CorvError(log_->failNumber, log_->failDescription);
    }
    std::shared_ptr<ExcelLog> log_;
};

}  // namespace

std::string CellLine(long row, long column, const SheetValue& value) {
    std::string line = "Cells(" + std::to_string(row) + ", " + std::to_string(column) + ") = ";
    const Value& v = value.value;
    if (v.isNull())
        line += "Null";
    else if (v.isText())
        line += Quoted(v.text());
    else
        line += v.toString();
    if (value.type != FieldType::Unknown) line += " [" + std::string(DeclaredType(value.type)) + "]";
    return line;
}

RecordingExcelFactory::RecordingExcelFactory() {
    SetExcelFactory([log = log] { return std::make_unique<RecordingExcel>(log); });
}

RecordingExcelFactory::~RecordingExcelFactory() {
    SetExcelFactory({});
}

}  // namespace corv::test
