// Reading a text table: its bytes, its encoding, its records (libcsv), its format and its columns' types.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/functions/JetFunctions.h"
#include "store/TextRecords.h"
#include "store/TextTableImport.h"

namespace corv::store {

namespace text {

namespace {

constexpr int kRowNotBegun = 0;  // libcsv's parser state between records

// RFC 4180 keeps the blanks of a field.
int NoSpace(unsigned char) {
    return 0;
}

}  // namespace

RecordReader::RecordReader(std::string_view text, char delimiter) : text_(text) {
    if (csv_init(&parser_, 0) != 0) throw CorvError(err::EngineFailure, "Out of memory reading the text.");
    csv_set_delim(&parser_, static_cast<unsigned char>(delimiter));
    csv_set_space_func(&parser_, NoSpace);
}

RecordReader::~RecordReader() {
    csv_free(&parser_);
}

void RecordReader::OnField(void* data, std::size_t size, void* self) {
    auto& r = *static_cast<RecordReader*>(self);
    if (r.fieldCount_ == r.fields_.size()) r.fields_.emplace_back();
    r.fields_[r.fieldCount_++].assign(static_cast<const char*>(data), size);
}

void RecordReader::OnEnd(int, void* self) {
    auto& r = *static_cast<RecordReader*>(self);
    TextRecord& record = r.ready_.emplace_back();
    record.line = r.startLine_;
    record.fields.resize(r.fieldCount_);
    for (std::size_t i = 0; i < r.fieldCount_; ++i) record.fields[i].swap(r.fields_[i]);
    r.fieldCount_ = 0;
}

void RecordReader::Feed(std::string_view piece) {
    if (csv_parse(&parser_, piece.data(), piece.size(), OnField, OnEnd, this) != piece.size())
        throw CorvError(err::EngineFailure,
                        std::string("Reading the text failed: ") + csv_strerror(csv_error(&parser_)));
}

bool RecordReader::Next(TextRecord& out) {
    while (readyFirst_ == ready_.size()) {
        if (finished_) return false;
        ready_.clear();
        readyFirst_ = 0;
        if (pos_ == text_.size()) {
            csv_fini(&parser_, OnField, OnEnd, this);
            finished_ = true;
            continue;
        }
        const std::size_t newline = text_.find('\n', pos_);
        const std::size_t end = newline == std::string_view::npos ? text_.size() : newline + 1;
        ++line_;
        if (parser_.pstate == kRowNotBegun) startLine_ = line_;
        Feed(text_.substr(pos_, end - pos_));
        pos_ = end;
    }
    out = std::move(ready_[readyFirst_++]);
    return true;
}

std::string_view Trimmed(std::string_view cell) {
    const std::size_t first = cell.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
}

std::optional<std::int64_t> WholeValue(std::string_view cell) {
    cell = Trimmed(cell);
    const std::string_view digits = cell.starts_with('-') ? cell.substr(1) : cell;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
    if (ec != std::errc() || end != cell.data() + cell.size()) return std::nullopt;
    return v;
}

std::optional<double> NumberValue(std::string_view cell) {
    cell = Trimmed(cell);
    // Only plain decimal forms: from_chars would take "inf", "nan" and hexadecimal too.
    if (cell.empty() || cell.find_first_not_of("0123456789.-eE+") != std::string_view::npos ||
        cell.find_first_of("0123456789") == std::string_view::npos)
        return std::nullopt;
    // A leading zero makes a code, as for whole numbers.
    const std::string_view digits = cell.starts_with('-') ? cell.substr(1) : cell;
    if (digits.size() > 1 && digits[0] == '0' && digits[1] >= '0' && digits[1] <= '9') return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
    if (ec != std::errc() || end != cell.data() + cell.size()) return std::nullopt;
    return v;
}

namespace {

// Reads exactly n digits at pos, or at least 1 and at most n when exact is false.
bool Digits(std::string_view s, std::size_t& pos, std::size_t n, bool exact, int& value) {
    std::size_t taken = 0;
    value = 0;
    while (taken < n && pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos++] - '0');
        ++taken;
    }
    return exact ? taken == n : taken > 0;
}

bool ValidDay(int y, int m, int d) {
    static constexpr std::array<int, 12> kDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m != 2 || d < 29 || leap;
}

}  // namespace

std::optional<std::string> DateValue(std::string_view cell) {
    cell = Trimmed(cell);
    std::size_t p = 0;
    int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    if (cell.size() >= 10 && cell[4] == '-') {
        if (!Digits(cell, p, 4, true, y) || cell[p++] != '-' || !Digits(cell, p, 2, true, m) ||
            p >= cell.size() || cell[p++] != '-' || !Digits(cell, p, 2, true, d))
            return std::nullopt;
    } else {
        if (!Digits(cell, p, 2, false, m) || p >= cell.size() || cell[p++] != '/' ||
            !Digits(cell, p, 2, false, d) || p >= cell.size() || cell[p++] != '/' ||
            !Digits(cell, p, 4, true, y))
            return std::nullopt;
    }
    if (!ValidDay(y, m, d)) return std::nullopt;
    if (p < cell.size()) {
        if (cell[p] != ' ' && cell[p] != 'T') return std::nullopt;
        ++p;
        if (!Digits(cell, p, 2, false, hh) || p >= cell.size() || cell[p++] != ':' ||
            !Digits(cell, p, 2, true, mm))
            return std::nullopt;
        if (p < cell.size() && (cell[p++] != ':' || !Digits(cell, p, 2, true, ss))) return std::nullopt;
        if (p != cell.size() || hh > 23 || mm > 59 || ss > 59) return std::nullopt;
    }
    char out[64];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh, mm, ss);
    return std::string(out);
}

}  // namespace text

