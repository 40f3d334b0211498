#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QScreen>
#include <QThread>
#include <memory>

#include "engine/JetReader.h"
#include "platform/qt/QtDesktop.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Corvidel");
    QApplication::setApplicationName("Corvidel");
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(CORVIDEL_VERSION_MAJOR)
                                            .arg(CORVIDEL_VERSION_MINOR)
                                            .arg(CORVIDEL_VERSION_PATCH));
    corv::InitShellResources();
    QApplication::setWindowIcon(QIcon(":/icons/corvidel.png"));

    corv::QtDesktop desktop;
    corv::SetDesktop(&desktop);
    // A Jet file is read while this thread waits: keep repainting, under the busy pointer, taking no input.
    corv::SetJetReaderWaitHook([&desktop](corv::ReaderWait w) {
        if (w == corv::ReaderWait::Tick)
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        else
            desktop.SetBusy(w == corv::ReaderWait::Begin);
    });

    std::unique_ptr<corv::frmSplash> splash;
    if (qEnvironmentVariableIsEmpty("CORVIDEL_NO_SPLASH")) {
        splash = std::make_unique<corv::frmSplash>();
        splash->adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            splash->move(screen->availableGeometry().center() - splash->rect().center());
        splash->show();
        splash->repaint();
        QApplication::processEvents();
    }

    corv::frmMain mainWindow;
    desktop.setParentWindow(&mainWindow);

    if (splash) {
        // A fixed pause, the same on every machine, long enough to read the splash.
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 1500) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        splash->close();
        splash.reset();
    }

    mainWindow.show();
    mainWindow.FileOpen();
    return app.exec();
}
