#include "shell/DatePanel.h"

#include <QLabel>
#include <QLocale>
#include <algorithm>

namespace corv {

namespace {
// A long single wait drifts when the machine sleeps or its clock is set, so it never waits longer than this.
constexpr qint64 kLongestWaitMs = 60 * 60 * 1000;
}  // namespace

DatePanel::DatePanel(QLabel* panel, Clock now) : QObject(panel), panel_(panel), now_(std::move(now)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &DatePanel::Renew);
    Renew();
}

void DatePanel::Renew() {
    const QDateTime now = now_();
    if (panel_) panel_->setText(QLocale().toString(now.date(), QLocale::ShortFormat));
    // The next local midnight, found through the calendar so a daylight-saving day is as long as it is.
    const QDateTime midnight = now.date().addDays(1).startOfDay();
    const qint64 wait = std::clamp<qint64>(now.msecsTo(midnight), 1, kLongestWaitMs);
    timer_.start(static_cast<int>(wait));
}

}  // namespace corv
