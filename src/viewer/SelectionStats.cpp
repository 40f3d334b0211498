#include "viewer/SelectionStats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/CorvError.h"
#include "viewer/CellFormatter.h"

namespace corv {

QString FormatStatistic(double value, const QLocale& locale) {
    if (!std::isfinite(value)) throw CorvError(6, "Overflow");
    return FormatTwoDecimals(value, locale.groupSeparator(), locale.decimalPoint(), locale.negativeSign(),
                             false);
}

namespace {

QChar SingleChar(const QString& s) {
    return s.size() == 1 ? s[0] : QChar();
}

[[noreturn]] void TypeMismatch() {
    throw CorvError(err::TypeMismatch, "Type mismatch");
}

}  // namespace

NumberReader::NumberReader(const QLocale& locale)
    : locale_(locale),
      decimal_(SingleChar(locale.decimalPoint())),
      group_(SingleChar(locale.groupSeparator())),
      minus_(SingleChar(locale.negativeSign())) {}

double NumberReader::Read(const QString& text) const {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].isSpace()) ++begin;
    while (end > begin && text[end - 1].isSpace()) --end;
    if (begin == end) TypeMismatch();

    // Plain digits with separators are read here; anything else (exponents, other digit sets) goes to
    // the locale's own conversion.
    char buf[80];
    int n = 0;
    bool fast = !decimal_.isNull() && end - begin < 70;
    bool afterDecimal = false;
    for (qsizetype i = begin; fast && i < end; ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            buf[n++] = static_cast<char>(c.unicode());
        } else if (c == decimal_ && !afterDecimal) {
            buf[n++] = '.';
            afterDecimal = true;
        } else if (c == group_ && !afterDecimal && n > 0 && buf[n - 1] != '-') {
            continue;
        } else if ((c == u'-' || c == minus_) && i == begin) {
            buf[n++] = '-';
        } else if (c == u'+' && i == begin) {
            continue;
        } else {
            fast = false;
        }
    }
    double d = 0;
    if (fast) {
        const auto res = std::from_chars(buf, buf + n, d);
        if (res.ec != std::errc() || res.ptr != buf + n) TypeMismatch();
    } else {
        bool ok = false;
        d = locale_.toDouble(text.mid(begin, end - begin), &ok);
        if (!ok) TypeMismatch();
    }
    if (!std::isfinite(d)) TypeMismatch();
    return d;
}

double CellTextToDouble(const QString& text, const QLocale& locale) {
    return NumberReader(locale).Read(text);
}

std::optional<QString> ComputeSelectionText(const std::vector<SelectionBlock>& blocks,
                                            const CellTextReader& cellText, const QString& operation,
                                            const QLocale& locale, const ColumnNumberReader& readColumn) {
    if (blocks.empty()) return std::nullopt;

    double sum = 0;
    std::int32_t count = 0;
    const int column = blocks.front().firstColumn;
    const NumberReader reader(locale);
    try {
        if (blocks.front().lastColumn != column) return QStringLiteral("0");
        bool wholeColumn = false;
        for (const SelectionBlock& block : blocks) {
            if (block.firstColumn != column || block.lastColumn != column) return QStringLiteral("0");
            wholeColumn = block.firstRow == -1;
            if (wholeColumn) continue;
            for (int row = block.firstRow; row <= block.lastRow; ++row) {
                sum += reader.Read(cellText(column, row));
                ++count;
            }
        }
        // Only the last block decides: a whole column replaces whatever the blocks before it gathered.
        if (wholeColumn) {
            sum = 0;
            count = 0;
            if (readColumn) {
                readColumn(column, [&sum, &count](double d) {
                    sum += d;
                    ++count;
                });
            }
            for (int row = 0; !readColumn; ++row) {
                const QString text = cellText(column, row);
                if (text.isEmpty()) break;
                sum += reader.Read(text);
                ++count;
            }
        }
    } catch (const CorvError& e) {
        if (e.number() == err::TypeMismatch) return QStringLiteral("0");
        throw;
    }

    double value = 0;
    if (operation == u"Sum") {
        value = sum;
    } else if (operation == u"Average") {
        if (count == 0) throw CorvError(err::DivisionByZero, "Division by zero");
        value = sum / count;
    } else if (operation == u"Count") {
        value = count;
    } else {
        return std::nullopt;
    }
    return FormatStatistic(value, locale);
}

}  // namespace corv
