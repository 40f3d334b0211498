#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/Spreadsheet.h"

namespace corv::test {

// What every recording application made since the recorder was installed was asked, in order.
struct ExcelLog {
    int applications = 0;            // applications started
    std::vector<std::string> calls;  // one line per call, e.g. Cells(2, 3) = 1.5 [Currency]
    int failAt = 0;                  // the nth call (1-based) throws; 0: none does
    int failNumber = 1004;
    std::string failDescription = "Recorded failure";
};

// Makes the program's spreadsheet applications recording ones while it lives.
class RecordingExcelFactory {
  public:
    RecordingExcelFactory();
    ~RecordingExcelFactory();
    std::shared_ptr<ExcelLog> log = std::make_shared<ExcelLog>();
};

// The line a Cells call records for a value.
std::string CellLine(long row, long column, const SheetValue& value);

}  // namespace corv::test
