#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldInfo.h"
#include "engine/Value.h"

namespace corv {

class Database;
class SnapshotData;
class TableClaims;

// The engine's record set types, numbered as the classic engine numbers them.
enum class RecordsetType { Dynaset = 2, Snapshot = 4 };

// A result set. Both types hold a stable copy of the rows taken when the set was opened: later changes
// to the tables do not change it. Rows are addressed by position (0-based) for grids, and through a
// current-record cursor (MoveFirst/MoveNext/Eof) for commands.
//
// A large set read from a file arrives progressively: its first rows are there when it opens and the
// rest are read in the background, still as of the moment it opened. RowCount() says how many are there
// now; the cursor waits for rows it moves onto, so a MoveNext loop until Eof sees every row.
class Recordset {
  public:
    virtual ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    RecordsetType Type() const { return type_; }
    const std::string& Source() const { return source_; }  // the SQL text (or table name) it was opened from
    std::shared_ptr<Database> GetDatabase() const { return db_.lock(); }

    // Cursor. Eof is true on an empty set and after moving past the last row; it waits for the rows still
    // arriving and throws if reading them failed.
    bool Eof() const;
    bool Bof() const;
    void MoveFirst();  // error 3021 on an empty set
    void MoveNext();   // error 3021 when already past the end
    void MovePrevious();
    void MoveLast();  // error 3021 on an empty set; waits for every row
    long AbsolutePosition() const { return static_cast<long>(pos_); }
    // The rows read so far, as the classic engine counts rows visited: exact after MoveLast.
    long RecordCount() const;
    // Ends this handle: its cursor and its claim on the source tables. Rows still arriving keep arriving
    // while another handle on them is open (a grid's clone).
    void Close();
    bool IsClosed() const { return closed_; }

    // Fields of the current record.
    int FieldCount() const;
    const FieldInfo& Field(int index) const;
    int FieldIndex(std::string_view name) const;  // -1 when absent; names compare without regard to case
    Value GetValue(int index) const;              // error 3021 without a current record
    Value GetValue(std::string_view name) const;  // error 3265 for an unknown name

    // Positional access for grids: never waits for rows to arrive. RowCount() grows while the set loads.
    // A large set reads the page of rows holding row from its file when it is not cached, and throws when
    // that read fails.
    // RowCount and IsLoading are virtual so that the moment a load ends can be placed exactly in tests.
    virtual std::size_t RowCount() const;
    Value Cell(std::size_t row, int column) const;
    // Cell(row, column) for each row there now, in order, until visit returns false; returns the row it
    // stopped at, or RowCount(). Much faster than Cell() for a whole column of a large set.
    std::size_t ScanColumn(int column, const std::function<bool(const Value&)>& visit) const;

    // Whether the set reads its rows from the database file in a read transaction it holds open: a file
    // in write-ahead-log mode cannot fold its log back past that read, so a long-lived holder lets it go
    // after writes.
    bool HoldsFileSnapshot() const;

    // Whether every row is there; false while loading and after loading was stopped or failed.
    bool IsComplete() const;
    // Whether rows are still arriving.
    virtual bool IsLoading() const;

    // Another open handle on the same rows, with its own cursor; error 3420 on a closed set.
    std::shared_ptr<Recordset> Clone() const;
    // Waits until every row is there; throws the loading failure, or error 3420 when the set was closed
    // before its rows were all read.
    void WaitComplete() const;

    // Filter is a Jet WHERE condition without WHERE; Sort a Jet ORDER BY list without ORDER BY. Setting them
    // changes nothing until OpenRecordset, which computes the narrowed or re-ordered copy with SQL over this
    // set's rows.
    std::string Filter;
    std::string Sort;
    std::shared_ptr<Recordset> OpenRecordset() const;  // same Type; waits for every row
    std::shared_ptr<Recordset> OpenRecordset(RecordsetType type) const;

    // Tables of the database this set was read from; a table in this list cannot be dropped while the set
    // is open.
    const std::vector<std::string>& SourceTables() const { return sourceTables_; }

    // Construction is the engine's business (Database::OpenRecordset): the set claims its source tables in
    // claims while it is open.
    Recordset(std::weak_ptr<Database> db, std::shared_ptr<const SnapshotData> data, RecordsetType type,
              std::string source, std::vector<std::string> sourceTables,
              std::shared_ptr<TableClaims> claims = nullptr);
    const std::shared_ptr<const SnapshotData>& Data() const { return data_; }

  private:
    bool HasRow(std::size_t row) const;  // waits for the row while it may still arrive

    std::weak_ptr<Database> db_;
    std::shared_ptr<const SnapshotData> data_;
    RecordsetType type_;
    std::string source_;
    std::vector<std::string> sourceTables_;
    std::shared_ptr<TableClaims> claims_;
    std::size_t pos_ = 0;
    bool beforeFirst_ = false;
    bool closed_ = false;
};

}  // namespace corv
