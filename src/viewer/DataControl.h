#pragma once

#include <memory>
#include <string>

#include <QObject>
#include <QString>

#include "engine/Database.h"
#include "engine/Recordset.h"

namespace corv {

// The viewer's data source: the record source text, the database it runs against and the record set the
// grid shows. Replacing the record set directly (sort, filter) does not run the record source again.
class DataControl : public QObject {
    Q_OBJECT
  public:
    explicit DataControl(QObject* parent = nullptr) : QObject(parent) {}

    QString RecordSource;

    void SetDatabase(std::shared_ptr<Database> db) { database_ = std::move(db); }
    const std::shared_ptr<Database>& GetDatabase() const { return database_; }
    // The path of the database read; empty when none is set.
    std::string DatabaseName() const { return database_ ? database_->Name() : std::string(); }

    const std::shared_ptr<Recordset>& GetRecordset() const { return recordset_; }
    // Binds a record set without refreshing; the grid follows.
    void SetRecordset(std::shared_ptr<Recordset> recordset);
    // Runs the record source as a read-only snapshot and binds the result. On failure the previous
    // record set stays bound.
    void Refresh();

  signals:
    void RecordsetChanged();

  private:
    std::shared_ptr<Database> database_;
    std::shared_ptr<Recordset> recordset_;
};

}  // namespace corv
