#include "overview/OverviewPages.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>

#include "overview/OverviewModels.h"
#include "overview/OverviewRoundModels.h"
#include "overview/OverviewTableCopy.h"

namespace corv::overview {

namespace {

QLabel* Line(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A chart beside the overview's own: saving and copying, no Standing Total button.
ChartPane* NewChartPane(const char* name, QWidget* parent) {
    auto* pane = new ChartPane(parent);
    pane->setObjectName(name);
    pane->cmdTotal->hide();
    return pane;
}

QSplitter* Stack(QWidget* above, QWidget* below, int aboveShare, int belowShare, QWidget* parent) {
    auto* splitter = new QSplitter(Qt::Vertical, parent);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(above);
    splitter->addWidget(below);
    splitter->setStretchFactor(0, aboveShare);
    splitter->setStretchFactor(1, belowShare);
    return splitter;
}

}  // namespace

QTableView* NewOverviewTable(QAbstractItemModel* model, const char* name, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSortingEnabled(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Widths from the first rows: measuring thousands of rows on every change would cost more than it shows.
    view->horizontalHeader()->setResizeContentsPrecision(200);
    view->horizontalHeader()->setStretchLastSection(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    return view;
}

// ---- changes ----

ChangesPage::ChangesPage(QWidget* parent) : QWidget(parent) {
    cboSince = new QComboBox(this);
    cboSince->setObjectName("cboSince");
    cboSince->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* sinceLabel = new QLabel("Since ro&und:", this);
    sinceLabel->setBuddy(cboSince);
    auto* top = new QHBoxLayout;
    top->addWidget(sinceLabel);
    top->addWidget(cboSince);
    top->addStretch();
    lblSummary = Line("lblChangesSummary", this);

    changes = new ChangesModel(this);
    changesShown_ =
        new OverviewFilter({ChangesModel::Market, ChangesModel::LeaderBefore, ChangesModel::LeaderNow}, this);
    changesShown_->setSourceModel(changes);
    bidders = new ChangeBiddersModel(this);
    biddersShown_ = new OverviewFilter({ChangeBiddersModel::Bidder}, this);
    biddersShown_->setSourceModel(bidders);
    grdChanges = NewOverviewTable(changesShown_, "grdChanges", this);
    grdChangeBidders = NewOverviewTable(biddersShown_, "grdChangeBidders", this);
    AddCopyAndExport(grdChanges, QStringLiteral("Changes"));
    AddCopyAndExport(grdChangeBidders, QStringLiteral("Changes by Bidder"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblSummary);
    layout->addWidget(Stack(grdChanges, grdChangeBidders, 3, 2, this), 1);
}

void ChangesPage::SetSinceChoices(const std::vector<int>& rounds, int round) {
    const int kept = round == round_ ? ChosenSince() : -1;
    round_ = round;
    const QSignalBlocker quiet(cboSince);
    cboSince->clear();
    cboSince->addItem("0 (before round 1)", 0);
    for (int r : rounds)
        if (r < round) cboSince->addItem(QString::number(r), r);
    const int keep = cboSince->findData(kept);
    // Rounds may be missing: the latest before the round stands in for the round before.
    cboSince->setCurrentIndex(keep >= 0 ? keep : cboSince->count() - 1);
}

int ChangesPage::ChosenSince() const {
    return cboSince->currentIndex() < 0 ? 0 : cboSince->currentData().toInt();
}

void ChangesPage::Show(std::shared_ptr<const standings::BidHistory> history,
                       std::shared_ptr<const standings::RoundChanges> c) {
    changes->Set(history, c);
    bidders->Set(history, c);
    if (!c) return;
    const QString against = c->since == 0
                                ? QStringLiteral("Round %1 against nothing held before round 1").arg(c->round)
                                : QStringLiteral("Round %1 against round %2").arg(c->round).arg(c->since);
    const QString moved = c->rows.size() == 1
                              ? QStringLiteral("1 market or block changed")
                              : QStringLiteral("%1 markets and blocks changed").arg(c->rows.size());
    lblSummary->setText(
        QStringLiteral("%1: %2 (first bids %3, new leaders %4, higher bids %5)     Total rise: %6")
            .arg(against, moved)
            .arg(c->firstBids)
            .arg(c->newLeaders)
            .arg(c->higherBids)
            .arg(FormatSigned(c->totalRise, HasCents(c->totalRise) ? 2 : 0)));
}

void ChangesPage::SetFilter(const QString& text) {
    changesShown_->SetText(text);
    biddersShown_->SetText(text);
}

// ---- eligibility ----

EligibilityPage::EligibilityPage(QWidget* parent) : QWidget(parent) {
    lblNoTable = Line("lblNoEligibility", this);
    lblNoTable->hide();
    content_ = new QWidget(this);
    lblSummary = Line("lblEligibilitySummary", content_);
    model = new EligibilityModel(this);
    shown_ = new OverviewFilter({EligibilityModel::Bidder}, this);
    shown_->setSourceModel(model);
    grdEligibility = NewOverviewTable(shown_, "grdEligibility", content_);
    AddCopyAndExport(grdEligibility, QStringLiteral("Eligibility"));
    chart = NewChartPane("eligibilityChart", content_);
    auto* inner = new QVBoxLayout(content_);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->addWidget(lblSummary);
    inner->addWidget(Stack(grdEligibility, chart, 1, 1, content_), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblNoTable);
    layout->addWidget(content_, 1);
    layout->addStretch();
}

void EligibilityPage::Show(std::shared_ptr<const standings::BidHistory> history,
                           const RoundFigures& figures) {
    const standings::EligibilityStandings* e = figures.eligibility.get();
    model->Set(history, figures.eligibility);
    lblNoTable->setText(e ? QString() : QString::fromStdString(standings::NoEligibilityTableSentence()));
    lblNoTable->setVisible(!e);
    content_->setVisible(e);
    if (!e) return;
    const int decimals =
        (e->total && HasCents(*e->total)) || (e->previousTotal && HasCents(*e->previousTotal)) ? 2 : 0;
    QString total = QStringLiteral("none given for round %1").arg(e->round), change;
    if (e->total) total = FormatAmount(*e->total, decimals);
    if (e->total && e->previousTotal) {
        const double by = *e->total - *e->previousTotal;
        change = QStringLiteral("     Change since round %1: %2")
                     .arg(e->round - 1)
                     .arg(FormatSigned(by, decimals));
        if (*e->previousTotal > 0) change += " (" + FormatPercent(by / *e->previousTotal * 100) + ")";
    }
    lblSummary->setText(
        QStringLiteral("Total eligibility: %1%2     Bidders still in: %3     Out in round %4: %5")
            .arg(total, change)
            .arg(e->stillIn)
            .arg(e->round)
            .arg(e->outThisRound));
    chart->SetChart(BuildChart(figures.eligibilityChart));
}

void EligibilityPage::SetFilter(const QString& text) {
    shown_->SetText(text);
}

// ---- the pace ----

PacePage::PacePage(QWidget* parent) : QWidget(parent) {
    model = new PaceModel(this);
    auto* sorted = new OverviewFilter({}, this);
    sorted->setSourceModel(model);
    grdRounds = NewOverviewTable(sorted, "grdRounds", this);
    AddCopyAndExport(grdRounds, QStringLiteral("Rounds"));
    chart = NewChartPane("paceChart", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Stack(grdRounds, chart, 1, 1, this), 1);
}

void PacePage::Show(const RoundFigures& figures) {
    model->Set(figures.pace);
    chart->SetChart(BuildChart(figures.paceChart));
}

}  // namespace corv::overview
