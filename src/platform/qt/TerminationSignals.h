#pragma once

#include <QObject>

class QSocketNotifier;

namespace corv {

// SIGTERM, SIGINT and SIGHUP (the desktop session ending, kill, Ctrl+C in a terminal) arrive as the signal
// `requested` on the UI thread's event loop, where the program can end as File > Exit does. A second such
// signal ends the program at once (its temporary files removed), for a quit that cannot finish. One object
// at a time; its destructor puts the previous handlers back.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    void requested(int signalNumber);

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corv
