#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/FieldInfo.h"
#include "engine/Value.h"

namespace corv {

class SnapshotData;

// What a paged set reads its rows through: the rows' store knows only this, the engine opens a PageSource
// (PagedRows.h) behind it. Threads: one thread at a time reads, whoever holds ReaderLock().
class PageReader {
  public:
    virtual ~PageReader() = default;

    virtual std::unique_lock<std::mutex> ReaderLock() = 0;
    // Whether the rows are the auction's own, read in a transaction held open (not a result file).
    virtual bool HoldsFileSnapshot() const = 0;

    // Under the lock: the rows of ids first..first+count-1, or of the ids listed, in that order, as a page
    // with fields. Only the columns whose bit is set in used are read (bit 63 stands for every column from
    // 63 on); the others are Null. Throws when the file cannot be read.
    static constexpr std::uint64_t kAllColumns = ~std::uint64_t{0};
    virtual std::shared_ptr<SnapshotData> ReadRun(const std::vector<FieldInfo>& fields, std::int64_t first,
                                                  std::size_t count, std::uint64_t used) = 0;
    virtual std::shared_ptr<SnapshotData> ReadIds(const std::vector<FieldInfo>& fields,
                                                  const std::int64_t* ids, std::size_t count,
                                                  std::uint64_t used) = 0;
    // The ids of count rows of a set: the ids listed, or first and those running on from it.
    struct IdSpan {
        std::int64_t first = 0;
        std::size_t count = 0;
        const std::int64_t* ids = nullptr;
    };
    // Under the lock: one column of rows 0..rows-1 in that order, without reading the rows' other columns;
    // spanAt gives the ids of the rows from a row on. Stops where visit returns false and returns that
    // row, else rows.
    virtual std::size_t ScanColumn(const std::vector<FieldInfo>& fields, int column, std::size_t rows,
                                   const std::function<IdSpan(std::size_t row)>& spanAt,
                                   const std::function<bool(const Value&)>& visit) = 0;
};

}  // namespace corv
