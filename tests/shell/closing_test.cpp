// Closing the main window: by File > Exit, or by a termination signal once the command under way ends.
#include <gtest/gtest.h>

#include <signal.h>
#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <filesystem>

#include "ShellTestSupport.h"
#include "platform/qt/TerminationSignals.h"
#include "queries/frmQuery.h"
#include "shell/frmMain.h"

namespace corv::test {
namespace {

TEST_F(MainWindowTest, ClosingClosesViewersAndTheAuction) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    w.FileNew();
    w.FileNew();
    ASSERT_EQ(w.Viewers().size(), 2);
    EXPECT_TRUE(w.close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.Viewers().isEmpty());
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(MainWindowTest, ClosingTakesTheQueryBuilderAlong) {
    frmMain w;
    w.show();
    w.MenuItem("mnuToolsSQLCommandLine")->trigger();
    QPointer<frmQuery> builder = w.findChild<frmQuery*>();
    ASSERT_TRUE(builder);
    ASSERT_TRUE(builder->isVisible());
    w.MenuItem("mnuFileExit")->trigger();
    EXPECT_FALSE(builder->isVisible());
}

TEST_F(MainWindowTest, TerminationSignalEndsAsExitDoesOnceTheCommandUnderWayEnds) {
    bool openThroughout = false;
    frmMain w(nullptr, {}, CommandsWith({{"mnuToolsResetTable", [&](CommandContext& c) {
                                              std::raise(SIGTERM);
                                              // Events flow meanwhile, as they do while a round file is read.
                                              QTest::qWait(300);
                                              openThroughout = c.session.Current() && c.window.isVisible();
                                          }}}));
    const std::string path = OpenFixtureAuction(w);
    w.show();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &w, &frmMain::QuitWhenIdle);
    w.FileNew();
    w.MenuItem("mnuToolsResetTable")->trigger();
    EXPECT_TRUE(openThroughout);
    EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.isVisible(); }, 10000));
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    EXPECT_NE(Setting("MainWidth"), "");
}

// Whether pid has a handler of its own for signal, as /proc tells.
bool Catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

TEST_F(MainWindowTest, ATerminationSignalDuringTheSplashEndsTheProgram) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVIDEL_HOME"), QString::fromStdString(folder.Path()));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(folder.File("config")));
    env.remove(QStringLiteral("CORVIDEL_NO_SPLASH"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(CORVIDEL_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Catches(program.processId(), SIGTERM); }, 10000));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    const bool ended = program.waitForFinished(10000);
    if (!ended) program.kill();
    EXPECT_TRUE(ended);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(MainWindowTest, ClosingWithNoAuctionOpenDoesNotFail) {
    frmMain w;
    w.show();
    w.MenuItem("mnuFileExit")->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(Setting("MainWidth"), "6500");
}

}  // namespace
}  // namespace corv::test
