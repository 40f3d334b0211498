// A RoundReport written out: as aligned tables for a terminal, as one table in CSV, or as one JSON document
// holding every table. The three share one description of each table (its keys, titles and cells), so the
// CSV header is the JSON keys and a value reads the same in both.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report/Report.h"

namespace corv::report {

// Totals, then markets, bidders, changes, eligibility and rounds, each under its title. Without an
// eligibility table the sentence NoEligibilityTableSentence() stands where that table would be.
void WriteText(const RoundReport& report, std::ostream& out);
// The titles WriteText puts above its sections, in order.
std::vector<std::string> TextSectionTitles(const RoundReport& report);

// RFC 4180: a header line of the JSON keys, then one line per row, CRLF ended; a missing value is an empty
// field. Returns false, writing nothing, for the eligibility table of an auction without one.
bool WriteCsv(const RoundReport& report, Table table, std::ostream& out);

// The document described in corvidel-report(1): amounts as numbers that read back exactly, null for a
// missing value, strings escaped with their UTF-8 kept.
void WriteJson(const RoundReport& report, std::ostream& out);

// The shortest fixed-point text that reads back as the same double; no ".0" on a whole amount.
std::string JsonNumber(double value);

}  // namespace corv::report
