#include "analysis/PivotAnalyses.h"

#include <optional>

#include "analysis/AnalysisDialogs.h"
#include "analysis/ExcelView.h"
#include "analysis/Spreadsheet.h"
#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/Auction.h"
#include "store/RoundTables.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

constexpr const char* kTableName = "PivotTable1";
constexpr long kAllColumns = 7;

std::string Between(long first, long last) {
    return std::to_string(first) + " AND " + std::to_string(last);
}

std::shared_ptr<Recordset> OpenFirst(frmFlexGrid& viewer, const std::string& sql) {
    store::Auction* auction = viewer.Host().OpenAuction();
    if (!auction) throw CorvError(err::ObjectNotSet, "No auction database is open");
    std::shared_ptr<Recordset> rs = auction->Data().OpenRecordset(sql, RecordsetType::Snapshot);
    rs->MoveFirst();
    return rs;
}

// The hourglass from the closing of the last dialog to the end, however the analysis ends.
class AnalysisRun {
  public:
    void Busy() { busy_.emplace(); }
    void Idle() { busy_.reset(); }

  private:
    std::optional<BusyPointer> busy_;
};

// Copy and pivot on the viewer's application, then show it.
void WriteWorkbook(frmFlexGrid& viewer, Recordset& rs, long lastColumn,
                   const std::vector<std::string>& columns, bool net) {
    ExcelApplication& app = ViewerExcelApp(viewer);
    app.WorkbooksAdd(kLocaleUS);
    app.SheetsActivate("sheet1");
    const long lastRow = CopyRecordsToSheet(app, rs);
    BuildBidPivot(app, lastRow, lastColumn, columns, net);
    app.Visible(true, kLocaleUS);
    app.DisplayFullScreen(true);
    app.DisplayFullScreen(false);
}

const std::vector<std::string> kBlockColumns{store::kMarketColumn, store::kBlockColumn, store::kBidderColumn};

}  // namespace

std::string MarketListItem(const std::string& market, const std::string& block) {
    return block == kNoBlock ? market : market + "-" + block;
}

std::string MatchList(const std::vector<std::string>& picks, bool blockAware) {
    std::string list = "IN(";
    for (const std::string& pick : picks) {
        const bool bare = blockAware && pick.find('-') == std::string::npos;
        list += store::SqlText(bare ? pick + "-" + kNoBlock : pick) + ", ";
    }
    list.replace(list.size() - 2, 2, ") ");
    return list;
}

std::string MarketsFirstQuery(long first, long last) {
    return "SELECT DISTINCT [Market], [Block] FROM [Markets and Bidders] WHERE [Round] BETWEEN " +
           Between(first, last);
}

std::string MarketsSecondQuery(long first, long last, const std::string& matchList, bool blockAware) {
    if (blockAware)
        return "SELECT * FROM [Markets and Bidders] WHERE [Round] Between " + Between(first, last) +
               " AND [Market] + '-' + [Block] " + matchList + "ORDER BY [Market]";
    return "SELECT [Auction Id], [Round], [Market], [Bidder Name], [Bid Amount], [Net Bid Amount] FROM "
           "[Markets "
           "and Bidders] WHERE [Round] Between " +
           Between(first, last) + " AND [Market] " + matchList + "ORDER BY [Market]";
}

std::string BiddersFirstQuery(long first, long last) {
    return "SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders] WHERE [Round] BETWEEN " +
           Between(first, last);
}

std::string BiddersSecondQuery(long first, long last, const std::string& matchList) {
    return "SELECT * FROM [Markets and Bidders] WHERE [Round] Between " + Between(first, last) +
           " AND [Bidder Name] " + matchList + "ORDER BY [Market]";
}

std::string RoundsQuery(long first, long last) {
    return "SELECT * FROM [Markets and Bidders] WHERE [Round] Between " + Between(first, last) +
           " ORDER BY [Round]";
}

