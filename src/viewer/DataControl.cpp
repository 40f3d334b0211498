#include "viewer/DataControl.h"

#include "engine/CorvError.h"

namespace corv {

void DataControl::SetRecordset(std::shared_ptr<Recordset> recordset) {
    recordset_ = std::move(recordset);
    emit RecordsetChanged();
}

void DataControl::Refresh() {
    if (!database_ || !database_->IsOpen())
        throw CorvError(91, "Object variable or With block variable not set");
    SetRecordset(database_->OpenRecordset(RecordSource.toStdString(), RecordsetType::Snapshot));
}

}  // namespace corv
