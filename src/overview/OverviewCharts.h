// The overview's three charts and the pane that shows, saves and copies them.
//
// Threads: a chart's content (ChartData) is computed on a worker from the shared read-only
// standings::BidHistory and handed over whole; the user-interface thread owns the chart objects and only
// makes them from that content, each series filled in one step. The pane is the user-interface thread's.
#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "standings/Standings.h"

class QChart;
class QChartView;
class QLabel;
class QPushButton;

namespace corv::overview {

struct SeriesData {
    // Bars: one bar per round, points' x the round, on the count axis or the amount axis alike.
    enum class Kind { Line, Points, Bars };
    Kind kind = Kind::Line;
    QString name;
    QList<QPointF> points;
    QColor color;          // invalid: the theme's
    int lineWidth = 0;     // 0: the theme's
    qreal markerSize = 9;  // of points
    bool onCountAxis = false;
    bool bidText = false;  // hovering a point tells the bid
};

// What a chart shows: plain values, made on any thread.
struct ChartData {
    QString title;
    int rounds = 0;  // the round axis runs from 1 to rounds
    QString amountTitle;
    double highestAmount = 0;
    int amountDecimals = 0;  // of the amount axis' labels
    QString countTitle;      // empty: no count axis
    int highestCount = 0;
    std::vector<SeriesData> series;
    bool legendAtRight = false;  // a column of names, none of them cut short
};

// The standing total after each round (totals[0] is round 1), with round marked.
ChartData TotalChartData(const std::vector<double>& totals, int round, standings::Measure measure);
// The high bid after each round as a step line and every bid as a point, one series per bidder.
ChartData MarketChartData(const standings::BidHistory& history, std::int32_t licence,
                          const standings::MarketHistory& series, standings::Measure measure);
// The sum of the high bids a bidder holds after each round, and how many markets and blocks it leads.
ChartData BidderChartData(const standings::BidHistory& history, std::int32_t bidder,
                          const standings::BidderHistory& series, standings::Measure measure);

// User-interface thread only.
QChart* BuildChart(const ChartData& data);

// What hovering a bid's point says.
QString BidPointText(const QString& bidder, int round, double amount);
// The chart's title for a market and block.
QString LicenceTitle(const standings::Licence& licence);

class ChartPane : public QWidget {
    Q_OBJECT
  public:
    explicit ChartPane(QWidget* parent = nullptr);
    // Takes ownership of chart; the previous one goes.
    void SetChart(QChart* chart);
    QChart* Chart() const;
    QChartView* View() const { return view_; }
    // The chart as a PNG or an SVG file, by the name's extension (PNG without one); false on failure.
    bool SaveTo(const QString& path);
    // Asks for a file name, then saves.
    void Save();
    void CopyToClipboard();
    // What hovering at (a point of the view's viewport) says: the nearest bid's text, else nothing.
    QString TextAt(const QPoint& at) const;

    QPushButton* cmdTotal;
    QPushButton* cmdSave;
    QPushButton* cmdCopy;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QChartView* view_;
};

}  // namespace corv::overview
