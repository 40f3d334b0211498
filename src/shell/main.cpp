#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "engine/jet/JetReader.h"
#include "platform/InstallPaths.h"
#include "platform/TempFileCleanup.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/SystemJetLocale.h"
#include "platform/qt/TerminationSignals.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"

namespace {

void NameTheApplication() {
    QCoreApplication::setOrganizationName("Corvidel");
    QCoreApplication::setApplicationName("Corvidel");
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(CORVIDEL_VERSION_MAJOR)
                                                .arg(CORVIDEL_VERSION_MINOR)
                                                .arg(CORVIDEL_VERSION_PATCH));
}

// The file to open, if one was named. --help and --version print and exit here, before any window system
// is needed, so they work in a terminal without a display.
std::optional<std::string> ReadCommandLine(int argc, char** argv) {
    QCoreApplication cli(argc, argv);
    NameTheApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Follows a spectrum auction round by round. FILE is an auction database to open, or a round results\n"
        "file: round 1 creates its auction, a later round is imported after the opening question.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("FILE", "An auction database or a round results file.", "[FILE]");
    parser.process(cli);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.helpText()));
        std::exit(2);
    }
    if (files.isEmpty()) return std::nullopt;
    return QFileInfo(files.front()).absoluteFilePath().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<std::string> file = ReadCommandLine(argc, argv);
    QApplication app(argc, argv);
    corv::LocateJetReader();
    corv::CleanTempFilesAtStart(false);  // termination signals quit as File > Exit does
    NameTheApplication();
    corv::SetJetLocale(corv::JetLocaleOf(QLocale::system()));  // before any thread evaluates SQL
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
    corv::TerminationSignals terminate;
    bool quitting = false;
    QObject::connect(&terminate, &corv::TerminationSignals::requested, &mainWindow, [&] {
        quitting = true;
        mainWindow.QuitWhenIdle();
    });

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
    // Asked to end during the splash: the window has closed as File > Exit closes it, and is not shown.
    if (quitting) return 0;

    mainWindow.show();
    if (file)
        mainWindow.OpenCommandLineFile(*file);
    else
        mainWindow.FileOpen();
    return app.exec();
}
