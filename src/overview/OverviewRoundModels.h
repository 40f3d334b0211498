// The tables of the Changes, Eligibility and Rounds tabs: models over figures computed on a worker and handed
// over whole. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <memory>
#include <vector>

#include "standings/RoundChanges.h"

namespace corv::overview {

// A table of computed rows: the sort role, the alignment and the headers in one place.
class RowsModel : public QAbstractTableModel {
  public:
    RowsModel(QStringList headers, QList<int> textColumns, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  protected:
    // The display text, or with sorting the raw value the column sorts by.
    virtual QVariant Cell(int row, int column, bool sorting) const = 0;
    virtual QVariant Other(int /*row*/, int /*column*/, int /*role*/) const { return {}; }
    virtual int Rows() const = 0;
    QString Name(std::int32_t bidder) const;

    std::shared_ptr<const standings::BidHistory> history_;

  private:
    QStringList headers_;
    QList<int> textColumns_;
};

class ChangesModel : public RowsModel {
  public:
    enum Column {
        Market,
        Block,
        Change,
        LeaderBefore,
        LeaderNow,
        HighBefore,
        HighNow,
        Rise,
        RisePercent,
        Columns
    };
    explicit ChangesModel(QObject* parent);
    void Set(std::shared_ptr<const standings::BidHistory> history,
             std::shared_ptr<const standings::RoundChanges> changes);
    const standings::ChangeRow& Row(int row) const { return changes_->rows[static_cast<std::size_t>(row)]; }

  protected:
    QVariant Cell(int row, int column, bool sorting) const override;
    int Rows() const override;

  private:
    std::shared_ptr<const standings::RoundChanges> changes_;
    int beforeDecimals_ = 0, nowDecimals_ = 0, riseDecimals_ = 0;
};

// Per bidder, the leads and high bids it gained or lost between the two rounds.
class ChangeBiddersModel : public RowsModel {
  public:
    enum Column { Bidder, Gained, Lost, HeldChange, Columns };
    explicit ChangeBiddersModel(QObject* parent);
    void Set(std::shared_ptr<const standings::BidHistory> history,
             std::shared_ptr<const standings::RoundChanges> changes);

  protected:
    QVariant Cell(int row, int column, bool sorting) const override;
    int Rows() const override;

  private:
    std::shared_ptr<const standings::RoundChanges> changes_;
    int heldDecimals_ = 0;
};

class EligibilityModel : public RowsModel {
  public:
    enum Column { Bidder, Eligibility, Previous, Change, ChangePercent, Status, Leads, Held, Bids, Columns };
    explicit EligibilityModel(QObject* parent);
    // eligibility null: no rows.
    void Set(std::shared_ptr<const standings::BidHistory> history,
             std::shared_ptr<const standings::EligibilityStandings> eligibility);

  protected:
    QVariant Cell(int row, int column, bool sorting) const override;
    int Rows() const override;

  private:
    std::shared_ptr<const standings::EligibilityStandings> eligibility_;
    int eligibilityDecimals_ = 0, previousDecimals_ = 0, changeDecimals_ = 0, heldDecimals_ = 0;
};

// The pace: one row per round.
class PaceModel : public RowsModel {
  public:
    enum Column {
        Round,
        Standing,
        Change,
        ChangePercent,
        Bids,
        LicencesBid,
        WithHigh,
        LeaderChanges,
        Eligibility,
        Columns
    };
    explicit PaceModel(QObject* parent);
    void Set(std::shared_ptr<const std::vector<standings::PaceRow>> pace);

  protected:
    QVariant Cell(int row, int column, bool sorting) const override;
    QVariant Other(int row, int column, int role) const override;
    int Rows() const override;

  private:
    std::shared_ptr<const std::vector<standings::PaceRow>> pace_;
    int standingDecimals_ = 0, changeDecimals_ = 0, eligibilityDecimals_ = 0;
};

}  // namespace corv::overview
