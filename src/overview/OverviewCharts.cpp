#include "overview/OverviewCharts.h"

#include <QApplication>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCursor>
#include <QFileInfo>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <cmath>

#include "overview/OverviewModels.h"
#include "platform/DesktopServices.h"

namespace corv::overview {

namespace {

const char* MeasureText(Measure m) {
    return m == Measure::Net ? "net" : "gross";
}

// A whole step of 1, 2 or 5 times a power of ten giving at most about ten ticks.
double NiceStep(double span) {
    const double raw = std::max(span / 10, 1.0);
    const double power = std::pow(10, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

// Ticks on whole numbers only; margin keeps points at either end whole.
QValueAxis* WholeNumberAxis(const QString& title, double low, double high, double margin = 0) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    // "%d" shows nothing once numbers are localized: the values are doubles.
    axis->setLabelFormat("%.0f");
    if (high <= low) high = low + 1;
    axis->setRange(low - margin, high + margin);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(low);
    axis->setTickInterval(NiceStep(high - low));
    return axis;
}

QValueAxis* AmountAxis(const QString& title, double high) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat("%.0f");
    axis->setRange(0, high > 0 ? high * 1.05 : 1);
    axis->applyNiceNumbers();
    return axis;
}

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    // Axis labels in the user's locale carry thousands separators.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    chart->setLocale(locale);
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setAnimationOptions(QChart::NoAnimation);
    return chart;
}

void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

QString ShownName(const BidHistory& history, std::int32_t bidder) {
    return QString::fromStdString(history.Bidders()[static_cast<std::size_t>(bidder)]);
}

}  // namespace

QString BidPointText(const QString& bidder, int round, double amount) {
    return QStringLiteral("%1\nRound %2\n%3").arg(bidder).arg(round).arg(FormatAmount(amount));
}

QString LicenceTitle(const Licence& licence) {
    const QString block = ShownBlock(licence.block);
    return QString::fromStdString(licence.market) + (block.isEmpty() ? QString() : " block " + block);
}

QChart* TotalChart(const std::vector<double>& totals, int round, Measure measure) {
    QChart* chart =
        NewChart(QStringLiteral("Standing total after each round (%1 amounts)").arg(MeasureText(measure)));
    auto* line = new QLineSeries;
    line->setName("Standing total");
    double high = 0;
    for (std::size_t i = 0; i < totals.size(); ++i) {
        line->append(static_cast<double>(i + 1), totals[i]);
        high = std::max(high, totals[i]);
    }
    auto* marked = new QScatterSeries;
    marked->setName(QStringLiteral("Round %1").arg(round));
    marked->setMarkerSize(11);
    if (round >= 1 && static_cast<std::size_t>(round) <= totals.size())
        marked->append(round, totals[static_cast<std::size_t>(round - 1)]);
    QValueAxis* x = WholeNumberAxis("Round", 1, static_cast<double>(totals.size()), 0.5);
    QValueAxis* y = AmountAxis("Standing total", high);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    Attach(chart, line, x, y);
    Attach(chart, marked, x, y);
    return chart;
}

QChart* MarketChart(const BidHistory& history, std::int32_t licence, const MarketHistory& series,
                    Measure measure) {
    QChart* chart = NewChart(QStringLiteral("%1: high bid after each round (%2 amounts)")
                                 .arg(LicenceTitle(history.Licences()[static_cast<std::size_t>(licence)]))
                                 .arg(MeasureText(measure)));
    QValueAxis* x = WholeNumberAxis("Round", 1, static_cast<double>(series.highAfter.size()), 0.5);
    double highest = 0;
    for (const PlacedBid& b : series.bids) highest = std::max(highest, b.amount);
    QValueAxis* y = AmountAxis("Amount", highest);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    auto* step = new QLineSeries;
    step->setName("High bid");
    step->setPen(QPen(Qt::black, 2));
    std::optional<double> last;
    for (std::size_t i = 0; i < series.highAfter.size(); ++i) {
        const auto& high = series.highAfter[i];
        if (!high) continue;
        const double round = static_cast<double>(i + 1);
        if (last && *last != *high) step->append(round, *last);
        step->append(round, *high);
        last = high;
    }
    Attach(chart, step, x, y);

    std::vector<QScatterSeries*> byBidder(history.Bidders().size(), nullptr);
    for (const PlacedBid& b : series.bids) {
        QScatterSeries*& points = byBidder[static_cast<std::size_t>(b.bidder)];
        if (!points) {
            points = new QScatterSeries;
            const QString name = ShownName(history, b.bidder);
            points->setName(name);
            points->setMarkerSize(9);
            // The theme's few colours repeat; hues a golden angle apart keep many bidders apart.
            const int nth = static_cast<int>(chart->series().size()) - 1;
            points->setColor(QColor::fromHsv((nth * 137) % 360, 200, 210));
            points->setBorderColor(Qt::darkGray);
            QObject::connect(points, &QScatterSeries::hovered, points, [name](const QPointF& p, bool on) {
                if (on)
                    QToolTip::showText(QCursor::pos(), BidPointText(name, qRound(p.x()), p.y()));
                else
                    QToolTip::hideText();
            });
            Attach(chart, points, x, y);
        }
        points->append(b.round, b.amount);
    }
    return chart;
}

