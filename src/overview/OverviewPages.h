// The pages of the Changes, Eligibility and Rounds tabs, each showing figures computed on a worker
// (RoundFigures). User-interface thread only.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "overview/OverviewRoundFigures.h"

class QAbstractItemModel;
class QComboBox;
class QLabel;
class QTableView;

namespace corv::overview {

class ChartPane;
class ChangesModel;
class ChangeBiddersModel;
class EligibilityModel;
class OverviewFilter;
class PaceModel;

// A sortable read-only table of whole rows, sized to its first rows.
QTableView* NewOverviewTable(QAbstractItemModel* model, const char* name, QWidget* parent);

class ChangesPage : public QWidget {
    Q_OBJECT
  public:
    explicit ChangesPage(QWidget* parent);
    // The rounds before round, and 0 for "before round 1". The choice stays while the round does; otherwise
    // it is the round before.
    void SetSinceChoices(const std::vector<int>& rounds, int round);
    int ChosenSince() const;
    void Show(std::shared_ptr<const standings::BidHistory> history,
              std::shared_ptr<const standings::RoundChanges> changes);
    void SetFilter(const QString& text);

    QComboBox* cboSince;
    QLabel* lblSummary;
    QTableView* grdChanges;
    QTableView* grdChangeBidders;
    ChangesModel* changes;
    ChangeBiddersModel* bidders;

  private:
    OverviewFilter* changesShown_;
    OverviewFilter* biddersShown_;
    int round_ = 0;
};

class EligibilityPage : public QWidget {
    Q_OBJECT
  public:
    explicit EligibilityPage(QWidget* parent);
    // Without eligibility (no eligibility table) the page says so in one sentence.
    void Show(std::shared_ptr<const standings::BidHistory> history, const RoundFigures& figures);
    void SetFilter(const QString& text);

    QLabel* lblSummary;
    QLabel* lblNoTable;
    QTableView* grdEligibility;
    ChartPane* chart;
    EligibilityModel* model;

  private:
    OverviewFilter* shown_;
    QWidget* content_;
};

class PacePage : public QWidget {
    Q_OBJECT
  public:
    explicit PacePage(QWidget* parent);
    void Show(const RoundFigures& figures);

    QTableView* grdRounds;
    ChartPane* chart;
    PaceModel* model;
};

}  // namespace corv::overview
