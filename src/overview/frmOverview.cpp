#include "overview/frmOverview.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QChart>
#include <QComboBox>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtConcurrent>
#include <filesystem>

#include "overview/AlertLogPage.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewModels.h"
#include "overview/OverviewPages.h"
#include "overview/OverviewRoundModels.h"
#include "overview/OverviewTableCopy.h"
#include "overview/RoundReportExport.h"
#include "overview/WatchListDialog.h"
#include "platform/DesktopServices.h"
#include "store/LatestRound.h"

namespace corv::overview {

namespace {

// A line of help that wraps rather than holding the window wider than a small main window's area.
QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QWidget* Mark(const QIcon& icon, const QString& text, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(w);
    picture->setPixmap(icon.pixmap(16, 16));
    layout->addWidget(picture);
    layout->addWidget(Note(text, w), 1);
    return w;
}

// Which market data table was chosen last, by auction.
constexpr const char* kSettingsApp = "Corvidel";
constexpr const char* kMarketDataSection = "Market data";

struct Computed {
    std::shared_ptr<const standings::RoundStandings> shown;
    ChartData total;
    RoundFigures figures;
};

// Both figures the press quotes, named, and the rows of the market data left out.
QString PriceTotals(const standings::RoundStandings& shown,
                    const std::shared_ptr<const standings::UserTables>& tables, int chosen) {
    if (!shown.priced || !tables || chosen < 0 || chosen >= static_cast<int>(tables->marketData.size()))
        return {};
    const auto figure = [](const std::optional<double>& price) {
        return price ? FormatPrice(*price) : QStringLiteral("\u2013");
    };
    QString text =
        QStringLiteral(
            "\n$/MHz-pop, licences with a high bid: %1     $/MHz-pop, every licence in the "
            "market data: %2")
            .arg(figure(shown.totals.pricePerMHzPopWithHigh), figure(shown.totals.pricePerMHzPopAll));
    const int leftOut = tables->marketData[static_cast<std::size_t>(chosen)].leftOut;
    if (leftOut > 0)
        text += QStringLiteral(
                    "     (%1 of the market data left out: no market, or a population or MHz that "
                    "is not a positive number)")
                    .arg(leftOut == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(leftOut));
    return text;
}

}  // namespace

frmOverview::frmOverview(store::AuctionSession& session, standings::AuctionBids& bids, QWidget* parent)
    : QWidget(parent), session_(&session), bids_(&bids) {
    setObjectName("frmOverview");
    std::error_code ec;
    settingsKey_ = std::filesystem::weakly_canonical(session.Current()->Path(), ec).string();
    if (ec) settingsKey_ = session.Current()->Path();
    setWindowTitle("Auction Overview");
    session.AddListener(this);

    lblProblem = new QLabel(this);
    lblProblem->setObjectName("lblProblem");
    lblProblem->setWordWrap(true);
    lblProblem->hide();

    auto* controls = new QWidget(this);
    controls->setObjectName("controls");
    cboRound = new QComboBox(controls);
    cboRound->setObjectName("cboRound");
    cboRound->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* roundLabel = new QLabel("&Round:", controls);
    roundLabel->setBuddy(cboRound);
    optGross = new QRadioButton("&Gross", controls);
    optGross->setObjectName("optGross");
    optGross->setChecked(true);
    optNet = new QRadioButton("&Net", controls);
    optNet->setObjectName("optNet");
    optNet->setEnabled(false);
    auto* measure = new QButtonGroup(this);
    measure->addButton(optGross);
    measure->addButton(optNet);
    auto* top = new QHBoxLayout(controls);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(roundLabel);
    top->addWidget(cboRound);
    top->addSpacing(16);
    top->addWidget(new QLabel("Amounts:", controls));
    top->addWidget(optGross);
    top->addWidget(optNet);
    cboMarketData = new QComboBox(controls);
    cboMarketData->setObjectName("cboMarketData");
    cboMarketData->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* marketDataLabel = new QLabel("$/MHz-&pop from market data:", controls);
    marketDataLabel->setObjectName("lblMarketData");
    marketDataLabel->setBuddy(cboMarketData);
    top->addSpacing(16);
    top->addWidget(marketDataLabel);
    top->addWidget(cboMarketData);
    marketDataLabel->hide();
    cboMarketData->hide();
    top->addStretch();

    markets = new MarketsModel(this);
    marketsShown = new OverviewFilter({MarketsModel::Market, MarketsModel::HighBidder}, this);
    marketsShown->setSourceModel(markets);
    bidders = new BiddersModel(this);
    biddersShown = new OverviewFilter({BiddersModel::Bidder}, this);
    biddersShown->setSourceModel(bidders);

    tabs = new QTabWidget(this);
    tabs->setObjectName("tabs");
    // Beside the tabs it filters, where the strip leaves room even in a small window.
    auto* filter = new QWidget(tabs);
    txtFilter = new QLineEdit(filter);
    txtFilter->setObjectName("txtFilter");
    txtFilter->setPlaceholderText("Market or bidder");
    txtFilter->setClearButtonEnabled(true);
    txtFilter->setMinimumWidth(txtFilter->fontMetrics().horizontalAdvance(txtFilter->placeholderText()) +
                               txtFilter->sizeHint().height() * 2);
    auto* filterLabel = new QLabel("F&ilter:", filter);
    filterLabel->setBuddy(txtFilter);
    auto* filterLayout = new QHBoxLayout(filter);
    filterLayout->setContentsMargins(16, 0, 0, 2);
    filterLayout->addWidget(filterLabel);
    filterLayout->addWidget(txtFilter, 1);
    tabs->setCornerWidget(filter, Qt::TopRightCorner);
    auto* marketsPage = new QWidget(tabs);
    grdMarkets = NewOverviewTable(marketsShown, "grdMarkets", marketsPage);
    AddCopyAndExport(grdMarkets, QStringLiteral("Markets"));
    lblTotals = new QLabel(marketsPage);
    lblTotals->setObjectName("lblTotals");
    lblTotals->setWordWrap(true);
    lblTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* legend = new QHBoxLayout;
    // Equal shares: a wrapping label asks for less room than its one line, so none is left to its minimum.
    legend->addWidget(Mark(LeaderChangedIcon(), "Leader changed in the round (bold)", marketsPage), 1);
    legend->addSpacing(16);
    legend->addWidget(Mark(NewHighIcon(), "New high bid in the round (bold)", marketsPage), 1);
    legend->addSpacing(16);
    QLabel* howTo = Note("Double-click or Enter: chart of a market", marketsPage);
    howTo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    legend->addWidget(howTo, 1);
    auto* marketsLayout = new QVBoxLayout(marketsPage);
    marketsLayout->addWidget(grdMarkets, 1);
    marketsLayout->addWidget(lblTotals);
    marketsLayout->addLayout(legend);
    tabs->addTab(marketsPage, "&Markets");

    auto* biddersPage = new QWidget(tabs);
    grdBidders = NewOverviewTable(biddersShown, "grdBidders", biddersPage);
    AddCopyAndExport(grdBidders, QStringLiteral("Bidders"));
    auto* biddersLayout = new QVBoxLayout(biddersPage);
    biddersLayout->addWidget(grdBidders, 1);
    biddersLayout->addWidget(Note("Double-click or Enter: chart of a bidder", biddersPage));
    tabs->addTab(biddersPage, "&Bidders");

    changesPage = new ChangesPage(tabs);
    changesPage->setObjectName("changesPage");
    tabs->addTab(changesPage, "C&hanges");
    eligibilityPage = new EligibilityPage(tabs);
    eligibilityPage->setObjectName("eligibilityPage");
    tabs->addTab(eligibilityPage, "&Eligibility");
    pacePage = new PacePage(tabs);
    pacePage->setObjectName("pacePage");
    tabs->addTab(pacePage, "Roun&ds");

    charts = new ChartPane(tabs);
    charts->setObjectName("charts");
    tabs->addTab(charts, "&Charts");
    alertsPage = new AlertLogPage(session.Current() ? session.Current()->Path() : std::string(), tabs);
    alertsPage->setObjectName("alertsPage");
    tabs->addTab(alertsPage, "&Alerts");

    AddWatchEntry(grdMarkets, [this](const QModelIndex& index) {
        const standings::Licence& l = history_->Licences()[static_cast<std::size_t>(
            markets->Row(marketsShown->mapToSource(index).row()).licence)];
        report::WatchRule rule;
        rule.when = report::WatchWhen::NewLeader;
        rule.market = l.market;
        if (!QString::fromStdString(l.block).trimmed().isEmpty()) rule.block = l.block;
        return rule;
    });
    AddWatchEntry(grdBidders, [this](const QModelIndex& index) {
        report::WatchRule rule;
        rule.when = report::WatchWhen::GainsOrLosesLead;
        rule.bidder = history_->Bidders()[static_cast<std::size_t>(
            bidders->Row(biddersShown->mapToSource(index).row()).bidder)];
        return rule;
    });
    AddWatchEntry(eligibilityPage->grdEligibility, [](const QModelIndex& index) {
        report::WatchRule rule;
        rule.when = report::WatchWhen::EligibilityFalls;
        rule.bidder = index.siblingAtColumn(EligibilityModel::Bidder).data().toString().toStdString();
        return rule;
    });

    // Below the tabs, where even the narrowest window leaves it room: the page of the round, the amounts and
    // the round compared with, as chosen here.
    auto* actions = new QWidget(this);
    actions->setObjectName("actions");
    cmdExportReport = new QPushButton("E&xport Report\u2026", actions);
    cmdExportReport->setObjectName("cmdExportReport");
    cmdExportReport->setEnabled(false);
    auto* actionsLayout = new QHBoxLayout(actions);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->addStretch();
    actionsLayout->addWidget(cmdExportReport);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblProblem);
    layout->addWidget(controls);
    layout->addWidget(tabs, 1);
    layout->addWidget(actions);

