// A report's JSON document held against RoundReference: the figures counted plainly from the auction's rows.
#pragma once

#include <string>

#include "report/ReportTestSupport.h"
#include "standings/BidHistory.h"

namespace corv::test {

// Adds a failure for every figure of doc that differs from the reference's count over the file at path.
void ExpectReference(const Json& doc, const std::string& path, int round, int since,
                     standings::Measure measure);

}  // namespace corv::test
