#include "viewer/CellFormatter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include <QDate>
#include <QTime>

namespace corv {

namespace {

// Two-digit years make old and new rounds of a long auction look alike.
QString WidenYear(QString format) {
    if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

int Digits(const std::string& s, size_t pos, size_t n, bool& ok) {
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') {
            ok = false;
            return 0;
        }
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// The system locale answers every query through a locked lookup; the same locale built from its own
// data answers from tables, which matters when a million cells are formatted.
QLocale Concrete(const QLocale& locale) {
    if (locale.language() == QLocale::C) return QLocale::c();
    return QLocale(locale.language(), locale.script(), locale.territory());
}

}  // namespace

namespace {

// The whole part and exactly two decimals of |value|, rounded half away from zero as written: the whole
// part is wholeLen digits from first, followed by the two decimals.
struct TwoDecimals {
    std::string digits;
    std::size_t first = 0;
    std::size_t wholeLen = 0;
    bool zeroWhole = false;
    bool zero = false;
};

TwoDecimals TwoDecimalDigits(double value) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    const char* end = res.ptr;
    const char* begin = buf;
    const char* dot = std::find(begin, end, '.');
    TwoDecimals t;
    std::string& digits = t.digits;
    digits.assign(begin, dot);
    const char* frac = dot == end ? end : dot + 1;
    for (int i = 0; i < 2; ++i) digits += frac + i < end ? frac[i] : '0';
    if (frac + 2 < end && frac[2] >= '5') {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    while (t.first + 3 < digits.size() && digits[t.first] == '0') ++t.first;
    t.wholeLen = digits.size() - 2 - t.first;
    t.zeroWhole = t.wholeLen == 1 && digits[t.first] == '0';
    t.zero = t.zeroWhole && digits[digits.size() - 2] == '0' && digits[digits.size() - 1] == '0';
    return t;
}

}  // namespace

QString FormatTwoDecimals(double value, const QString& group, const QString& decimal, const QString& minus,
                          bool leadingZero) {
    const TwoDecimals t = TwoDecimalDigits(value);
    const std::string& digits = t.digits;
    QString out;
    out.reserve(static_cast<qsizetype>(digits.size() + digits.size() / 3 + 2));
    if (value < 0 && !t.zero) out += minus;
    if (!t.zeroWhole || leadingZero) {
        for (std::size_t i = 0; i < t.wholeLen; ++i) {
            if (i > 0 && (t.wholeLen - i) % 3 == 0) out += group;
            out += QLatin1Char(digits[t.first + i]);
        }
    }
    out += decimal;
    out += QLatin1Char(digits[digits.size() - 2]);
    out += QLatin1Char(digits[digits.size() - 1]);
    return out;
}

double TwoDecimalsValue(double value) {
    // A whole-column total calls this for every cell. Away from a tie, rounding value * 100 to a whole
    // number rounds the written digits alike, and r / 100 is the double nearest the two-decimal number, as
    // reading it back gives.
    const double x = std::fabs(value) * 100;
    if (x < 0x1p52) {
        const double whole = std::floor(x);
        if (std::fabs(x - whole - 0.5) > 4 * (std::nextafter(x, INFINITY) - x)) {
            const double r = x - whole > 0.5 ? whole + 1 : whole;
            if (r == 0) return 0;
            return value < 0 ? -(r / 100) : r / 100;
        }
    }
    const TwoDecimals t = TwoDecimalDigits(value);
    std::string text = value < 0 && !t.zero ? "-" : "";
    text.append(t.digits, t.first, t.wholeLen);
    text += '.';
    text.append(t.digits, t.digits.size() - 2, 2);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

CellKind CellKindOf(const FieldInfo& field) {
    FieldType t = field.type;
    if (t == FieldType::Unknown) t = FieldTypeFromDeclared(field.declaredType);
    switch (t) {
        case FieldType::Boolean:
            return CellKind::Boolean;
        case FieldType::Byte:
        case FieldType::Integer:
        case FieldType::Long:
            return CellKind::Whole;
        case FieldType::Currency:
            return CellKind::Currency;
        case FieldType::Single:
            return CellKind::Single;
        case FieldType::Double:
        case FieldType::Numeric:
            return CellKind::Double;
        case FieldType::DateTime:
            return CellKind::DateTime;
        case FieldType::Binary:
        case FieldType::LongBinary:
            return CellKind::Binary;
        case FieldType::Text:
        case FieldType::Memo:
        case FieldType::Guid:
            return CellKind::Text;
        case FieldType::Unknown:
            break;
    }
    return CellKind::Auto;
}

bool IsNumericKind(CellKind kind) {
    return kind == CellKind::Whole || kind == CellKind::Double || kind == CellKind::Single ||
           kind == CellKind::Currency || kind == CellKind::DateTime;
}

CellFormatter::CellFormatter(const QLocale& locale) : plain_(Concrete(locale)), grouped_(plain_) {
    plain_.setNumberOptions(QLocale::OmitGroupSeparator);
    grouped_.setNumberOptions(QLocale::DefaultNumberOptions);
    group_ = grouped_.groupSeparator();
    decimal_ = grouped_.decimalPoint();
    minus_ = grouped_.negativeSign();
    dateFormat_ = WidenYear(grouped_.dateFormat(QLocale::ShortFormat));
    timeFormat_ = grouped_.timeFormat(QLocale::ShortFormat);
    plainDigits_ = plain_.zeroDigit() == u"0" && decimal_.size() == 1 && minus_.size() == 1;
    timeFormatSeconds_ = timeFormat_;
    if (!timeFormatSeconds_.contains(u's'))
        timeFormatSeconds_.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
}

QString CellFormatter::FormatNumber(const Value& value, int significantDigits) const {
    if (value.isInteger()) return QString::number(value.asInteger());
    const double d = value.asDouble();
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
        return QString::number(static_cast<std::int64_t>(d));
    return plain_.toString(d, 'g', significantDigits);
}

std::optional<double> CellFormatter::ShownNumber(const Value& value, CellKind kind) const {
    if (!plainDigits_ || kind == CellKind::DateTime || kind == CellKind::Boolean) return std::nullopt;
    // A whole number is written in full (or with .00), which reads back as the nearest double.
    if (value.isInteger()) return static_cast<double>(value.asInteger());
    if (!value.isReal()) return std::nullopt;
    const double d = value.asDouble();
    if (!std::isfinite(d)) return std::nullopt;
    if (d == std::trunc(d) && std::fabs(d) < 1e15) return d;
    if (kind == CellKind::Currency) return TwoDecimalsValue(d);
    // The locale writes the same correctly rounded significant digits.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general,
                                   kind == CellKind::Single ? 7 : 15);
    double shown = 0;
    std::from_chars(buf, res.ptr, shown);
    return shown;
}

QString CellFormatter::FormatDate(const Value& value) const {
    QDate date;
    QTime time(0, 0);
    if (value.isText()) {
        // The engine keeps dates as "YYYY-MM-DD HH:MM:SS".
        const std::string& s = value.text();
        bool ok = s.size() >= 10 && s[4] == '-' && s[7] == '-';
        const int y = Digits(s, 0, 4, ok), mo = Digits(s, 5, 2, ok), d = Digits(s, 8, 2, ok);
        if (ok) date = QDate(y, mo, d);
        if (ok && s.size() >= 19) {
            const int h = Digits(s, 11, 2, ok), mi = Digits(s, 14, 2, ok), se = Digits(s, 17, 2, ok);
            if (ok) time = QTime(h, mi, se);
        }
        if (!ok || !date.isValid() || !time.isValid()) return QString::fromStdString(s);
    } else {
        // A day count from 30 December 1899, the fraction being the time of day.
        const double serial = value.asDouble();
        if (!std::isfinite(serial) || std::fabs(serial) > 3e6) return FormatNumber(value, 15);
        const double days = std::trunc(serial);
        date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
        const int secs = static_cast<int>(std::lround(std::fabs(serial - days) * 86400.0));
        time = QTime(0, 0).addSecs(secs % 86400);
    }
    if (time == QTime(0, 0)) return grouped_.toString(date, dateFormat_);
    const QString& tf = time.second() != 0 ? timeFormatSeconds_ : timeFormat_;
    return grouped_.toString(date, dateFormat_) + u' ' + grouped_.toString(time, tf);
}

QString CellFormatter::Format(const Value& value, CellKind kind) const {
    if (value.isNull()) return {};
    if (value.isBlob()) return QStringLiteral("(binary)");
    switch (kind) {
        case CellKind::Text:
        case CellKind::Binary:
        case CellKind::Auto:
            if (value.isText()) return QString::fromStdString(value.text());
            return FormatNumber(value, 15);
        case CellKind::Whole:
        case CellKind::Double:
            if (value.isText()) return QString::fromStdString(value.text());
            return FormatNumber(value, 15);
        case CellKind::Single:
            if (value.isText()) return QString::fromStdString(value.text());
            return FormatNumber(value, 7);
        case CellKind::Currency:
            if (value.isText()) return QString::fromStdString(value.text());
            if (!std::isfinite(value.asDouble())) return FormatNumber(value, 15);
            return FormatTwoDecimals(value.asDouble(), group_, decimal_, minus_, true);
        case CellKind::DateTime:
            return FormatDate(value);
        case CellKind::Boolean:
            if (value.isText()) return QString::fromStdString(value.text());
            return value.asDouble() != 0 ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

}  // namespace corv