    connect(cboRound, &QComboBox::currentIndexChanged, this, [this] { Compute(); });
    connect(optNet, &QRadioButton::toggled, this, [this] { Compute(); });
    connect(cboMarketData, &QComboBox::currentIndexChanged, this, [this] {
        Desktop().SaveSetting(kSettingsApp, kMarketDataSection, settingsKey_,
                              cboMarketData->currentText().toStdString());
        Compute();
    });
    connect(txtFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        marketsShown->SetText(text);
        biddersShown->SetText(text);
        changesPage->SetFilter(text);
        eligibilityPage->SetFilter(text);
    });
    connect(changesPage->cboSince, &QComboBox::currentIndexChanged, this, [this] { ComputeChanges(); });
    connect(grdMarkets, &QTableView::activated, this, [this](const QModelIndex& index) {
        ShowChart(ChartKind::Market, markets->Row(marketsShown->mapToSource(index).row()).licence);
        tabs->setCurrentWidget(charts);
    });
    connect(grdBidders, &QTableView::activated, this, [this](const QModelIndex& index) {
        ShowChart(ChartKind::Bidder, bidders->Row(biddersShown->mapToSource(index).row()).bidder);
        tabs->setCurrentWidget(charts);
    });
    connect(cmdExportReport, &QPushButton::clicked, this, [this] {
        if (!history_ || !session_ || !session_->Current()) return;
        ExportRoundReport(this, history_, session_->Current()->Path(),
                          {ChosenRound(), changesPage->ChosenSince(), ChosenMeasure(), tables_,
                           cboMarketData->currentIndex()});
    });
    connect(charts->cmdTotal, &QPushButton::clicked, this, [this] { ShowChart(ChartKind::Total, 0); });

    resize(1000, 640);
    listening_ = bids.Listen([this] {
        QMetaObject::invokeMethod(
            this, [this] { BidsChanged(); }, Qt::QueuedConnection);
    });
    BidsChanged();
}

