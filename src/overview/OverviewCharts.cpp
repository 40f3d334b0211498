#include "overview/OverviewCharts.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QBoxLayout>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCursor>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <QtMath>
#include <cmath>

#include "engine/Database.h"
#include "overview/OverviewModels.h"
#include "platform/DesktopServices.h"

namespace corv::overview {

namespace {

const char* MeasureText(standings::Measure m) {
    return m == standings::Measure::Net ? "net" : "gross";
}

// A whole step of 1, 2 or 5 times a power of ten giving at most about ten ticks.
double NiceStep(double span) {
    const double raw = std::max(span / 10, 1.0);
    const double power = std::pow(10, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

// Ticks on whole numbers only.
QValueAxis* WholeNumberAxis(const QString& title, double low, double high) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    // "%d" shows nothing once numbers are localized: the values are doubles.
    axis->setLabelFormat("%.0f");
    if (high <= low) high = low + 1;
    axis->setRange(low, high);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(low);
    axis->setTickInterval(NiceStep(high - low));
    return axis;
}

// The rounds the round axis labels: the first, the last, and whole steps between them that stay clear of
// the last.
std::vector<int> RoundTicks(int rounds) {
    if (rounds <= 1) return {1};
    const int step = static_cast<int>(NiceStep(rounds - 1));
    std::vector<int> ticks{1};
    for (int r = step; r < rounds; r += step)
        if (r > 1 && 2 * (rounds - r) >= step) ticks.push_back(r);
    ticks.push_back(rounds);
    return ticks;
}

// Labels exactly where RoundTicks puts them; half a round of margin keeps the points at either end whole.
QCategoryAxis* RoundAxis(int rounds) {
    auto* axis = new QCategoryAxis;
    axis->setTitleText("Round");
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const int last = std::max(rounds, 1);
    axis->setRange(0.5, last + 0.5);
    axis->setStartValue(0.5);
    for (int r : RoundTicks(last)) axis->append(QString::number(r), r);
    return axis;
}

QValueAxis* AmountAxis(const QString& title, double high, int decimals) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
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

// The name a series of bids keeps for the pane's tool tips.
constexpr const char* kBidderProperty = "bidder";

// A point's dot. Painted by its series rather than made a scene item of its own, so that tens of thousands
// of bids stay cheap to lay out and draw.
QImage Dot(const QColor& fill, qreal size) {
    const qreal ratio = qApp->devicePixelRatio();
    const int side = qCeil(size * ratio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    return image;
}

QXYSeries* NewSeries(const SeriesData& data) {
    auto* series = new QLineSeries;
    series->setName(data.name);
    if (data.kind == SeriesData::Kind::Line) {
        if (data.lineWidth > 0)
            series->setPen(QPen(data.color.isValid() ? data.color : QColor(Qt::black), data.lineWidth));
    } else {
        series->setMarkerSize(data.markerSize);
        if (data.color.isValid()) series->setColor(data.color);
        if (data.bidText) series->setProperty(kBidderProperty, data.name);
    }
    return series;
}

// Once the chart has given the series its colour: dots of it, and no line between them.
void ShowAsDots(QXYSeries* series) {
    series->setLightMarker(Dot(series->color(), series->markerSize()));
    QPen pen = series->pen();
    pen.setStyle(Qt::NoPen);  // the legend still takes its colour
    series->setPen(pen);
}

// On a value axis a bar stands at its index: index r is round r, and index 0 (before round 1) stays empty
// outside the axis' range.
QBarSeries* BarsOf(const SeriesData& data) {
    QList<qreal> values;
    for (const QPointF& p : data.points) {
        const auto at = static_cast<qsizetype>(std::lround(p.x()));
        if (at < 0) continue;
        if (values.size() <= at) values.resize(at + 1, 0);
        values[at] = p.y();
    }
    auto* set = new QBarSet(data.name);
    set->append(values);  // filled before it joins the chart, in one step
    if (data.color.isValid()) set->setColor(data.color);
    auto* series = new QBarSeries;
    series->setBarWidth(0.7);
    series->append(set);
    return series;
}

QString ShownName(const standings::BidHistory& history, std::int32_t bidder) {
    return QString::fromStdString(history.Bidders()[static_cast<std::size_t>(bidder)]);
}

}  // namespace

QString BidPointText(const QString& bidder, int round, double amount) {
    return QStringLiteral("%1\nRound %2\n%3").arg(bidder).arg(round).arg(FormatAmount(amount));
}

QString LicenceTitle(const standings::Licence& licence) {
    const QString block = ShownBlock(licence.block);
    return QString::fromStdString(licence.market) + (block.isEmpty() ? QString() : " block " + block);
}

ChartData TotalChartData(const std::vector<double>& totals, int round, standings::Measure measure) {
    ChartData chart;
    chart.title = QStringLiteral("Standing total after each round (%1 amounts)").arg(MeasureText(measure));
    chart.rounds = static_cast<int>(totals.size());
    chart.amountTitle = "Standing total";
    SeriesData& line = chart.series.emplace_back();
    line.name = "Standing total";
    line.points.reserve(static_cast<qsizetype>(totals.size()));
    for (std::size_t i = 0; i < totals.size(); ++i) {
        line.points.append(QPointF(static_cast<double>(i + 1), totals[i]));
        chart.highestAmount = std::max(chart.highestAmount, totals[i]);
    }
    SeriesData& marked = chart.series.emplace_back();
    marked.kind = SeriesData::Kind::Points;
    marked.name = QStringLiteral("Round %1").arg(round);
    marked.markerSize = 11;
    if (round >= 1 && static_cast<std::size_t>(round) <= totals.size())
        marked.points.append(QPointF(round, totals[static_cast<std::size_t>(round - 1)]));
    return chart;
}

ChartData MarketChartData(const standings::BidHistory& history, std::int32_t licence,
                          const standings::MarketHistory& series, standings::Measure measure) {
    ChartData chart;
    chart.title = QStringLiteral("%1: high bid after each round (%2 amounts)")
                      .arg(LicenceTitle(history.Licences()[static_cast<std::size_t>(licence)]))
                      .arg(MeasureText(measure));
    chart.rounds = static_cast<int>(series.highAfter.size());
    chart.amountTitle = "Amount";
    for (const standings::PlacedBid& b : series.bids)
        chart.highestAmount = std::max(chart.highestAmount, b.amount);

    SeriesData& step = chart.series.emplace_back();
    step.name = "High bid";
    step.color = Qt::black;
    step.lineWidth = 2;
    std::optional<double> last;
    for (std::size_t i = 0; i < series.highAfter.size(); ++i) {
        const auto& high = series.highAfter[i];
        if (!high) continue;
        const double round = static_cast<double>(i + 1);
        if (last && *last != *high) step.points.append(QPointF(round, *last));
        step.points.append(QPointF(round, *high));
        last = high;
    }

    // Series in the order the bidders first bid on it.
    std::vector<int> seriesOf(history.Bidders().size(), -1);
    for (const standings::PlacedBid& b : series.bids) {
        int& index = seriesOf[static_cast<std::size_t>(b.bidder)];
        if (index < 0) {
            index = static_cast<int>(chart.series.size());
            SeriesData& points = chart.series.emplace_back();
            points.kind = SeriesData::Kind::Points;
            points.name = ShownName(history, b.bidder);
            // The theme's few colours repeat; hues a golden angle apart keep many bidders apart.
            points.color = QColor::fromHsv(((index - 1) * 137) % 360, 200, 210);
            points.bidText = true;
        }
        chart.series[static_cast<std::size_t>(index)].points.append(QPointF(b.round, b.amount));
    }
    return chart;
}

ChartData BidderChartData(const standings::BidHistory& history, std::int32_t bidder,
                          const standings::BidderHistory& series, standings::Measure measure) {
    ChartData chart;
    const QString name = ShownName(history, bidder);
    chart.title = QStringLiteral("%1: high bids held after each round (%2 amounts)")
                      .arg(name.isEmpty() ? QStringLiteral("Unnamed bidder") : name)
                      .arg(MeasureText(measure));
    chart.rounds = static_cast<int>(series.heldAfter.size());
    chart.amountTitle = "High bids held";
    chart.countTitle = "Markets and blocks led";
    chart.series.reserve(2);  // the references below stay good
    SeriesData& held = chart.series.emplace_back();
    held.name = "Sum of high bids held";
    SeriesData& leads = chart.series.emplace_back();
    leads.name = "Markets and blocks led";
    leads.onCountAxis = true;
    for (std::size_t i = 0; i < series.heldAfter.size(); ++i) {
        held.points.append(QPointF(static_cast<double>(i + 1), series.heldAfter[i]));
        leads.points.append(QPointF(static_cast<double>(i + 1), series.leadsAfter[i]));
        chart.highestAmount = std::max(chart.highestAmount, series.heldAfter[i]);
        chart.highestCount = std::max(chart.highestCount, series.leadsAfter[i]);
    }
    return chart;
}

QChart* BuildChart(const ChartData& data) {
    QChart* chart = NewChart(data.title);
    if (data.legendAtRight) chart->legend()->setAlignment(Qt::AlignRight);
    QAbstractAxis* x = RoundAxis(data.rounds);
    QAbstractAxis* y = AmountAxis(data.amountTitle, data.highestAmount, data.amountDecimals);
    QAbstractAxis* count =
        data.countTitle.isEmpty() ? nullptr : WholeNumberAxis(data.countTitle, 0, data.highestCount + 1);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    if (count) chart->addAxis(count, Qt::AlignRight);
    for (const SeriesData& s : data.series) {
        QAbstractAxis* along = s.onCountAxis && count ? count : y;
        if (s.kind == SeriesData::Kind::Bars) {
            chart->addSeries(BarsOf(s));
            chart->series().back()->attachAxis(x);
            chart->series().back()->attachAxis(along);
            continue;
        }
        QXYSeries* series = NewSeries(s);
        // Filled before it joins the chart: one change for the chart to lay out, not one per point.
        series->replace(s.points);
        chart->addSeries(series);
        if (s.kind == SeriesData::Kind::Points) ShowAsDots(series);
        series->attachAxis(x);
        series->attachAxis(along);
    }
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
    view_->viewport()->installEventFilter(this);
}

QString ChartPane::TextAt(const QPoint& at) const {
    QChart* chart = Chart();
    if (!chart) return {};
    const QPointF inChart = chart->mapFromScene(view_->mapToScene(at));
    QString text;
    qreal nearest = 0;
    for (QAbstractSeries* s : chart->series()) {
        auto* series = qobject_cast<QXYSeries*>(s);
        const QVariant bidder = series ? series->property(kBidderProperty) : QVariant();
        if (!bidder.isValid()) continue;
        const qreal reach = series->markerSize() / 2 + 1;
        for (const QPointF& p : series->points()) {
            const QPointF d = chart->mapToPosition(p, series) - inChart;
            const qreal distance = QPointF::dotProduct(d, d);
            if (distance <= reach * reach && (text.isEmpty() || distance < nearest)) {
                nearest = distance;
                text = BidPointText(bidder.toString(), qRound(p.x()), p.y());
            }
        }
    }
    return text;
}

bool ChartPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = TextAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, view_->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
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
    if (DbEngine::HoldsDatabase(path.toStdString())) {
        Desktop().MessageBox("The chart is not saved as " + path.toStdString() +
                                 ": that file holds a database, which a chart never replaces.",
                             MsgButtons::OK, MsgIcon::Exclamation, "Save Chart");
        return;
    }
    if (!SaveTo(path))
        Desktop().MessageBox("The chart could not be saved as " + path.toStdString() + ".", MsgButtons::OK,
                             MsgIcon::Exclamation, "Save Chart");
}

void ChartPane::CopyToClipboard() {
    QApplication::clipboard()->setPixmap(view_->grab());
}

}  // namespace corv::overview