namespace {

using namespace text;

// What the cells of one column have shown so far; the type is the narrowest that takes every cell.
struct TypeEvidence {
    bool any = false;
    bool whole = true;
    bool number = true;
    bool date = true;

    void See(std::string_view cell) {
        if (Trimmed(cell).empty()) return;  // an empty cell is Null in any type
        any = true;
        if (whole && !WholeValue(cell)) whole = false;
        if (number && !whole && !NumberValue(cell)) number = false;
        if (date && !DateValue(cell)) date = false;
    }
    ColumnType Type() const {
        if (!any) return ColumnType::Text;
        if (whole) return ColumnType::WholeNumber;
        if (number) return ColumnType::Number;
        if (date) return ColumnType::Date;
        return ColumnType::Text;
    }
};

bool Utf8Valid(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > 0 && i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Windows-1252's 0x80 to 0x9F; the five it leaves undefined stand for themselves.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char16_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// The candidates in the order a tie goes.
constexpr std::array<char, 3> kDelimiters = {',', '\t', ';'};
constexpr std::size_t kSampleRecords = 50;

}  // namespace

const char* ColumnTypeName(ColumnType type) {
    switch (type) {
        case ColumnType::WholeNumber:
            return "whole number";
        case ColumnType::Number:
            return "number";
        case ColumnType::Date:
            return "date";
        case ColumnType::Text:
            break;
    }
    return "text";
}

const char* EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Utf8Bom:
            return "UTF-8 with byte-order mark";
        case TextEncoding::Windows1252:
            break;
    }
    return "Windows-1252";
}

std::string LoadTextFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw CorvError(err::FileNotFound, "Could not find the file '" + path + "'.");
    if (DbEngine::HoldsDatabase(path))
        throw CorvError(err::UnrecognizedFormat, "The file '" + path + "' is a database, not a text file.");
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw CorvError(err::FileNotFoundIO, "Could not read the file '" + path + "'.");
    return bytes;
}

std::string DecodeText(std::string_view bytes, TextEncoding encoding) {
    if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
    if (encoding != TextEncoding::Windows1252) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else
            AppendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
    }
    return out;
}

TextFormat DetectFormat(std::string_view bytes) {
    TextFormat format;
    if (bytes.starts_with(kBom))
        format.encoding = TextEncoding::Utf8Bom;
    else if (!Utf8Valid(bytes))
        format.encoding = TextEncoding::Windows1252;
    // The delimiter that splits the first records most evenly into more than one field.
    const std::string sample = DecodeText(bytes.substr(0, 1 << 16), format.encoding);
    std::size_t bestScore = 0;
    for (const char delimiter : kDelimiters) {
        RecordReader reader(sample, delimiter);
        std::vector<std::size_t> widths;
        TextRecord record;
        while (widths.size() < kSampleRecords && reader.Next(record)) widths.push_back(record.fields.size());
        if (widths.size() == kSampleRecords) widths.pop_back();  // may be cut by the sample's end
        if (widths.empty() || widths.front() < 2) continue;
        const std::size_t score =
            static_cast<std::size_t>(std::count(widths.begin(), widths.end(), widths.front())) * 1000 +
            widths.front();
        if (score > bestScore) {
            bestScore = score;
            format.delimiter = delimiter;
        }
    }
    // A header: the first record is all distinct names, none of them a number or a date.
    RecordReader reader(sample, format.delimiter);
    TextRecord first;
    format.header = reader.Next(first);
    std::set<std::string> seen;
    for (const std::string& cell : first.fields) {
        TypeEvidence evidence;
        evidence.See(cell);
        if (evidence.Type() != ColumnType::Text || !evidence.any ||
            !seen.insert(JetLowerText(std::string(Trimmed(cell)))).second)
            format.header = false;
    }
    return format;
}

std::string CleanColumnName(const std::string& name) {
    std::string clean(Trimmed(name));
    for (char& c : clean)
        if (c == '[' || c == ']' || c == '.' || c == '!' || c == '`' || c == '"') c = '_';
    return clean;
}

TextScan ScanText(std::string_view text, const TextFormat& format, std::size_t rowLimit,
                  const TextProgress& progress) {
    TextScan scan;
    RecordReader reader(text, format.delimiter);
    TextRecord record;
    std::vector<TypeEvidence> evidence;
    std::size_t width = 0;
    std::size_t records = 0;
    while ((rowLimit == 0 || records < rowLimit) && reader.Next(record)) {
        if (++records % 16384 == 0 && progress && !progress(reader.Fraction()))
            throw CorvError(err::Cancelled, "The import was cancelled.");
        if (scan.empty) {
            scan.empty = false;
            width = record.fields.size();
            evidence.resize(width);
            std::set<std::string> taken;
            for (std::size_t c = 0; c < width; ++c) {
                std::string name = format.header ? CleanColumnName(record.fields[c]) : std::string();
                if (name.empty()) name = "Column " + std::to_string(c + 1);
                std::string unique = name;
                for (int n = 2; !taken.insert(JetLowerText(unique)).second; ++n)
                    unique = name + " " + std::to_string(n);
                scan.columns.push_back({unique, ColumnType::Text});
            }
            if (format.header) continue;
        }
        if (record.fields.size() != width) {
            scan.raggedLines.push_back(record.line);
            continue;
        }
        for (std::size_t c = 0; c < width; ++c) evidence[c].See(record.fields[c]);
        if (scan.preview.size() < kPreviewRows) scan.preview.push_back(record.fields);
        ++scan.rows;
    }
    for (std::size_t c = 0; c < width; ++c) scan.columns[c].type = evidence[c].Type();
    return scan;
}

}  // namespace corv::store
