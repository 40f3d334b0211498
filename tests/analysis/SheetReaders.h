#pragma once

#include <map>
#include <string>

namespace corv::test {

// Runs a shell command; its output, with "<exit N>" appended when it failed.
std::string Shell(const std::string& command);
// s quoted for the shell.
std::string Quote(const std::string& s);
// Every non-empty cell of one sheet as openpyxl reads it: "A1|type|format|repr(value)" lines.
std::string ReadWithOpenpyxl(const std::string& file, const std::string& sheet);
// The sheets of a workbook converted by LibreOffice, headless, one CSV per sheet, by sheet name.
std::map<std::string, std::string> ConvertWithLibreOffice(const std::string& file, const std::string& folder);
// The sums of a bid pivot (row field Round; column fields Market, Block, Bidder Name) laid out as a sheet of
// comma-separated lines with the table at A3, keyed "round|market|block|bidder".
std::map<std::string, double> PivotSums(const std::string& csv);

}  // namespace corv::test
