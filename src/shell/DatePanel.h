#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QLabel;

namespace corv {

// Keeps a status panel on the current date in the locale's short form: the text is renewed when the local
// calendar day changes, however long the program runs.
class DatePanel : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;
    explicit DatePanel(QLabel* panel, Clock now = &QDateTime::currentDateTime);

    // The wake-up that renews the text; it is always armed.
    const QTimer& Timer() const { return timer_; }

  private:
    void Renew();

    QPointer<QLabel> panel_;
    Clock now_;
    QTimer timer_;
};

}  // namespace corv
