#include "analysis/Workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "engine/CorvError.h"

namespace corv {

namespace {

// Widest column the spreadsheet allows, in characters.
constexpr std::size_t kMaxWidth = 255;

std::size_t CodePoints(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

std::size_t NumberChars(double v, bool money) {
    char buf[64];
    if (money) {
        const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed, 2);
        const std::size_t whole = static_cast<std::size_t>(res.ptr - buf) - 3;
        return whole + (whole - 1) / 3 + 3 + (v < 0);
    }
    return static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
}

long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

bool Digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    const auto res = std::from_chars(s.data() + pos, s.data() + pos + n, out);
    return res.ec == std::errc() && res.ptr == s.data() + pos + n;
}

}  // namespace

bool DateSerial(std::string_view text, double& serial, bool& hasTime) {
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, y) ||
        !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    if (text.size() > 10) {
        if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':' ||
            !Digits(text, 11, 2, h) || !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, se) || h > 23 ||
            mi > 59 || se > 59)
            return false;
    }
    const long days = DaysFromCivil(y, mo, d) - DaysFromCivil(1899, 12, 30);
    if (days < 61) return false;
    serial = static_cast<double>(days) + (h * 3600 + mi * 60 + se) / 86400.0;
    hasTime = h != 0 || mi != 0 || se != 0;
    return true;
}

StoredCell& Worksheet::Slot(long row, long column) {
    if (row < 1 || column < 1 || row > kMaxSheetRows || column > kMaxSheetColumns)
        throw CorvError(kSpreadsheetError, "Cell (" + std::to_string(row) + ", " + std::to_string(column) +
                                               ") lies outside a worksheet, which has " +
                                               std::to_string(kMaxSheetRows) + " rows and " +
                                               std::to_string(kMaxSheetColumns) + " columns.");
    if (static_cast<std::size_t>(row) > rows_.size()) rows_.resize(row);
    std::vector<StoredCell>& cells = rows_[row - 1];
    if (static_cast<std::size_t>(column) > cells.size()) cells.resize(column);
    if (static_cast<std::size_t>(column) > widths_.size()) widths_.resize(column, 0);
    return cells[column - 1];
}

void Worksheet::Widen(long column, std::size_t chars) {
    std::uint16_t& w = widths_[column - 1];
    w = static_cast<std::uint16_t>(std::max<std::size_t>(w, std::min(chars, kMaxWidth)));
}

const StoredCell* Worksheet::At(long row, long column) const {
    if (row < 1 || row > RowCount()) return nullptr;
    const std::vector<StoredCell>& cells = rows_[row - 1];
    if (column < 1 || static_cast<std::size_t>(column) > cells.size()) return nullptr;
    return &cells[column - 1];
}

void Worksheet::SetNumber(long row, long column, double number) {
    StoredCell& cell = Slot(row, column);
    cell.kind = StoredKind::Number;
    cell.number = number;
    Widen(column, NumberChars(number, false));
}

void Worksheet::SetText(long row, long column, std::string_view text) {
    StoredCell& cell = Slot(row, column);
    if (arena_.size() + text.size() > UINT32_MAX)
        throw CorvError(7, "Out of memory: the sheet's text passes 4 GB.");
    cell.kind = StoredKind::Text;
    cell.text.offset = static_cast<std::uint32_t>(arena_.size());
    cell.text.length = static_cast<std::uint32_t>(text.size());
    arena_.append(text);
    Widen(column, CodePoints(text));
}

void Worksheet::Set(long row, long column, const SheetValue& in) {
    const Value& v = in.value;
    if (v.isNull()) {
        Slot(row, column).kind = StoredKind::Empty;
        return;
    }
    if (v.isBlob()) return SetText(row, column, "(binary)");
    if (v.isText()) {
        double serial;
        bool hasTime;
        if (in.type == FieldType::DateTime && DateSerial(v.text(), serial, hasTime)) {
            StoredCell& cell = Slot(row, column);
            cell.kind = hasTime ? StoredKind::DateTime : StoredKind::Date;
            cell.number = serial;
            Widen(column, hasTime ? 19 : 10);
            return;
        }
        return SetText(row, column, v.text());
    }
    const double number = v.asDouble();
    StoredCell& cell = Slot(row, column);
    cell.number = number;
    if (in.type == FieldType::Boolean) {
        cell.kind = StoredKind::Boolean;
        cell.number = number != 0;
        Widen(column, 5);
    } else if (in.type == FieldType::Currency) {
        cell.kind = StoredKind::Currency;
        Widen(column, NumberChars(number, true));
    } else {
        cell.kind = StoredKind::Number;
        Widen(column, NumberChars(number, false));
    }
}

Workbook::Workbook() {
    sheets.push_back(std::make_unique<Worksheet>("Sheet1"));
}

namespace {
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}
}  // namespace

int Workbook::SheetIndex(std::string_view name) const {
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (SameName(sheets[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

std::string Workbook::NewSheetName() const {
    for (int n = 1;; ++n) {
        std::string name = "Sheet" + std::to_string(n);
        if (SheetIndex(name) < 0) return name;
    }
}

}  // namespace corv
