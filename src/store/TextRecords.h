// The records of a text table as libcsv reads them, and the cell forms the column types take; shared by the
// reading and the writing of TextTableImport. Each object belongs to the thread that made it.
#pragma once

#include <csv.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/TextTableImport.h"

namespace corv::store::text {

// Feeds libcsv one line at a time, so each record knows the line it starts on. RFC 4180 quoting: a quoted
// field may hold delimiters, doubled quotes and line breaks; blanks around a field are kept; blank lines
// are no records.
class RecordReader {
  public:
    RecordReader(std::string_view text, char delimiter);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // The next record into out; false at the end.
    bool Next(TextRecord& out);
    double Fraction() const { return text_.empty() ? 1.0 : static_cast<double>(pos_) / text_.size(); }

  private:
    static void OnField(void* data, std::size_t size, void* self);
    static void OnEnd(int terminator, void* self);
    void Feed(std::string_view piece);

    csv_parser parser_{};
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 0;       // lines fed so far
    int startLine_ = 0;  // where the record being read began
    bool finished_ = false;
    std::vector<std::string> fields_;  // of the record being read; strings kept for their capacity
    std::size_t fieldCount_ = 0;
    std::vector<TextRecord> ready_;
    std::size_t readyFirst_ = 0;
};

// Blanks around a cell do not count for its type.
std::string_view Trimmed(std::string_view cell);
// A whole number: optional minus, digits, no leading zero (an account number "007" stays text).
std::optional<std::int64_t> WholeValue(std::string_view cell);
std::optional<double> NumberValue(std::string_view cell);
// A date as the engine stores one ("YYYY-MM-DD HH:MM:SS") from YYYY-MM-DD or M/D/YYYY, with an optional time.
std::optional<std::string> DateValue(std::string_view cell);

}  // namespace corv::store::text
