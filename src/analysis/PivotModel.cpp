#include "analysis/PivotModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "analysis/XmlWriter.h"
#include "engine/CorvError.h"

namespace corv {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The spreadsheet's item order: numbers, then text without regard to case, then booleans, blanks last.
int Compare(const CacheValue& a, const CacheValue& b) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    switch (a.kind) {
        case CacheValue::Number:
        case CacheValue::Boolean:
            return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
        case CacheValue::Text: {
            const std::size_t n = std::min(a.text.size(), b.text.size());
            for (std::size_t i = 0; i < n; ++i) {
                const char x = Lower(a.text[i]), y = Lower(b.text[i]);
                if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
            }
            return a.text.size() < b.text.size() ? -1 : a.text.size() > b.text.size() ? 1 : 0;
        }
        case CacheValue::Blank:
            return 0;
    }
    return 0;
}

CacheValue Read(const Worksheet& sheet, long row, long column) {
    CacheValue v;
    const StoredCell* cell = sheet.At(row, column);
    if (!cell) return v;
    switch (cell->kind) {
        case StoredKind::Empty:
            break;
        case StoredKind::Text:
            v.kind = CacheValue::Text;
            v.text = sheet.Text(*cell);
            break;
        case StoredKind::Boolean:
            v.kind = CacheValue::Boolean;
            v.number = cell->number;
            break;
        default:
            v.kind = CacheValue::Number;
            v.number = cell->number;
            break;
    }
    return v;
}

struct ItemKeyHash {
    std::size_t operator()(const CacheValue& v) const {
        std::size_t h = std::hash<int>()(v.kind);
        if (v.kind == CacheValue::Text) {
            for (char c : v.text) h = h * 131 + static_cast<unsigned char>(Lower(c));
        } else {
            h ^= std::hash<double>()(v.number);
        }
        return h;
    }
};
struct ItemKeyEqual {
    bool operator()(const CacheValue& a, const CacheValue& b) const { return Compare(a, b) == 0; }
};

void Enumerate(CacheField& field) {
    std::unordered_map<CacheValue, std::uint32_t, ItemKeyHash, ItemKeyEqual> seen;
    std::vector<CacheValue> firstSeen;
    for (std::uint32_t& item : field.ofRecord) {
        // ofRecord holds the record's row offset on entry; the first spelling of a value names its item.
        const CacheValue& v = field.items[item];
        auto [it, added] = seen.emplace(v, static_cast<std::uint32_t>(firstSeen.size()));
        if (added) firstSeen.push_back(v);
        item = it->second;
    }
    std::vector<std::uint32_t> order(firstSeen.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return Compare(firstSeen[a], firstSeen[b]) < 0; });
    std::vector<std::uint32_t> rank(order.size());
    field.items.clear();
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        rank[order[i]] = i;
        field.items.push_back(firstSeen[order[i]]);
    }
    for (std::uint32_t& item : field.ofRecord) item = rank[item];
}

struct AxisLines {
    std::vector<PivotLine> lines;
    std::vector<std::uint32_t> dataLineOfRecord;
    std::vector<std::vector<std::uint32_t>> contributes;  // per line: the lines its records also count in
};