QChart* BidderChart(const BidHistory& history, std::int32_t bidder, const BidderHistory& series,
                    Measure measure) {
    QString name = ShownName(history, bidder);
    QChart* chart = NewChart(QStringLiteral("%1: high bids held after each round (%2 amounts)")
                                 .arg(name.isEmpty() ? QStringLiteral("Unnamed bidder") : name)
                                 .arg(MeasureText(measure)));
    auto* held = new QLineSeries;
    held->setName("Sum of high bids held");
    auto* leads = new QLineSeries;
    leads->setName("Markets and blocks led");
    double highHeld = 0;
    int mostLeads = 0;
    for (std::size_t i = 0; i < series.heldAfter.size(); ++i) {
        held->append(static_cast<double>(i + 1), series.heldAfter[i]);
        leads->append(static_cast<double>(i + 1), series.leadsAfter[i]);
        highHeld = std::max(highHeld, series.heldAfter[i]);
        mostLeads = std::max(mostLeads, series.leadsAfter[i]);
    }
    QValueAxis* x = WholeNumberAxis("Round", 1, static_cast<double>(series.heldAfter.size()), 0.5);
    QValueAxis* y = AmountAxis("High bids held", highHeld);
    QValueAxis* count = WholeNumberAxis("Markets and blocks led", 0, mostLeads + 1);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(count, Qt::AlignRight);
    Attach(chart, held, x, y);
    Attach(chart, leads, x, count);
    return chart;
}

// ---- the pane ----

ChartPane::ChartPane(QWidget* parent) : QWidget(parent) {
    view_ = new QChartView(this);
    view_->setObjectName("chartView");
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(480, 320);
    cmdTotal = new QPushButton("Standing T&otal", this);
    cmdTotal->setObjectName("cmdTotal");
    cmdSave = new QPushButton("&Save Chart...", this);
    cmdSave->setObjectName("cmdSave");
    cmdCopy = new QPushButton("Co&py Chart", this);
    cmdCopy->setObjectName("cmdCopy");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdTotal);
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCopy);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    connect(cmdSave, &QPushButton::clicked, this, &ChartPane::Save);
    connect(cmdCopy, &QPushButton::clicked, this, &ChartPane::CopyToClipboard);
}

void ChartPane::SetChart(QChart* chart) {
    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
}

QChart* ChartPane::Chart() const {
    return view_->chart();
}

bool ChartPane::SaveTo(const QString& path) {
    if (QFileInfo(path).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(view_->size());
        svg.setViewBox(QRect(QPoint(), view_->size()));
        svg.setTitle(Chart()->title());
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        view_->render(&painter);
        return painter.end() && QFileInfo(path).size() > 0;
    }
    return view_->grab().save(path, "PNG");
}

void ChartPane::Save() {
    FileDialogOptions options;
    options.filter = "PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg|";
    options.title = "Save Chart";
    options.fileName = "chart.png";
    const std::optional<std::string> chosen = Desktop().SaveFileDialog(options);
    if (!chosen || chosen->empty()) return;
    QString path = QString::fromStdString(*chosen);
    if (QFileInfo(path).suffix().isEmpty()) path += ".png";
    if (!SaveTo(path))
        Desktop().MessageBox("The chart could not be saved as " + path.toStdString() + ".", MsgButtons::OK,
                             MsgIcon::Exclamation, "Save Chart");
}

void ChartPane::CopyToClipboard() {
    QApplication::clipboard()->setPixmap(view_->grab());
}

}  // namespace corv::overview
