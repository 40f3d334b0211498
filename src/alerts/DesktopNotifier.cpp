#include "alerts/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace corv::alerts {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");
// The icon's name in the desktop's theme, as the .desktop file's Icon= has it.
const QString kIconName = QStringLiteral("corvidel");
constexpr int kTrayMessageMs = 10000;

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

void DesktopNotifier::Notify(const QString& summary, const QString& body, int round) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Fallback(summary, body, round);
        return;
    }
    if (!listening_) {
        // Any sender: naming the service would have Qt ask the bus for its owner and wait for the answer.
        listening_ = bus.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"), this,
                                 SLOT(ActionInvoked(uint, QString)));
    }
    auto* asked = new QDBusPendingCallWatcher(bus.asyncCall(Call(QStringLiteral("GetCapabilities"))), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [=, this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError())
            Fallback(summary, body, round);
        else
            Send(summary, body, round, reply.value().contains(QStringLiteral("actions")));
    });
}

void DesktopNotifier::Send(const QString& summary, const QString& body, int round, bool actions) {
    QDBusMessage call = Call(QStringLiteral("Notify"));
    const QStringList actionList =
        actions ? QStringList{kDefaultAction, QStringLiteral("Show")} : QStringList{};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.corvidel.Corvidel")}};
    call << QStringLiteral("Corvidel") << 0u << kIconName << summary << body << actionList << hints << -1;
    auto* sent = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(sent, &QDBusPendingCallWatcher::finished, this, [=, this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            Fallback(summary, body, round);
            return;
        }
        if (actions) rounds_.insert(reply.value(), round);
        emit Delivered(Route::Bus);
    });
}

void DesktopNotifier::ActionInvoked(uint id, const QString& action) {
    if (action == kDefaultAction && rounds_.contains(id)) emit ShowRound(rounds_.take(id));
}

void DesktopNotifier::Fallback(const QString& summary, const QString& body, int round) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        emit Delivered(Route::None);
        return;
    }
    if (!tray_) {
        tray_ = new QSystemTrayIcon(
            QIcon::fromTheme(kIconName, QIcon(QStringLiteral(":/icons/corvidel.png"))), this);
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] { emit ShowRound(trayRound_); });
        tray_->show();
    }
    trayRound_ = round;
    tray_->showMessage(summary, body, QSystemTrayIcon::Information, kTrayMessageMs);
    emit Delivered(Route::Tray);
}

}  // namespace corv::alerts