long CopyRecordsToSheet(ExcelApplication& app, Recordset& rs) {
    const int columns = rs.FieldCount();
    std::vector<FieldType> types;
    for (int k = 0; k < columns; ++k) {
        const FieldInfo& field = rs.Field(k);
        app.Cells(1, k + 1, SheetValue{Value(field.name)});
        types.push_back(field.type != FieldType::Unknown ? field.type
                                                         : FieldTypeFromDeclared(field.declaredType));
    }
    long row = 2;
    for (; !rs.Eof(); rs.MoveNext(), ++row)
        for (int k = 0; k < columns; ++k) app.Cells(row, k + 1, SheetValue{rs.GetValue(k), types[k]});
    return row - 1;
}

void BuildBidPivot(ExcelApplication& app, long lastRow, long lastColumn,
                   const std::vector<std::string>& columnFields, bool net) {
    const std::string amount = net ? store::kNetBidAmountColumn : store::kBidAmountColumn;
    app.PivotTableWizard(PivotWizardArgs{1, SheetRange{"sheet1", 1, 1, lastRow, lastColumn}, "", kTableName});
    const std::array<bool, 12> none{};
    app.PivotFieldSubtotals(kTableName, store::kRoundColumn, none);
    for (const std::string& field : columnFields) app.PivotFieldSubtotals(kTableName, field, none);
    app.AddFields(kTableName, {store::kRoundColumn}, columnFields);
    app.PivotFieldOrientation(kTableName, amount, PivotOrientation::Data);
    app.ColumnGrand(kTableName, false);
    app.RowGrand(kTableName, false);
}

void MarketsAnalysis(frmFlexGrid& viewer) {
    AnalysisRun run;
    try {
        const std::optional<RoundRange> range = AskRoundRange(viewer, AnalysisKind::Markets);
        if (!range) return;
        std::vector<std::string> items;
        bool blockAware = false;
        {
            const auto rs = OpenFirst(viewer, MarketsFirstQuery(range->first, range->last));
            for (; !rs->Eof(); rs->MoveNext()) {
                const std::string block = rs->GetValue(1).toString();
                items.push_back(MarketListItem(rs->GetValue(0).toString(), block));
                if (block != kNoBlock) blockAware = true;
            }
        }
        const auto picks = AskAnalysisList(items, "Select the Licenses to Analyze");
        if (!picks) return;
        run.Busy();
        const auto rs = OpenFirst(
            viewer, MarketsSecondQuery(range->first, range->last, MatchList(*picks, blockAware), blockAware));
        if (blockAware)
            WriteWorkbook(viewer, *rs, kAllColumns, kBlockColumns, range->net);
        else
            WriteWorkbook(viewer, *rs, 6, {store::kMarketColumn, store::kBidderColumn}, range->net);
    } catch (const std::exception& e) {
        run.Idle();  // the pointer returns to the default before the box
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

void BiddersAnalysis(frmFlexGrid& viewer) {
    AnalysisRun run;
    try {
        const std::optional<RoundRange> range = AskRoundRange(viewer, AnalysisKind::Bidders);
        if (!range) return;
        std::vector<std::string> items;
        {
            const auto rs = OpenFirst(viewer, BiddersFirstQuery(range->first, range->last));
            for (; !rs->Eof(); rs->MoveNext()) items.push_back(rs->GetValue(0).toString());
        }
        const auto picks = AskAnalysisList(items, "Select the Bidders to Analyze");
        if (!picks) return;
        run.Busy();
        const auto rs =
            OpenFirst(viewer, BiddersSecondQuery(range->first, range->last, MatchList(*picks, false)));
        WriteWorkbook(viewer, *rs, kAllColumns, kBlockColumns, range->net);
    } catch (const std::exception& e) {
        run.Idle();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

void RoundsAnalysis(frmFlexGrid& viewer) {
    AnalysisRun run;
    try {
        const std::optional<RoundRange> range = AskRoundRange(viewer, AnalysisKind::Rounds);
        if (!range) return;
        run.Busy();
        const auto rs = OpenFirst(viewer, RoundsQuery(range->first, range->last));
        WriteWorkbook(viewer, *rs, kAllColumns, kBlockColumns, range->net);
    } catch (const std::exception& e) {
        run.Idle();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace corv
