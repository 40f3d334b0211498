#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QLocale>
#include <QString>

namespace corv {

// One rectangular block of a grid selection. Rows count from 0; a whole selected column has firstRow and
// lastRow both -1.
struct SelectionBlock {
    int firstColumn = 0;
    int lastColumn = 0;
    int firstRow = 0;
    int lastRow = 0;
};

// The status bar's number pattern: thousands separators, exactly two decimals, no leading zero
// (0 -> ".00", 0.5 -> ".50", 1234.5 -> "1,234.50"). Separators come from the locale.
QString FormatStatistic(double value, const QLocale& locale);

// Reads shown numbers in one locale. The separators are looked up once: whole-column statistics convert
// a million cells.
class NumberReader {
  public:
    explicit NumberReader(const QLocale& locale);
    // Blanks around the number and thousands separators are accepted; anything else that is not a number,
    // the empty text included, raises a type mismatch (13).
    double Read(const QString& text) const;

  private:
    QLocale locale_;
    QChar decimal_;
    QChar group_;
    QChar minus_;
};

// A shown cell's text as a number in the user's locale: blanks around it and thousands separators are
// accepted. Anything else, the empty text included, raises a type mismatch (13).
double CellTextToDouble(const QString& text, const QLocale& locale);

// Reads one cell's shown text by column and row; rows past the last one read as empty text.
using CellTextReader = std::function<QString(int column, int row)>;

// Reads one whole column from its first row: calls add with each cell's shown number until a cell shows
// empty text or the rows end, raising a type mismatch (13) at a cell that is not a number.
using ColumnNumberReader = std::function<void(int column, const std::function<void(double)>& add)>;

// Sum, Average or Count of the selected cells of one column, as the text for the status bar. A whole
// column is read through readColumn when given, else cell by cell.
// nullopt: nothing to write (no selection, or an operation other than the three).
// "0": the selection spans more than one column or holds a cell that is not a number.
// Other failures (Average over no cells, a sum out of range) raise CorvError.
std::optional<QString> ComputeSelectionText(const std::vector<SelectionBlock>& blocks,
                                            const CellTextReader& cellText, const QString& operation,
                                            const QLocale& locale,
                                            const ColumnNumberReader& readColumn = {});

}  // namespace corv
