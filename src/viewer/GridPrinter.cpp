#include "viewer/GridPrinter.h"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "viewer/RecordsetModel.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

// Rows measured for the column widths: the first ones and an even spread over the rest, so a large set's
// first page comes out at once. A wider cell further down is cut short with an ellipsis.
constexpr std::size_t kLeadingSampleRows = 200;
constexpr std::size_t kSpreadSampleRows = 200;
constexpr double kCellPoints = 9.0;
constexpr double kTitlePoints = 10.0;
constexpr double kMarginMm = 12.0;

[[noreturn]] void ThrowPrinterError(const std::string& why) {
    throw CorvError(err::PrinterError, "Printer error. " + why);
}

}  // namespace

GridPrinter::GridPrinter(const Recordset& rows, const CellFormatter& formatter, QString caption)
    : rows_(rows), formatter_(formatter), caption_(std::move(caption)) {
    for (int c = 0; c < rows_.FieldCount(); ++c) {
        kinds_.push_back(CellKindOf(rows_.Field(c)));
        headers_.push_back(QString::fromStdString(rows_.Field(c).name));
    }
    cellFont_.setPointSizeF(kCellPoints);
    headerFont_ = cellFont_;
    headerFont_.setBold(true);
    titleFont_ = headerFont_;
    titleFont_.setPointSizeF(kTitlePoints);
}

QString GridPrinter::Cell(std::size_t row, int column) const {
    return formatter_.Format(rows_.Cell(row, column), kinds_[static_cast<std::size_t>(column)]);
}

void GridPrinter::Measure(QPainter& painter, const QRectF& page) {
    const QFontMetricsF cells(cellFont_, painter.device());
    const QFontMetricsF headers(headerFont_, painter.device());
    const QFontMetricsF title(titleFont_, painter.device());
    padding_ = cells.averageCharWidth() * 0.6;
    rowHeight_ = std::ceil(cells.height() * 1.25);
    headerHeight_ = std::ceil(headers.height() * 1.5);
    titleHeight_ = std::ceil(title.height() * 2.0);

    const std::size_t count = rows_.RowCount();
    numberWidth_ = cells.horizontalAdvance(QString::number(std::max<std::size_t>(count, 100))) + 2 * padding_;
    const double widest = std::max(page.width() - numberWidth_, 1.0);

    std::vector<std::size_t> sample;
    for (std::size_t r = 0; r < std::min(count, kLeadingSampleRows); ++r) sample.push_back(r);
    if (count > kLeadingSampleRows) {
        const std::size_t step = std::max<std::size_t>(1, (count - kLeadingSampleRows) / kSpreadSampleRows);
        for (std::size_t r = kLeadingSampleRows; r < count; r += step) sample.push_back(r);
        sample.push_back(count - 1);
    }
    widths_.assign(kinds_.size(), 0);
    for (std::size_t c = 0; c < kinds_.size(); ++c) {
        double w = headers.horizontalAdvance(headers_[c]);
        for (std::size_t r : sample) w = std::max(w, cells.horizontalAdvance(Cell(r, static_cast<int>(c))));
        widths_[c] = std::min(std::ceil(w + 2 * padding_), widest);
    }

    groups_.clear();
    double used = 0;
    for (int c = 0; c < static_cast<int>(widths_.size()); ++c) {
        if (groups_.empty() || used + widths_[static_cast<std::size_t>(c)] > widest) {
            groups_.emplace_back(c, c);
            used = 0;
        }
        groups_.back().second = c;
        used += widths_[static_cast<std::size_t>(c)];
    }
    if (groups_.empty()) groups_.emplace_back(0, -1);

    rowsPerPage_ = std::max(1, static_cast<int>((page.height() - titleHeight_ - headerHeight_) / rowHeight_));
    const std::size_t bands = (count + static_cast<std::size_t>(rowsPerPage_) - 1) / rowsPerPage_;
    bands_ = static_cast<int>(std::max<std::size_t>(1, bands));
}

