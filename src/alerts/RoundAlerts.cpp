#include "alerts/RoundAlerts.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent>
#include <algorithm>
#include <exception>

#include "store/RoundImport.h"

namespace corv::alerts {

namespace {

constexpr int kBodyLines = 5;

struct Weighing {
    std::vector<report::Alert> alerts;
    std::string failure;
};

// A list that cannot be used weighs nothing: the overview's Alerts tab says why.
Weighing WeighRounds(const std::string& auctionPath, const standings::BidHistory& history,
                     const QList<int>& rounds) {
    Weighing w;
    try {
        const std::optional<report::WatchList> list =
            report::ReadWatchList(report::WatchListPath(auctionPath));
        if (!list || list->rules.empty()) return w;
        for (int round : rounds) {
            std::vector<report::Alert> fired = report::EvaluateWatchList(*list, history, round);
            w.alerts.insert(w.alerts.end(), fired.begin(), fired.end());
        }
        if (w.alerts.empty()) return w;
        const QDateTime now = QDateTime::currentDateTime();
        const std::string time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
        std::vector<report::LoggedAlert> logged;
        for (const report::Alert& a : w.alerts) logged.push_back({a, time});
        report::AppendAlertLog(report::AlertLogPath(auctionPath), logged);
    } catch (const report::WatchListError&) {
        w.alerts.clear();
    } catch (const std::exception& e) {
        w.failure = e.what();
    }
    return w;
}

}  // namespace

QString NotificationSummary(const std::string& auctionPath, int round) {
    QString auction;
    try {
        auction = QStringLiteral("Auction %1").arg(AuctionNumberOf(auctionPath));
    } catch (const std::exception&) {
        auction = QFileInfo(QString::fromStdString(auctionPath)).completeBaseName();
    }
    return QStringLiteral("%1, round %2").arg(auction).arg(round);
}

QString NotificationBody(const std::vector<report::Alert>& alerts) {
    const bool rounds =
        std::ranges::any_of(alerts, [&](const report::Alert& a) { return a.round != alerts.front().round; });
    QStringList lines;
    for (std::size_t i = 0; i < alerts.size() && i < kBodyLines; ++i) {
        const QString text = QString::fromStdString(alerts[i].text);
        lines << (rounds ? QStringLiteral("Round %1: %2").arg(alerts[i].round).arg(text) : text);
    }
    if (alerts.size() > kBodyLines) lines << QStringLiteral("and %1 more").arg(alerts.size() - kBodyLines);
    return lines.join(u'\n');
}

RoundAlerts::RoundAlerts(store::AuctionSession& session, standings::AuctionBids& bids, QObject* parent)
    : QObject(parent), session_(session), bids_(bids), notifier_(this) {
    session_.AddListener(this);
    listening_ = bids_.Listen([this] {
        QMetaObject::invokeMethod(
            this, [this] { Next(); }, Qt::QueuedConnection);
    });
}

RoundAlerts::~RoundAlerts() {
    bids_.Unlisten(listening_);
    session_.RemoveListener(this);
}

void RoundAlerts::Weigh(const QList<int>& rounds) {
    const store::Auction* auction = session_.Current();
    if (!auction || rounds.isEmpty()) return;
    waiting_.push_back({generation_, auction->Path(), rounds});
    Next();
}

void RoundAlerts::AuctionClosing(store::Auction& /*auction*/) {
    ++generation_;
    waiting_.clear();
}

void RoundAlerts::Next() {
    if (running_ || waiting_.empty()) return;
    const standings::BidsSnapshot bids = bids_.Current();
    const Rounds& first = waiting_.front();
    if (!bids.history || !std::ranges::binary_search(bids.rounds, first.rounds.back())) {
        // Still being read, or never to be: then these rounds have nothing to weigh.
        if (bids.reading) return;
        waiting_.pop_front();
        Next();
        return;
    }
    running_ = true;
    const Rounds batch = waiting_.front();
    waiting_.pop_front();
    auto* watcher = new QFutureWatcher<Weighing>(this);
    connect(watcher, &QFutureWatcher<Weighing>::finished, this, [this, watcher, batch] {
        const Weighing w = watcher->result();
        watcher->deleteLater();
        running_ = false;
        if (batch.auction == generation_) {
            if (!w.failure.empty()) qWarning("Watch list: %s", w.failure.c_str());
            if (!w.alerts.empty())
                notifier_.Notify(NotificationSummary(batch.path, batch.rounds.back()),
                                 NotificationBody(w.alerts), batch.rounds.back());
            emit Weighed(batch.rounds.back(), w.alerts);
        }
        Next();
    });
    watcher->setFuture(QtConcurrent::run(
        [history = bids.history, batch] { return WeighRounds(batch.path, *history, batch.rounds); }));
}

}  // namespace corv::alerts
