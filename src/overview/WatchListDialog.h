// Tools > Watch List…: the auction's watch list edited as a list of sentences, one rule at a time.
//
// Threads: user-interface thread only. The markets, blocks and bidders offered come from a BidHistory already
// read (the shared bids), never from the database; the watch file itself is a few lines, read and written
// here.
#pragma once

#include <QDialog>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "report/WatchList.h"

class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace corv::standings {
class AuctionBids;
class BidHistory;
}  // namespace corv::standings

namespace corv::overview {

// A rule as a person reads it: "M001 A: new leader", "Gamma PCS: drops out", "no new bids".
QString RuleSentence(const report::WatchRule& rule);

// What the editor offers in its lists; blocks by market, blank blocks left out.
struct WatchChoices {
    QStringList markets, bidders;
    std::map<QString, QStringList> blocks;
};
WatchChoices ChoicesOf(const standings::BidHistory* history);

// One rule: its kind, then the market, block, bidder, amount or percent that kind asks for.
class WatchRuleEditor : public QDialog {
    Q_OBJECT
  public:
    WatchRuleEditor(const report::WatchRule& rule, const WatchChoices& choices, QWidget* parent);
    // The rule as entered; accept() refuses one that lacks what its kind needs.
    report::WatchRule Rule() const;
    void accept() override;

    QComboBox* cboWhen;
    QComboBox* cboMarket;
    QComboBox* cboBlock;
    QComboBox* cboBidder;
    QDoubleSpinBox* numAmount;
    QDoubleSpinBox* numPercent;
    QLabel* lblMissing;

  private:
    void KindChanged();
    void MarketChanged();
    const WatchChoices& choices_;
    std::map<QWidget*, QLabel*> labels_;
};

class WatchListDialog : public QDialog {
    Q_OBJECT
  public:
    // auctionPath: the open auction, beside which the list lives. A file that cannot be used is named in the
    // dialog, which then shows nothing and writes nothing.
    WatchListDialog(const std::string& auctionPath, std::shared_ptr<const standings::BidHistory> history,
                    QWidget* parent);
    // OK writes the list whole; a failure to write is said in the dialog, which stays open.
    void accept() override;
    // Opens the editor on a rule to add; OK in it adds the rule to the list.
    void AddRule(const report::WatchRule& rule);
    bool Usable() const { return usable_; }
    const report::WatchList& List() const { return list_; }

    QLabel* lblMessage;
    QListWidget* lstRules;
    QPushButton* cmdAdd;
    QPushButton* cmdEdit;
    QPushButton* cmdRemove;
    QDialogButtonBox* buttons;

  signals:
    // The list was written.
    void Saved();

  private:
    void Edit(int index, const report::WatchRule& rule);
    void ShowRules(int current);
    void UpdateButtons();
    std::string path_;
    std::shared_ptr<const standings::BidHistory> history_;
    WatchChoices choices_;
    report::WatchList list_;
    bool usable_ = true;
};

// Opens the auction's watch list over parent (window-modal, deleted on close); newRule: a rule to add, its
// editor opened at once. The bids shared by the program give the editor its lists.
WatchListDialog* OpenWatchList(const std::string& auctionPath, const standings::AuctionBids& bids,
                               QWidget* parent, std::optional<report::WatchRule> newRule = std::nullopt);

}  // namespace corv::overview
