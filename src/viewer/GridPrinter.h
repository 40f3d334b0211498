#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QFont>
#include <QPrinter>
#include <QString>

#include "viewer/CellFormatter.h"

class QPainter;

namespace corv {

class Recordset;
class frmFlexGrid;

// Lays a record set out on pages and paints them one at a time: the caption and "Page N of M" at the top
// of every page, then the column headers, then as many rows as fit. Columns that do not fit the width go
// on to further pages, in column order, each such page repeating its rows' numbers; the pages of one band
// of rows come together. Nothing is built beyond the page being painted.
class GridPrinter {
  public:
    GridPrinter(const Recordset& rows, const CellFormatter& formatter, QString caption);

    // Called after each page is finished; false stops the job.
    std::function<bool(int page, int pages)> pageDone;
    // Paints every page on the printer, which must not have begun. False when pageDone stopped the job, which
    // is then withdrawn.
    bool Print(QPrinter& printer);

    // Known once Print has measured the page.
    int PageCount() const { return bands_ * static_cast<int>(groups_.size()); }
    int RowsPerPage() const { return rowsPerPage_; }

  private:
    QString Cell(std::size_t row, int column) const;
    void Measure(QPainter& painter, const QRectF& page);
    void PaintPage(QPainter& painter, const QRectF& page, int band, int group, int pageNumber);

    const Recordset& rows_;
    const CellFormatter& formatter_;
    QString caption_;
    std::vector<CellKind> kinds_;
    std::vector<QString> headers_;
    QFont cellFont_;
    QFont headerFont_;
    QFont titleFont_;
    std::vector<double> widths_;               // per column, device units
    std::vector<std::pair<int, int>> groups_;  // columns [first, last] on one page width
    double numberWidth_ = 0;
    double rowHeight_ = 0;
    double headerHeight_ = 0;
    double titleHeight_ = 0;
    double padding_ = 0;
    int rowsPerPage_ = 1;
    int bands_ = 1;
};

// The default printer of the desktop; null when none is installed.
std::unique_ptr<QPrinter> DefaultPrinter();
// A printer that writes the pages it is given to a PDF file instead (tests, benchmarks).
std::unique_ptr<QPrinter> PdfPrinter(const QString& path);

// File > Print...: prints what the viewer shows (any sort or filter included) on the printer the lookup
// gives, without a dialog, showing the pages' progress with a Cancel button. No printer, or one that fails,
// is reported as error 482.
using PrinterLookup = std::function<std::unique_ptr<QPrinter>()>;
void PrintGrid(frmFlexGrid& viewer, const PrinterLookup& printer = DefaultPrinter);

}  // namespace corv
