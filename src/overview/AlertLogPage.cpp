#include "overview/AlertLogPage.h"

#include <QBoxLayout>
#include <QDateTime>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>
#include <QtConcurrent>
#include <vector>

#include "overview/OverviewTableCopy.h"
#include "report/WatchList.h"

namespace corv::overview {

namespace {

struct LogRead {
    std::vector<report::LoggedAlert> alerts;
    QStringList notes;
};

LogRead ReadLog(const std::string& auctionPath) {
    LogRead read;
    const std::string watchPath = report::WatchListPath(auctionPath);
    try {
        report::ReadWatchList(watchPath);
    } catch (const report::WatchListError& e) {
        read.notes << QString::fromStdString(e.Describe(watchPath)) +
                          QStringLiteral(" No rule is weighed until the file is mended.");
    } catch (const std::exception& e) {
        read.notes << QString::fromStdString(e.what());
    }
    try {
        read.alerts = report::ReadAlertLog(report::AlertLogPath(auctionPath));
    } catch (const std::exception& e) {
        read.notes << QString::fromStdString(e.what());
    }
    return read;
}

QString ShownTime(const std::string& iso) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(iso), Qt::ISODate);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString::fromStdString(iso);
}

}  // namespace

AlertLogPage::AlertLogPage(std::string auctionPath, QWidget* parent)
    : QWidget(parent), auctionPath_(std::move(auctionPath)) {
    lblNote = new QLabel(this);
    lblNote->setObjectName("lblAlertNote");
    lblNote->setWordWrap(true);
    lblNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblNote->hide();
    model = new QStandardItemModel(0, 3, this);
    model->setHorizontalHeaderLabels({"Round", "Time", "Alert"});
    grdAlerts = new QTableView(this);
    grdAlerts->setObjectName("grdAlerts");
    grdAlerts->setModel(model);
    grdAlerts->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdAlerts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdAlerts->verticalHeader()->hide();
    grdAlerts->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grdAlerts->horizontalHeader()->setStretchLastSection(true);
    AddCopyAndExport(grdAlerts, QStringLiteral("Alerts"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblNote);
    layout->addWidget(grdAlerts, 1);
    layout->addWidget(
        new QLabel("Newest first. Tools > Watch List\u2026 or \u201cWatch\u2026\u201d on a row of "
                   "the Markets, Bidders or Eligibility tab says what is watched.",
                   this));
    ReadAgain();
}

void AlertLogPage::ReadAgain() {
    if (reading_) {
        again_ = true;
        return;
    }
    reading_ = true;
    auto* watcher = new QFutureWatcher<LogRead>(this);
    connect(watcher, &QFutureWatcher<LogRead>::finished, this, [this, watcher] {
        const LogRead read = watcher->result();
        watcher->deleteLater();
        model->removeRows(0, model->rowCount());
        for (auto it = read.alerts.rbegin(); it != read.alerts.rend(); ++it) {
            auto* round = new QStandardItem(QString::number(it->alert.round));
            round->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            model->appendRow({round, new QStandardItem(ShownTime(it->time)),
                              new QStandardItem(QString::fromStdString(it->alert.text))});
        }
        lblNote->setText(read.notes.join(u'\n'));
        lblNote->setVisible(!read.notes.isEmpty());
        reading_ = false;
        if (std::exchange(again_, false))
            ReadAgain();
        else
            emit Read();
    });
    watcher->setFuture(QtConcurrent::run([path = auctionPath_] { return ReadLog(path); }));
}

}  // namespace corv::overview
