#pragma once

#include <string>
#include <vector>

namespace corv {

class ExcelApplication;
class Recordset;
class frmFlexGrid;

// Pivot Table Wizard > Markets, Bidders, Rounds: the bids (store::kBidsTable) over a range of rounds into
// a new workbook of the viewer's spreadsheet application, with a pivot table of rounds by market and bidder.
void MarketsAnalysis(frmFlexGrid& viewer);
void BiddersAnalysis(frmFlexGrid& viewer);
void RoundsAnalysis(frmFlexGrid& viewer);

// Writes rs, from its current record, into the active sheet: names in row 1, then one row per record, one
// call per cell. Returns the last row written.
long CopyRecordsToSheet(ExcelApplication& app, Recordset& rs);
// Builds "PivotTable1" over sheet1 (1, 1) to (lastRow, lastColumn) on the active workbook.
void BuildBidPivot(ExcelApplication& app, long lastRow, long lastColumn,
                   const std::vector<std::string>& columnFields, bool net);

// The two-space block of a market offered whole.
inline constexpr const char* kNoBlock = "  ";

// The list item of a market: the bare name for the two-space block, else market "-" block.
std::string MarketListItem(const std::string& market, const std::string& block);
// "IN('a', 'b') ": names quoted with embedded quotes doubled. With blockAware, an item without "-" matches
// its market's two-space block.
std::string MatchList(const std::vector<std::string>& picks, bool blockAware);

std::string MarketsFirstQuery(long first, long last);
std::string MarketsSecondQuery(long first, long last, const std::string& matchList, bool blockAware);
std::string BiddersFirstQuery(long first, long last);
std::string BiddersSecondQuery(long first, long last, const std::string& matchList);
std::string RoundsQuery(long first, long last);

}  // namespace corv