AxisLines BuildAxis(const PivotModel& m, const std::vector<int>& axis, const std::vector<bool>& subtotals,
                    bool grand) {
    AxisLines out;
    const std::size_t n = static_cast<std::size_t>(m.recordCount);
    out.dataLineOfRecord.assign(n, 0);
    if (axis.empty()) {
        out.lines.push_back({});
        out.contributes.push_back({0});
        return out;
    }
    const auto member = [&](std::size_t record, std::size_t depth) {
        return m.fields[axis[depth]].ofRecord[record];
    };
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t d = 0; d < axis.size(); ++d)
            if (member(a, d) != member(b, d)) return member(a, d) < member(b, d);
        return false;
    });
    const std::size_t k = axis.size();
    std::vector<std::uint32_t> previous;
    const auto closeGroups = [&](std::size_t downTo) {
        for (std::size_t d = k - 1; d-- > downTo;) {
            if (!subtotals[axis[d]]) continue;
            PivotLine line{
                PivotLine::Subtotal, {previous.begin(), previous.begin() + d + 1}, static_cast<int>(d)};
            out.lines.push_back(std::move(line));
            out.contributes.push_back({});
        }
    };
    // Subtotal lines come after their group, so a data line's subtotals are linked once they are made.
    std::vector<std::pair<std::uint32_t, std::size_t>> pendingLinks;  // data line, depth
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t r = order[i];
        std::vector<std::uint32_t> tuple(k);
        for (std::size_t d = 0; d < k; ++d) tuple[d] = member(r, d);
        if (i == 0 || tuple != previous) {
            std::size_t common = 0;
            if (i > 0) {
                while (common < k && tuple[common] == previous[common]) ++common;
                const std::size_t before = out.lines.size();
                closeGroups(common);
                // Link the data lines of the closed groups to their subtotal lines.
                for (std::size_t li = before; li < out.lines.size(); ++li) {
                    const std::size_t depth = static_cast<std::size_t>(out.lines[li].repeated);
                    for (auto& [dataLine, d] : pendingLinks)
                        if (d == depth) out.contributes[dataLine].push_back(static_cast<std::uint32_t>(li));
                    std::erase_if(pendingLinks, [&](const auto& p) { return p.second == depth; });
                }
            }
            const std::uint32_t lineIndex = static_cast<std::uint32_t>(out.lines.size());
            int repeated = 0;
            if (!out.lines.empty()) {
                const auto& prev = out.lines.back().members;
                while (static_cast<std::size_t>(repeated) < std::min(prev.size(), k) &&
                       prev[repeated] == tuple[repeated])
                    ++repeated;
            }
            out.lines.push_back({PivotLine::Data, tuple, repeated});
            out.contributes.push_back({lineIndex});
            for (std::size_t d = 0; d + 1 < k; ++d)
                if (subtotals[axis[d]]) pendingLinks.emplace_back(lineIndex, d);
            previous = tuple;
        }
        // Subtotal lines are made only when the tuple changes, so the last line is the record's.
        out.dataLineOfRecord[r] = static_cast<std::uint32_t>(out.lines.size() - 1);
    }
    {
        const std::size_t before = out.lines.size();
        closeGroups(0);
        for (std::size_t li = before; li < out.lines.size(); ++li) {
            const std::size_t depth = static_cast<std::size_t>(out.lines[li].repeated);
            for (auto& [dataLine, d] : pendingLinks)
                if (d == depth) out.contributes[dataLine].push_back(static_cast<std::uint32_t>(li));
            std::erase_if(pendingLinks, [&](const auto& p) { return p.second == depth; });
        }
    }
    if (grand && n > 0) {
        const std::uint32_t g = static_cast<std::uint32_t>(out.lines.size());
        out.lines.push_back({PivotLine::Grand, {0}, 0});
        out.contributes.push_back({});
        for (std::size_t li = 0; li < g; ++li)
            if (out.lines[li].type == PivotLine::Data) out.contributes[li].push_back(g);
    }
    return out;
}

void SetLabel(Worksheet& sheet, long row, long column, const CacheValue& v, const char* suffix) {
    std::string text;
    switch (v.kind) {
        case CacheValue::Number:
            if (!*suffix) return sheet.SetNumber(row, column, v.number);
            AppendNumber(text, v.number);
            break;
        case CacheValue::Text:
            text = v.text;
            break;
        case CacheValue::Boolean:
            text = v.number != 0 ? "TRUE" : "FALSE";
            break;
        case CacheValue::Blank:
            text = "(blank)";
            break;
    }
    sheet.SetText(row, column, text + suffix);
}

}  // namespace

