// The overview's Alerts tab: the auction's alert log, newest first, and a note when the watch list cannot be
// used or the log cannot be read.
//
// Threads: the page belongs to the user-interface thread; the files are read on the global thread pool and
// the result comes back through a watcher the page owns. A read asked for while one runs follows it.
#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QStandardItemModel;
class QTableView;

namespace corv::overview {

class AlertLogPage : public QWidget {
    Q_OBJECT
  public:
    AlertLogPage(std::string auctionPath, QWidget* parent);
    // Reads the log and the watch list again (after alerts were logged, or the list was edited).
    void ReadAgain();
    bool Reading() const { return reading_; }

    QLabel* lblNote;
    QTableView* grdAlerts;
    QStandardItemModel* model;

  signals:
    void Read();

  private:
    std::string auctionPath_;
    bool reading_ = false;
    bool again_ = false;
};

}  // namespace corv::overview
