#include "analysis/PivotParts.h"

namespace corv::xlsx {

namespace {

void WriteCacheValue(XmlWriter& w, const CacheValue& v) {
    switch (v.kind) {
        case CacheValue::Number:
            w.Open("n").AttrNumber("v", v.number).Close();
            break;
        case CacheValue::Text:
            w.Open("s").Attr("v", v.text).Close();
            break;
        case CacheValue::Boolean:
            w.Open("b").Attr("v", v.number != 0 ? 1 : 0).Close();
            break;
        case CacheValue::Blank:
            w.Open("m").Close();
            break;
    }
}

}  // namespace

void WriteCacheDefinition(XmlWriter& w, const PivotModel& m, const PivotTableDef& def) {
    w.Declaration();
    w.Open("pivotCacheDefinition").Attr("xmlns", kMainNs).Attr("xmlns:r", kRelNs).Attr("r:id", "rId1");
    // The cells of the table's sheet are this writer's rendering; the spreadsheet recomputes them.
    w.Attr("refreshOnLoad", 1).Attr("createdVersion", 3).Attr("refreshedVersion", 3);
    w.Attr("minRefreshableVersion", 3).Attr("recordCount", m.recordCount);
    w.Open("cacheSource").Attr("type", "worksheet");
    w.Open("worksheetSource")
        .Attr("ref", CellRef(def.source.firstRow, def.source.firstColumn) + ":" +
                         CellRef(def.source.lastRow, def.source.lastColumn))
        .Attr("sheet", def.source.sheet)
        .Close();
    w.Close();
    w.Open("cacheFields").Attr("count", static_cast<long long>(m.fields.size()));
    for (const CacheField& f : m.fields) {
        w.Open("cacheField").Attr("name", f.name).Attr("numFmtId", 0);
        w.Open("sharedItems");
        if (!f.hasText && !f.hasBlank) w.Attr("containsSemiMixedTypes", 0);
        if (!f.hasText) w.Attr("containsString", 0);
        if (f.hasText + f.hasNumber + f.hasBoolean > 1) w.Attr("containsMixedTypes", 1);
        if (f.hasBlank) w.Attr("containsBlank", 1);
        if (f.hasNumber) {
            w.Attr("containsNumber", 1);
            if (f.allIntegers) w.Attr("containsInteger", 1);
            w.AttrNumber("minValue", f.minValue).AttrNumber("maxValue", f.maxValue);
        }
        if (f.axis) {
            w.Attr("count", static_cast<long long>(f.items.size()));
            for (const CacheValue& v : f.items) WriteCacheValue(w, v);
        }
        w.Close();
        w.Close();
    }
    w.Close();
    w.Close();
}

RecordsProducer::RecordsProducer(const PivotModel& m, const PivotTableDef& def, const Workbook& book)
    : m_(m), def_(def), sheet_(*book.sheets[book.SheetIndex(def.source.sheet)]) {}

bool RecordsProducer::operator()(XmlWriter& w) {
    if (record_ < 0) {
        w.Declaration();
        w.Open("pivotCacheRecords")
            .Attr("xmlns", kMainNs)
            .Attr("xmlns:r", kRelNs)
            .Attr("count", m_.recordCount);
        w.Raw("");
        record_ = 0;
    }
    std::string& out = w.Buffer();
    for (; record_ < m_.recordCount && out.size() < (256u << 10); ++record_) {
        out += "<r>";
        const long row = def_.source.firstRow + 1 + record_;
        for (std::size_t f = 0; f < m_.fields.size(); ++f) {
            const CacheField& field = m_.fields[f];
            if (field.axis) {
                w.Open("x").Attr("v", field.ofRecord[record_]).Close();
                continue;
            }
            const StoredCell* cell = sheet_.At(row, def_.source.firstColumn + static_cast<long>(f));
            CacheValue v;
            if (cell && cell->kind == StoredKind::Text) {
                v.kind = CacheValue::Text;
                v.text = sheet_.Text(*cell);
            } else if (cell && cell->kind == StoredKind::Boolean) {
                v.kind = CacheValue::Boolean;
                v.number = cell->number;
            } else if (cell && cell->kind != StoredKind::Empty) {
                v.kind = CacheValue::Number;
                v.number = cell->number;
            }
            WriteCacheValue(w, v);
        }
        out += "</r>";
    }
    if (record_ < m_.recordCount) return true;
    out += "</pivotCacheRecords>";
    return false;
}

namespace {

void WriteAxisItems(XmlWriter& w, const char* tag, const std::vector<PivotLine>& lines) {
    w.Open(tag).Attr("count", static_cast<long long>(lines.size()));
    for (const PivotLine& line : lines) {
        w.Open("i");
        if (line.type == PivotLine::Grand) w.Attr("t", "grand");
        if (line.type == PivotLine::Subtotal) w.Attr("t", "default");
        if (line.repeated > 0) w.Attr("r", line.repeated);
        for (std::size_t d = static_cast<std::size_t>(line.repeated); d < line.members.size(); ++d) {
            w.Open("x");
            if (line.members[d] != 0) w.Attr("v", line.members[d]);
            w.Close();
        }
        w.Close();
    }
    w.Close();
}

}  // namespace

void WritePivotTable(XmlWriter& w, const PivotModel& m, const PivotTableDef& def, int cacheId) {
    w.Declaration();
    w.Open("pivotTableDefinition").Attr("xmlns", kMainNs).Attr("name", def.name).Attr("cacheId", cacheId);
    w.Attr("applyNumberFormats", 0).Attr("applyBorderFormats", 0).Attr("applyFontFormats", 0);
    w.Attr("applyPatternFormats", 0).Attr("applyAlignmentFormats", 0).Attr("applyWidthHeightFormats", 1);
    w.Attr("dataCaption", "Data").Attr("updatedVersion", 3).Attr("minRefreshableVersion", 3);
    w.Attr("createdVersion", 3).Attr("useAutoFormatting", 1).Attr("itemPrintTitles", 1).Attr("indent", 0);
    w.Attr("compact", 0).Attr("compactData", 0).Attr("gridDropZones", 1);
    // The part names a grand total by the line it adds: rowGrandTotals is the total row at the bottom (the
    // automation's ColumnGrand), colGrandTotals the total column at the right (its RowGrand).
    if (!def.columnGrand) w.Attr("rowGrandTotals", 0);
    if (!def.rowGrand) w.Attr("colGrandTotals", 0);
    w.Open("location")
        .Attr("ref", CellRef(m.firstRow, m.firstColumn) + ":" +
                         CellRef(m.firstRow + m.rows - 1, m.firstColumn + m.columns - 1))
        .Attr("firstHeaderRow", m.firstHeaderRow)
        .Attr("firstDataRow", m.firstDataRow)
        .Attr("firstDataCol", m.firstDataColumn)
        .Close();
    w.Open("pivotFields").Attr("count", static_cast<long long>(m.fields.size()));
    for (std::size_t f = 0; f < m.fields.size(); ++f) {
        const int fi = static_cast<int>(f);
        const auto in = [fi](const std::vector<int>& v) {
            return std::find(v.begin(), v.end(), fi) != v.end();
        };
        w.Open("pivotField");
        if (in(def.rowFields)) w.Attr("axis", "axisRow");
        if (in(def.columnFields)) w.Attr("axis", "axisCol");
        if (in(def.dataFields)) w.Attr("dataField", 1);
        w.Attr("compact", 0).Attr("outline", 0).Attr("showAll", 0);
        if (!def.subtotals[f]) w.Attr("defaultSubtotal", 0);
        if (m.fields[f].axis) {
            const std::size_t n = m.fields[f].items.size();
            w.Open("items").Attr("count", static_cast<long long>(n + (def.subtotals[f] ? 1 : 0)));
            for (std::size_t i = 0; i < n; ++i) w.Open("item").Attr("x", static_cast<long long>(i)).Close();
            if (def.subtotals[f]) w.Open("item").Attr("t", "default").Close();
            w.Close();
        }
        w.Close();
    }
    w.Close();
    const auto fieldList = [&](const char* tag, const std::vector<int>& fields) {
        if (fields.empty()) return;
        w.Open(tag).Attr("count", static_cast<long long>(fields.size()));
        for (int f : fields) w.Open("field").Attr("x", f).Close();
        w.Close();
    };
    fieldList("rowFields", def.rowFields);
    WriteAxisItems(w, "rowItems", m.rowLines);
    fieldList("colFields", def.columnFields);
    WriteAxisItems(w, "colItems", m.columnLines);
    if (!def.dataFields.empty()) {
        w.Open("dataFields").Attr("count", 1);
        w.Open("dataField").Attr("name", m.dataCaption).Attr("fld", def.dataFields.front());
        w.Attr("baseField", 0).Attr("baseItem", 0).Close();
        w.Close();
    }
    w.Open("pivotTableStyleInfo").Attr("name", "PivotStyleLight16").Attr("showRowHeaders", 1);
    w.Attr("showColHeaders", 1).Attr("showRowStripes", 0).Attr("showColStripes", 0).Attr("showLastColumn", 1);
    w.Close();
    w.Close();
}

}  // namespace corv::xlsx
