#include "platform/qt/SystemJetLocale.h"

namespace corv {

namespace {

// A Qt date or time pattern in Format's codes. Qt's minutes are m, Format's n; letters Qt takes literally
// are escaped. Milliseconds and time zones have no code and are left out.
std::string FormatCodes(const QString& qt) {
    std::string out;
    for (qsizetype i = 0; i < qt.size();) {
        const QChar c = qt[i];
        qsizetype run = 1;
        while (i + run < qt.size() && qt[i + run] == c) ++run;
        const std::string letters(static_cast<size_t>(run), c.toLatin1());
        if (c == u'\'') {
            const qsizetype close = qt.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? qt.size() : close;
            if (end == i + 1) {
                out += "\\'";  // '' stands for one quote
            } else {
                out += '"' + qt.mid(i + 1, end - i - 1).toStdString() + '"';
            }
            i = end + 1;
            continue;
        }
        if (c == u'd' || c == u'y' || c == u'h' || c == u's') {
            out += letters;
        } else if (c == u'M') {
            out += std::string(static_cast<size_t>(run), 'm');
        } else if (c == u'H') {
            out += std::string(static_cast<size_t>(run), 'h');
        } else if (c == u'm') {
            out += std::string(static_cast<size_t>(run), 'n');
        } else if (c == u'A' || c == u'a') {
            out += "AMPM";
            if (i + 1 < qt.size() && (qt[i + 1] == u'P' || qt[i + 1] == u'p')) ++run;
        } else if (c == u'z' || c == u't') {
        } else if (c.isLetter() || c == u'"' || c == u'\\') {
            for (qsizetype k = 0; k < run; ++k) out += '\\' + QString(c).toStdString();
        } else {
            out += QString(run, c).toStdString();
        }
        i += run;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The first character between the codes of a pattern, e.g. "/" of "M/d/yy".
std::string SeparatorOf(const QString& pattern, const std::string& fallback) {
    for (QChar c : pattern)
        if (!c.isLetter() && c != u'\'' && !c.isSpace()) return QString(c).toStdString();
    return fallback;
}

}  // namespace

JetLocale JetLocaleOf(const QLocale& locale) {
    JetLocale out;
    out.decimalPoint = locale.decimalPoint().toStdString();
    out.groupSeparator = locale.groupSeparator().toStdString();
    // The amount as Qt places it beside the symbol; a negative amount in parentheses, as Jet shows it.
    const QString one = locale.toCurrencyString(1.0, locale.currencySymbol(), 0);
    const qsizetype digit = one.indexOf(u'1');
    if (digit >= 0) {
        out.currencyPositive = (one.left(digit) + u'#' + one.mid(digit + 1)).toStdString();
        out.currencyNegative = "(" + out.currencyPositive + ")";
    }
    // Qt's short forms mostly carry two-digit years; an auction's dates read unambiguously with four.
    QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    if (!shortDate.contains(QStringLiteral("yyyy")))
        shortDate.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    out.dateSeparator = SeparatorOf(shortDate, out.dateSeparator);
    out.timeSeparator = SeparatorOf(locale.timeFormat(QLocale::LongFormat), out.timeSeparator);
    out.shortDate = FormatCodes(shortDate);
    out.longDate = FormatCodes(locale.dateFormat(QLocale::LongFormat));
    out.longTime = FormatCodes(locale.timeFormat(QLocale::LongFormat));
    out.amText = locale.amText().toStdString();
    out.pmText = locale.pmText().toStdString();
    for (int m = 1; m <= 12; ++m) {
        out.monthNames[static_cast<size_t>(m - 1)] = locale.monthName(m, QLocale::LongFormat).toStdString();
        out.monthShortNames[static_cast<size_t>(m - 1)] =
            locale.monthName(m, QLocale::ShortFormat).toStdString();
    }
    for (int d = 1; d <= 7; ++d) {  // Qt counts from Monday, Jet from Sunday
        const size_t at = static_cast<size_t>(d % 7);
        out.dayNames[at] = locale.dayName(d, QLocale::LongFormat).toStdString();
        out.dayShortNames[at] = locale.dayName(d, QLocale::ShortFormat).toStdString();
    }
    out.firstDayOfWeek = static_cast<int>(locale.firstDayOfWeek()) % 7 + 1;
    return out;
}

}  // namespace corv