std::string CellRef(long row, long column) {
    std::string letters;
    for (long c = column; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

PivotModel BuildPivotModel(const Workbook& book, const PivotTableDef& def) {
    const int sheetIndex = book.SheetIndex(def.source.sheet);
    if (sheetIndex < 0)
        throw CorvError(kSpreadsheetError,
                        "The pivot table's source sheet \"" + def.source.sheet + "\" is gone.");
    const Worksheet& src = *book.sheets[sheetIndex];
    PivotModel m;
    m.recordCount = def.source.lastRow - def.source.firstRow;
    const std::size_t n = static_cast<std::size_t>(m.recordCount);
    for (std::size_t f = 0; f < def.fields.size(); ++f) {
        CacheField field;
        field.name = def.fields[f];
        const int fi = static_cast<int>(f);
        field.axis = std::count(def.rowFields.begin(), def.rowFields.end(), fi) ||
                     std::count(def.columnFields.begin(), def.columnFields.end(), fi);
        const long column = def.source.firstColumn + static_cast<long>(f);
        bool first = true;
        if (field.axis) field.ofRecord.reserve(n);
        for (std::size_t r = 0; r < n; ++r) {
            const CacheValue v = Read(src, def.source.firstRow + 1 + static_cast<long>(r), column);
            switch (v.kind) {
                case CacheValue::Number:
                    field.hasNumber = true;
                    if (v.number != std::floor(v.number)) field.allIntegers = false;
                    field.minValue = first ? v.number : std::min(field.minValue, v.number);
                    field.maxValue = first ? v.number : std::max(field.maxValue, v.number);
                    first = false;
                    break;
                case CacheValue::Text:
                    field.hasText = true;
                    break;
                case CacheValue::Boolean:
                    field.hasBoolean = true;
                    break;
                case CacheValue::Blank:
                    field.hasBlank = true;
                    break;
            }
            if (field.axis) {
                field.ofRecord.push_back(static_cast<std::uint32_t>(field.items.size()));
                field.items.push_back(v);
            }
        }
        if (field.axis) Enumerate(field);
        m.fields.push_back(std::move(field));
    }

    const AxisLines rows = BuildAxis(m, def.rowFields, def.subtotals, def.columnGrand);
    const AxisLines cols = BuildAxis(m, def.columnFields, def.subtotals, def.rowGrand);
    m.rowLines = rows.lines;
    m.columnLines = cols.lines;
    if (!def.dataFields.empty()) {
        const int data = def.dataFields.front();
        m.dataCaption = "Sum of " + def.fields[data];
        const std::uint64_t width = m.columnLines.size();
        for (std::size_t r = 0; r < n; ++r) {
            const CacheValue v =
                Read(src, def.source.firstRow + 1 + static_cast<long>(r), def.source.firstColumn + data);
            const double add = v.kind == CacheValue::Number ? v.number : 0;
            for (std::uint32_t rl : rows.contributes[rows.dataLineOfRecord[r]])
                for (std::uint32_t cl : cols.contributes[cols.dataLineOfRecord[r]])
                    m.sums[rl * width + cl] += add;
        }
    }
    const long R = static_cast<long>(def.rowFields.size());
    const long C = static_cast<long>(def.columnFields.size());
    m.firstHeaderRow = 1;
    m.firstDataRow = C == 0 ? 1 : static_cast<int>(C + 1);
    m.firstDataColumn = static_cast<int>(std::max(R, 1L));
    m.rows = m.firstDataRow + static_cast<long>(m.rowLines.size());
    m.columns = m.firstDataColumn + static_cast<long>(m.columnLines.size());
    return m;
}

void RenderPivot(const PivotModel& m, const PivotTableDef& def, Worksheet& sheet) {
    const long top = m.firstRow, left = m.firstColumn;
    const auto at = [&](long r, long c, std::string_view text) { sheet.SetText(top + r, left + c, text); };
    const long C = static_cast<long>(def.columnFields.size());
    if (C == 0) {
        for (std::size_t i = 0; i < def.rowFields.size(); ++i)
            at(0, static_cast<long>(i), def.fields[def.rowFields[i]]);
        if (!m.dataCaption.empty()) at(0, m.firstDataColumn, m.dataCaption);
    } else {
        if (!m.dataCaption.empty()) at(0, 0, m.dataCaption);
        for (long j = 0; j < C; ++j) at(0, m.firstDataColumn + j, def.fields[def.columnFields[j]]);
        for (std::size_t i = 0; i < def.rowFields.size(); ++i)
            at(C, static_cast<long>(i), def.fields[def.rowFields[i]]);
    }
    const auto label = [&](const std::vector<int>& axis, const PivotLine& line, long r, long c,
                           bool alongRow) {
        const auto place = [&](long depth) {
            return alongRow ? std::pair{r, c + depth} : std::pair{r + depth, c};
        };
        if (line.type == PivotLine::Grand) {
            auto [pr, pc] = place(0);
            return at(pr, pc, "Grand Total");
        }
        const std::size_t from =
            line.type == PivotLine::Data ? static_cast<std::size_t>(line.repeated) : line.members.size() - 1;
        for (std::size_t d = from; d < line.members.size(); ++d) {
            auto [pr, pc] = place(static_cast<long>(d));
            SetLabel(sheet, top + pr, left + pc, m.fields[axis[d]].items[line.members[d]],
                     line.type == PivotLine::Subtotal ? " Total" : "");
        }
    };
    if (!def.columnFields.empty())
        for (std::size_t k = 0; k < m.columnLines.size(); ++k)
            label(def.columnFields, m.columnLines[k], 1, m.firstDataColumn + static_cast<long>(k), false);
    if (!def.rowFields.empty())
        for (std::size_t i = 0; i < m.rowLines.size(); ++i)
            label(def.rowFields, m.rowLines[i], m.firstDataRow + static_cast<long>(i), 0, true);
    const std::uint64_t width = m.columnLines.size();
    for (const auto& [key, sum] : m.sums)
        sheet.SetNumber(top + m.firstDataRow + static_cast<long>(key / width),
                        left + m.firstDataColumn + static_cast<long>(key % width), sum);
}

}  // namespace corv