void GridPrinter::PaintPage(QPainter& painter, const QRectF& page, int band, int group, int pageNumber) {
    const QFontMetricsF cells(cellFont_, painter.device());
    const QPen line(QColor(150, 150, 150), 0);

    painter.setPen(Qt::black);  // the last page ended with the rules' grey
    painter.setFont(titleFont_);
    const QString pageText = QStringLiteral("Page %1 of %2").arg(pageNumber).arg(PageCount());
    const double pageTextWidth = QFontMetricsF(titleFont_, painter.device()).horizontalAdvance(pageText);
    const QRectF titleBox(0, 0, page.width(), titleHeight_ * 0.75);
    painter.drawText(titleBox, Qt::AlignRight | Qt::AlignVCenter, pageText);
    const QString caption = QFontMetricsF(titleFont_, painter.device())
                                .elidedText(caption_, Qt::ElideRight, page.width() - pageTextWidth * 1.5);
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, caption);

    const auto [first, last] = groups_[static_cast<std::size_t>(group)];
    double right = numberWidth_;
    for (int c = first; c <= last; ++c) right += widths_[static_cast<std::size_t>(c)];

    auto align = [this](int c) {
        return Qt::AlignVCenter |
               (IsNumericKind(kinds_[static_cast<std::size_t>(c)]) ? Qt::AlignRight : Qt::AlignLeft);
    };

    double y = titleHeight_;
    painter.fillRect(QRectF(0, y, right, headerHeight_), QColor(230, 230, 230));
    painter.setFont(headerFont_);
    double x = numberWidth_;
    for (int c = first; c <= last; ++c) {
        const double w = widths_[static_cast<std::size_t>(c)];
        painter.drawText(QRectF(x + padding_, y, w - 2 * padding_, headerHeight_), align(c),
                         headers_[static_cast<std::size_t>(c)]);
        x += w;
    }
    y += headerHeight_;
    painter.setPen(line);
    painter.drawLine(QPointF(0, y), QPointF(right, y));

    const std::size_t count = rows_.RowCount();
    const std::size_t from = static_cast<std::size_t>(band) * static_cast<std::size_t>(rowsPerPage_);
    const std::size_t to = std::min(count, from + static_cast<std::size_t>(rowsPerPage_));
    painter.setFont(cellFont_);
    // Cells are drawn at a baseline, not into boxes: the box form lays every cell out as a paragraph,
    // a quarter of the time of a large print.
    const double baseline = (rowHeight_ + cells.ascent() - cells.descent()) / 2;
    for (std::size_t r = from; r < to; ++r) {
        const QString number = QString::number(r + 1);
        painter.setPen(QColor(110, 110, 110));
        painter.drawText(QPointF(numberWidth_ - padding_ - cells.horizontalAdvance(number), y + baseline),
                         number);
        painter.setPen(Qt::black);
        x = numberWidth_;
        for (int c = first; c <= last; ++c) {
            const double w = widths_[static_cast<std::size_t>(c)];
            const double room = w - 2 * padding_;
            QString text = Cell(r, c);
            // Auto columns are aligned by each value, as the grid does.
            bool toRight = IsNumericKind(kinds_[static_cast<std::size_t>(c)]);
            if (kinds_[static_cast<std::size_t>(c)] == CellKind::Auto) toRight = rows_.Cell(r, c).isNumber();
            double width = cells.horizontalAdvance(text);
            if (width > room) {
                text = cells.elidedText(text, Qt::ElideRight, room);
                width = cells.horizontalAdvance(text);
            }
            painter.drawText(QPointF(toRight ? x + w - padding_ - width : x + padding_, y + baseline), text);
            x += w;
        }
        y += rowHeight_;
        painter.setPen(line);
        painter.drawLine(QPointF(0, y), QPointF(right, y));
    }
    painter.setPen(line);
    painter.drawLine(QPointF(numberWidth_, titleHeight_), QPointF(numberWidth_, y));
}

bool GridPrinter::Print(QPrinter& printer) {
    printer.setDocName(caption_);
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer))
        ThrowPrinterError("The printer " + printer.printerName().toStdString() + " could not be started.");
    const QRectF page(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    Measure(painter, page);
    const int pages = PageCount();
    int number = 0;
    for (int band = 0; band < bands_; ++band) {
        for (int group = 0; group < static_cast<int>(groups_.size()); ++group) {
            ++number;
            PaintPage(painter, page, band, group, number);
            if (number == pages) break;
            // A new page sends the finished one on its way.
            if (!printer.newPage()) ThrowPrinterError("The printer stopped taking pages.");
            if (pageDone && !pageDone(number, pages)) {
                printer.abort();
                painter.end();
                return false;
            }
        }
    }
    if (!painter.end()) ThrowPrinterError("The printer could not finish the job.");
    if (pageDone) pageDone(pages, pages);
    return true;
}

std::unique_ptr<QPrinter> DefaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

std::unique_ptr<QPrinter> PdfPrinter(const QString& path) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    return printer;
}

void PrintGrid(frmFlexGrid& viewer, const PrinterLookup& lookup) {
    try {
        std::unique_ptr<QPrinter> printer = lookup ? lookup() : nullptr;
        if (!printer) ThrowPrinterError("No printer is installed.");
        BusyPointer busy;
        const std::shared_ptr<Recordset> shown = viewer.WholeResult();
        if (!shown) return;  // an empty viewer has nothing to print
        GridPrinter pages(*shown, viewer.GridModel()->Formatter(), viewer.CaptionText());
        // A large table takes many seconds: the window keeps repainting and the user may cancel. A page or
        // two prints before a window could be read, so it only comes up on a longer job.
        constexpr int kShowProgressAfterMs = 500;
        ProgressScope progress;
        pages.pageDone = [&](int page, int total) {
            const std::string text = "Printing page " + std::to_string(page) + " of " + std::to_string(total);
            if (page == 1) progress.Begin("Print", text, total, kShowProgressAfterMs);
            return Desktop().ProgressStep(page, text);
        };
        pages.Print(*printer);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace corv
