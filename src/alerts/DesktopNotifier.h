// A desktop notification through org.freedesktop.Notifications on the session bus; without that service, a
// message of the system tray's icon where there is a tray, else nothing (the alert log holds every alert).
//
// Threads: user-interface thread only. Every call to the bus is asynchronous: the window never waits on it.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

namespace corv::alerts {

class DesktopNotifier : public QObject {
    Q_OBJECT
  public:
    enum class Route { Bus, Tray, None };

    explicit DesktopNotifier(QObject* parent = nullptr);
    // round: what choosing the notification opens.
    void Notify(const QString& summary, const QString& body, int round);

  signals:
    // The user chose the notification (its default action, or the tray's message).
    void ShowRound(int round);
    // Where a notification went, once known.
    void Delivered(corv::alerts::DesktopNotifier::Route route);

  private slots:
    void ActionInvoked(uint id, const QString& action);

  private:
    void Send(const QString& summary, const QString& body, int round, bool actions);
    void Fallback(const QString& summary, const QString& body, int round);

    bool listening_ = false;
    QHash<uint, int> rounds_;  // the round of each notification with a default action
    QSystemTrayIcon* tray_ = nullptr;
    int trayRound_ = 0;
};

}  // namespace corv::alerts
