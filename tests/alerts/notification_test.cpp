// Notifications on a session bus of the test's own, with python-dbusmock's notification daemon or no
// service at all.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "AlertTestSupport.h"
#include "alerts/RoundAlerts.h"
#include "overview/frmOverview.h"
#include "shell/frmMain.h"
#include "support/NeededFile.h"

namespace corv::test {
namespace {

const char* const kDaemon = "/usr/bin/dbus-daemon";
const char* const kPython = "/usr/bin/python3";
const char* const kTemplate = "/usr/lib/python3/dist-packages/dbusmock/templates/notification_daemon.py";
const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";

// One bus for the whole run, started before anything connects to the session bus.
struct Bus : QProcess {
    ~Bus() override {
        kill();
        waitForFinished();
    }
};
bool StartBus() {
    static std::unique_ptr<Bus> bus;
    if (bus) return bus->state() == QProcess::Running;
    bus = std::make_unique<Bus>();
    bus->start(kDaemon, {"--session", "--nofork", "--print-address"});
    if (!bus->waitForStarted() || !bus->waitForReadyRead(10000)) return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus->readLine().trimmed());
    return true;
}

bool ServiceOwned() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService);
}

struct NotifyCall {
    QString app, icon, summary, body;
    QStringList actions;
};

QStringList Strings(const QVariant& v) {
    return v.canConvert<QDBusArgument>() ? qdbus_cast<QStringList>(v.value<QDBusArgument>())
                                         : v.toStringList();
}

// Notify as the mock logged it.
std::vector<NotifyCall> NotifyCalls() {
    QDBusMessage ask =
        QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", "GetMethodCalls");
    ask << QStringLiteral("Notify");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(ask);
    std::vector<NotifyCall> calls;
    if (reply.type() != QDBusMessage::ReplyMessage) return calls;
    const QDBusArgument all = reply.arguments().at(0).value<QDBusArgument>();
    all.beginArray();
    while (!all.atEnd()) {
        qulonglong stamp = 0;
        QVariantList args;
        all.beginStructure();
        all >> stamp >> args;
        all.endStructure();
        if (args.size() < 8) continue;
        calls.push_back({args[0].toString(), args[2].toString(), args[3].toString(), args[4].toString(),
                         Strings(args[5])});
    }
    all.endArray();
    return calls;
}

class NotificationTest : public AlertTest {
  protected:
    void SetUp() override {
        CORV_NEED_FILE(kDaemon);
        CORV_NEED_FILE(kPython);
        CORV_NEED_FILE(kTemplate);
        ASSERT_TRUE(StartBus()) << "the session bus did not start";
        AlertTest::SetUp();
    }
    void TearDown() override {
        AlertTest::TearDown();
        if (mock) {
            mock->kill();
            mock->waitForFinished();
        }
    }
    void StartMock(const QString& capabilities) {
        mock = std::make_unique<QProcess>();
        mock->start(kPython, {"-m", "dbusmock", "--template", "notification_daemon", "-p",
                              QStringLiteral("{\"capabilities\": \"%1\"}").arg(capabilities)});
        ASSERT_TRUE(mock->waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor(ServiceOwned, 10000)) << mock->readAllStandardError().toStdString();
    }
    std::unique_ptr<QProcess> mock;
};

class NotifyTest : public NotificationTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NotifyTest, OneNotificationAnImportWithTheAlertsAndShowWhereActionsAreOffered) {
    const bool actions = GetParam();
    {
        StartMock(actions ? "body actions" : "body");
        Open();
        report::WriteWatchList(WatchPath(), EveryMarketWatched(options));
        const std::vector<report::Alert> fired = Import(2);
        ASSERT_GT(fired.size(), 5u) << "too few alerts to fill a notification";
        ASSERT_TRUE(QTest::qWaitFor([] { return !NotifyCalls().empty(); }, 10000));

        const std::vector<NotifyCall> calls = NotifyCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].app, "Corvidel");
        EXPECT_EQ(calls[0].icon, "corvidel");
        EXPECT_EQ(calls[0].summary, "Auction 14, round 2");
        const QStringList lines = calls[0].body.split(u'\n');
        ASSERT_EQ(lines.size(), 6);
        const std::vector<report::LoggedAlert> logged = report::ReadAlertLog(LogPath());
        ASSERT_EQ(logged.size(), fired.size());
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(lines[i].toStdString(), logged[static_cast<std::size_t>(i)].alert.text);
        EXPECT_EQ(lines[5], QStringLiteral("and %1 more").arg(fired.size() - 5));
        EXPECT_EQ(calls[0].actions, actions ? QStringList({"default", "Show"}) : QStringList());

        if (actions) {
            QDBusMessage invoke =
                QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", "EmitSignal");
            invoke << kService << QStringLiteral("ActionInvoked") << QStringLiteral("us")
                   << QVariantList{QVariant::fromValue(QDBusVariant(1u)),
                                   QVariant::fromValue(QDBusVariant(QStringLiteral("default")))};
            QDBusConnection::sessionBus().call(invoke);
            auto* shown = static_cast<overview::frmOverview*>(nullptr);
            ASSERT_TRUE(QTest::qWaitFor([&] {
                shown = window->findChild<overview::frmOverview*>();
                return shown && shown->ShownRound() == 2;
            }));
        }
        // Nothing fires: nothing is sent.
        report::WriteWatchList(WatchPath(), {});
        EXPECT_TRUE(Import(3).empty());
        QTest::qWait(300);
        EXPECT_EQ(NotifyCalls().size(), 1u);
    }
}
INSTANTIATE_TEST_SUITE_P(Capabilities, NotifyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Actions" : "NoActions"; });

TEST_F(NotificationTest, WithoutAServiceTheLogFillsAndNoBoxShows) {
    ASSERT_TRUE(QTest::qWaitFor([] { return !ServiceOwned(); }));
    Open();
    report::WriteWatchList(WatchPath(), EveryMarketWatched(options));
    QSignalSpy delivered(&window->Alerts().Notifier(), &alerts::DesktopNotifier::Delivered);
    const std::vector<report::Alert> fired = Import(2);
    ASSERT_FALSE(fired.empty());
    ASSERT_TRUE(delivered.wait(10000));
    EXPECT_NE(delivered.front().front().value<alerts::DesktopNotifier::Route>(),
              alerts::DesktopNotifier::Route::Bus);
    EXPECT_EQ(report::ReadAlertLog(LogPath()).size(), fired.size());
    EXPECT_TRUE(desktop.boxes.empty());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible());
}

}  // namespace
}  // namespace corv::test
