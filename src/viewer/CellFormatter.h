#pragma once

#include <optional>

#include <QLocale>
#include <QString>

#include "engine/Recordset.h"
#include "engine/Value.h"

namespace corv {

// The value with exactly two decimals, thousands grouped, the decimal form rounded half away from zero as
// written (2.125 -> "2.13"). leadingZero false writes 0.5 as ".50". A value rounding to zero has no sign.
QString FormatTwoDecimals(double value, const QString& group, const QString& decimal, const QString& minus,
                          bool leadingZero);

// The number FormatTwoDecimals shows for value.
double TwoDecimalsValue(double value);

// How a column's values are shown, decided once per column from its declared type.
enum class CellKind { Auto, Text, Whole, Double, Single, Currency, DateTime, Boolean, Binary };

CellKind CellKindOf(const FieldInfo& field);
bool IsNumericKind(CellKind kind);

// Turns field values into the text the grid shows. Built once per grid: the locale and its date patterns
// are looked up here, not per cell, because whole-column statistics read a million cells as text.
class CellFormatter {
  public:
    explicit CellFormatter(const QLocale& locale = QLocale());

    // Whole numbers without decimals, Currency "1,234.50", dates in the locale's short form (the time only
    // when it is not midnight), Boolean True/False, Null empty, binary data "(binary)".
    QString Format(const Value& value, CellKind kind) const;
    const QLocale& Locale() const { return grouped_; }
    // The number Format's text reads as in Locale(), where the value alone tells it without the text being
    // built: nullopt for Null, text, binary data, dates, flags and other digit sets.
    std::optional<double> ShownNumber(const Value& value, CellKind kind) const;

  private:
    QString FormatNumber(const Value& value, int significantDigits) const;
    QString FormatDate(const Value& value) const;

    QLocale plain_;    // no thousands separators
    QLocale grouped_;  // with them, for money
    QString group_;
    QString decimal_;
    QString minus_;
    QString dateFormat_;
    QString timeFormat_;
    QString timeFormatSeconds_;
    bool plainDigits_ = false;  // numbers written with ASCII digits and one-character signs
};

}  // namespace corv
