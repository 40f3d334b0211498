#include "engine/Recordset.h"

#include "engine/EngineInternal.h"
#include "engine/SnapshotData.h"
#include "engine/TableClaims.h"
#include "engine/sql/JetSql.h"

namespace corv {

namespace {

CorvError Closed() {
    return CorvError(engine::kInvalidObject, "The record set is closed: it can no longer be used.");
}

CorvError NoCurrentRecord() {
    return CorvError(err::NoCurrentRecord, "There is no current record.");
}

bool IsBlank(const std::string& s) {
    return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

Recordset::Recordset(std::weak_ptr<Database> db, std::shared_ptr<const SnapshotData> data, RecordsetType type,
                     std::string source, std::vector<std::string> sourceTables,
                     std::shared_ptr<TableClaims> claims)
    : db_(std::move(db)),
      data_(std::move(data)),
      type_(type),
      source_(std::move(source)),
      sourceTables_(std::move(sourceTables)),
      claims_(std::move(claims)) {
    data_->AddUser();
    if (claims_) claims_->Claim(sourceTables_);
}

Recordset::~Recordset() {
    Close();
}

void Recordset::Close() {
    if (closed_) return;
    closed_ = true;
    data_->ReleaseUser();
    if (claims_) claims_->Release(sourceTables_);
}

std::shared_ptr<Recordset> Recordset::Clone() const {
    if (closed_) throw Closed();
    return std::make_shared<Recordset>(db_, data_, type_, source_, sourceTables_, claims_);
}

bool Recordset::HasRow(std::size_t row) const {
    return row < data_->RowCount() || row < data_->WaitForRows(row + 1);
}

bool Recordset::Eof() const {
    return closed_ || !HasRow(pos_);
}

bool Recordset::Bof() const {
    return closed_ || !HasRow(0) || beforeFirst_;
}

void Recordset::MoveFirst() {
    if (closed_) throw Closed();
    if (!HasRow(0)) throw NoCurrentRecord();
    pos_ = 0;
    beforeFirst_ = false;
}

void Recordset::MoveNext() {
    if (closed_) throw Closed();
    if (!HasRow(pos_)) throw NoCurrentRecord();
    if (beforeFirst_) {
        beforeFirst_ = false;
        return;
    }
    ++pos_;
}

void Recordset::MovePrevious() {
    if (closed_) throw Closed();
    if (beforeFirst_ || !HasRow(0)) throw NoCurrentRecord();
    if (pos_ == 0) {
        beforeFirst_ = true;
    } else {
        pos_ = std::min(pos_, data_->RowCount()) - 1;
    }
}

void Recordset::MoveLast() {
    if (closed_) throw Closed();
    WaitComplete();
    if (data_->RowCount() == 0) throw NoCurrentRecord();
    pos_ = data_->RowCount() - 1;
    beforeFirst_ = false;
}

long Recordset::RecordCount() const {
    if (closed_) throw Closed();
    return static_cast<long>(data_->RowCount());
}

int Recordset::FieldCount() const {
    return data_->ColumnCount();
}

const FieldInfo& Recordset::Field(int index) const {
    if (index < 0 || index >= data_->ColumnCount()) {
        throw CorvError(engine::kItemNotFound, "There is no field number " + std::to_string(index) + ".");
    }
    return data_->Fields()[index];
}

int Recordset::FieldIndex(std::string_view name) const {
    const auto& fields = data_->Fields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        if (engine::SameName(fields[i].name, name)) return i;
    }
    return -1;
}

Value Recordset::GetValue(int index) const {
    if (closed_) throw Closed();
    Field(index);  // range check
    if (Eof() || beforeFirst_) throw NoCurrentRecord();
    return data_->Cell(pos_, index);
}

Value Recordset::GetValue(std::string_view name) const {
    const int i = FieldIndex(name);
    if (i < 0) {
        throw CorvError(engine::kItemNotFound,
                        "The field '" + std::string(name) + "' is not in this record set.");
    }
    return GetValue(i);
}

// Grids keep reading a set after the code that opened it has closed it.
std::size_t Recordset::RowCount() const {
    return data_->RowCount();
}

bool Recordset::IsComplete() const {
    return data_->IsComplete();
}

bool Recordset::IsLoading() const {
    return data_->IsLoading();
}

void Recordset::WaitComplete() const {
    if (!data_->WaitComplete()) throw Closed();
}

Value Recordset::Cell(std::size_t row, int column) const {
    if (row >= data_->RowCount() || column < 0 || column >= data_->ColumnCount()) return Value();
    return data_->Cell(row, column);
}

bool Recordset::HoldsFileSnapshot() const {
    return data_->HoldsFileSnapshot();
}

std::size_t Recordset::ScanColumn(int column, const std::function<bool(const Value&)>& visit) const {
    if (column < 0 || column >= data_->ColumnCount()) return 0;
    return data_->ScanColumn(column, visit);
}

std::shared_ptr<Recordset> Recordset::OpenRecordset() const {
    return OpenRecordset(type_);
}

std::shared_ptr<Recordset> Recordset::OpenRecordset(RecordsetType type) const {
    if (closed_) throw Closed();
    // The new set is computed from, or shares, every row of this one.
    WaitComplete();
    std::shared_ptr<const SnapshotData> data = data_;
    if (!IsBlank(Filter) || !IsBlank(Sort)) {
        const std::string where = IsBlank(Filter) ? std::string() : jetsql::TranslateCondition(Filter);
        const std::string order = IsBlank(Sort) ? std::string() : jetsql::TranslateOrderList(Sort);
        data = engine::QuerySnapshot(data_, where, order);
    }
    return std::make_shared<Recordset>(db_, std::move(data), type, source_, sourceTables_, claims_);
}

}  // namespace corv
