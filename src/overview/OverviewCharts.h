// The overview's three charts and the pane that shows, saves and copies them. User-interface thread only; the
// series come computed from a worker (Standings).
#pragma once

#include <QString>
#include <QWidget>
#include <string>

#include "overview/Standings.h"

class QChart;
class QChartView;
class QLabel;
class QPushButton;

namespace corv::overview {

// The standing total after each round (totals[0] is round 1), with round marked.
QChart* TotalChart(const std::vector<double>& totals, int round, Measure measure);
// The high bid after each round as a step line and every bid as a point, one series per bidder.
QChart* MarketChart(const BidHistory& history, std::int32_t licence, const MarketHistory& series,
                    Measure measure);
// The sum of the high bids a bidder holds after each round, and how many markets and blocks it leads.
QChart* BidderChart(const BidHistory& history, std::int32_t bidder, const BidderHistory& series,
                    Measure measure);

// What hovering a bid's point says.
QString BidPointText(const QString& bidder, int round, double amount);
// The chart's title for a market and block.
QString LicenceTitle(const Licence& licence);

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

    QPushButton* cmdTotal;
    QPushButton* cmdSave;
    QPushButton* cmdCopy;

  private:
    QChartView* view_;
};

}  // namespace corv::overview