frmOverview::~frmOverview() {
    if (bids_) bids_->Unlisten(listening_);
    if (session_) session_->RemoveListener(this);
    if (jobs_ > 0) Desktop().SetBusy(false);
}

bool frmOverview::Busy() const {
    if (jobs_ > 0) return true;
    if (!bids_) return false;
    const standings::BidsSnapshot bids = bids_->Current();
    return bids.reading || bids.version != seen_;
}

// ---- jobs ----

template <class Result>
void frmOverview::Run(std::function<Result()> work, std::function<void(Result&)> done) {
    if (jobs_++ == 0) Desktop().SetBusy(true);
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher, done = std::move(done)] {
        if (--jobs_ == 0) Desktop().SetBusy(false);
        Result result = watcher->result();
        watcher->deleteLater();
        done(result);
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void frmOverview::BidsChanged() {
    if (!bids_) return;
    const standings::BidsSnapshot bids = bids_->Current();
    seen_ = bids.version;
    const bool tablesChanged = bids.tables != tables_;
    if (tablesChanged) {
        tables_ = bids.tables;
        ShowMarketDataChoices();
    }
    if (bids.history && bids.history != history_)
        ShowHistory(bids);
    else if (tablesChanged)
        Compute();
    if (!bids.history && !bids.problem.empty()) {
        ShowNote(QString::fromStdString(bids.problem), false);
    } else if (!bids.failure.empty()) {
        ShowNote(QStringLiteral("The bids cannot be read just now (%1).%2")
                     .arg(QString::fromStdString(bids.failure),
                          bids.reading ? QStringLiteral(" Trying again\u2026") : QString()),
                 true);
    } else if (!bids.history) {
        ShowNote(QStringLiteral("Reading the bids\u2026"), true);
    } else {
        ShowNote({}, true);
    }
}

void frmOverview::ShowHistory(const standings::BidsSnapshot& bids) {
    const int chosen = ChosenRound();
    // Latest, the last entry, moves on to the newest round; a round chosen by its number stays.
    const bool followLatest = cboRound->count() == 0 || cboRound->currentIndex() == cboRound->count() - 1;
    history_ = bids.history;
    rounds_ = bids.rounds;
    optNet->setEnabled(history_->HasNet());
    {
        const QSignalBlocker quiet(cboRound);
        cboRound->clear();
        for (int r : rounds_) cboRound->addItem(QString::number(r), r);
        if (!rounds_.empty())
            cboRound->addItem(QString::fromLatin1(store::kLatestRoundEntry), rounds_.back());
        const int keep = cboRound->findData(wantedRound_ ? wantedRound_ : followLatest ? -1 : chosen);
        if (keep >= 0) wantedRound_ = 0;
        cboRound->setCurrentIndex(keep < 0 ? cboRound->count() - 1 : keep);
    }
    Compute();
}

void frmOverview::ShowMarketDataChoices() {
    const QString chosen = QString::fromStdString(
        Desktop().GetSetting(kSettingsApp, kMarketDataSection, settingsKey_, std::string()));
    {
        const QSignalBlocker quiet(cboMarketData);
        cboMarketData->clear();
        if (tables_)
            for (const standings::MarketDataTable& t : tables_->marketData)
                cboMarketData->addItem(QString::fromStdString(t.name));
        const int index = cboMarketData->findText(chosen, Qt::MatchFixedString);
        cboMarketData->setCurrentIndex(index < 0 ? 0 : index);
    }
    const bool any = cboMarketData->count() > 0;
    cboMarketData->setVisible(any);
    findChild<QLabel*>("lblMarketData")->setVisible(any);
}

void frmOverview::Compute() {
    const int round = ChosenRound();
    if (!history_ || round == 0) return;
    changesPage->SetSinceChoices(rounds_, round);
    const unsigned asked = ++computeAsked_;
    const unsigned changesAsked = ++changesAsked_;
    Run<Computed>(
        [history = history_, round, measure = ChosenMeasure(), last = rounds_.back(),
         since = changesPage->ChosenSince(), tables = tables_, marketData = cboMarketData->currentIndex()] {
            std::optional<standings::LicenceSizes> sizes;
            if (tables && marketData >= 0 && marketData < static_cast<int>(tables->marketData.size()))
                sizes = standings::SizeLicences(tables->marketData[static_cast<std::size_t>(marketData)],
                                                *history);
            auto shown = std::make_shared<standings::RoundStandings>(
                standings::ComputeRound(*history, round, measure, sizes ? &*sizes : nullptr));
            RoundFigures figures = ComputeRoundFigures(*history, *shown, since);
            return Computed{
                std::move(shown),
                TotalChartData(standings::StandingTotals(*history, measure, last), round, measure),
                std::move(figures)};
        },
        [this, asked, changesAsked, history = history_](Computed& c) {
            if (asked != computeAsked_) return;  // another round or amount was chosen meanwhile
            shown_ = c.shown;
            // Another round to compare with may have been chosen since: its own job shows it.
            if (changesAsked == changesAsked_) changesPage->Show(history, c.figures.changes);
            eligibilityPage->Show(history, c.figures);
            pacePage->Show(c.figures);
            totalChart_ = std::move(c.total);
            markets->Set(history, shown_);
            bidders->Set(history, shown_);
            const int round = shown_->round;
            const standings::Totals& t = shown_->totals;
            lblTotals->setText(
                QStringLiteral(
                    "Standing total: %1     Change since round %2: %3     Markets and blocks with a "
                    "high bid: %4     Leader changed in round %5: %6")
                    .arg(FormatAmount(t.standing))
                    .arg(round - 1)
                    .arg(FormatSigned(t.change, HasCents(t.change) ? 2 : 0))
                    .arg(t.withHigh)
                    .arg(round)
                    .arg(t.leaderChanges) +
                PriceTotals(*shown_, tables_, cboMarketData->currentIndex()));
            setWindowTitle(QStringLiteral("Auction Overview - Round %1").arg(round));
            cmdExportReport->setEnabled(true);
            ShowChart(chartKind_, chartOf_);
            emit RoundShown(round);
        });
}

void frmOverview::ComputeChanges() {
    const int round = ChosenRound();
    if (!history_ || round == 0) return;
    const unsigned asked = ++changesAsked_;
    Run<std::shared_ptr<const standings::RoundChanges>>(
        [history = history_, round, since = changesPage->ChosenSince(), measure = ChosenMeasure()] {
            return ComputeChangesOf(*history, round, since, measure);
        },
        [this, asked, history = history_](std::shared_ptr<const standings::RoundChanges>& changes) {
            if (asked != changesAsked_) return;
            changesPage->Show(history, changes);
        });
}

void frmOverview::ShowChart(ChartKind kind, std::int32_t which) {
    chartKind_ = kind;
    chartOf_ = which;
    if (!shown_) return;
    const standings::Measure measure = shown_->measure;
    if (kind == ChartKind::Total) {
        ++chartAsked_;
        charts->SetChart(BuildChart(totalChart_));
        return;
    }
    const unsigned asked = ++chartAsked_;
    Run<ChartData>(
        [history = history_, kind, which, measure, last = rounds_.back()] {
            if (kind == ChartKind::Market)
                return MarketChartData(*history, which,
                                       standings::ComputeMarketHistory(*history, which, measure, last),
                                       measure);
            return BidderChartData(*history, which,
                                   standings::ComputeBidderHistory(*history, which, measure, last), measure);
        },
        [this, asked](ChartData& data) {
            if (asked != chartAsked_) return;
            charts->SetChart(BuildChart(data));
            emit ChartShown();
        });
}

// ---- the window ----

void frmOverview::ShowRound(int round) {
    tabs->setCurrentWidget(alertsPage);
    const int at = cboRound->findData(round);
    if (at < 0) {
        wantedRound_ = round;
        return;
    }
    cboRound->setCurrentIndex(at);
}

void frmOverview::AddWatchEntry(QTableView* view,
                                std::function<report::WatchRule(const QModelIndex&)> ruleOf) {
    QMenu* menu = ContextMenuOf(view);
    menu->addSeparator();
    QAction* watch = menu->addAction(QStringLiteral("&Watch\u2026"));
    watch->setObjectName(QStringLiteral("actWatch"));
    connect(menu, &QMenu::aboutToShow, watch,
            [view, watch] { watch->setEnabled(view->currentIndex().isValid()); });
    connect(watch, &QAction::triggered, this, [this, view, ruleOf = std::move(ruleOf)] {
        const QModelIndex index = view->currentIndex();
        if (!index.isValid() || !history_ || !session_ || !session_->Current() || !bids_) return;
        WatchListDialog* dialog = OpenWatchList(session_->Current()->Path(), *bids_, this, ruleOf(index));
        connect(dialog, &WatchListDialog::Saved, alertsPage, &AlertLogPage::ReadAgain);
    });
}

void frmOverview::ShowNote(const QString& sentence, bool tables) {
    lblProblem->setText(sentence);
    lblProblem->setVisible(!sentence.isEmpty());
    findChild<QWidget*>("controls")->setVisible(tables);
    findChild<QWidget*>("actions")->setVisible(tables);
    tabs->setVisible(tables);
}

standings::Measure frmOverview::ChosenMeasure() const {
    return optNet->isChecked() && optNet->isEnabled() ? standings::Measure::Net : standings::Measure::Gross;
}

int frmOverview::ChosenRound() const {
    return cboRound->currentIndex() < 0 ? 0 : cboRound->currentData().toInt();
}

// ---- the session's news ----

void frmOverview::AuctionOpened(store::Auction&) {
    EndWithAuction();
}

void frmOverview::AuctionClosed() {
    EndWithAuction();
}

void frmOverview::EndWithAuction() {
    // The session tells its listeners from a copy of its list, so leaving it here is safe.
    if (session_) session_->RemoveListener(this);
    session_ = nullptr;
    if (bids_) bids_->Unlisten(listening_);
    bids_ = nullptr;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

}  // namespace corv::overview
