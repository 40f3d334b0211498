#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/qt/DialogModal.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/TerminationSignals.h"

using namespace corv;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs action on the modal widget once it is up; closes whatever is modal anyway so exec() always returns.
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(50, [action] {
        QPointer<QWidget> w = QApplication::activeModalWidget();
        if (w) action(w);
        QTimer::singleShot(0, [w] {
            if (w && w->isVisible()) w->close();
        });
    });
}

class QtDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override { App(); }
    QtDesktop desktop;
};

}  // namespace

TEST(QtNameFiltersTest, ConvertsDescriptionPatternPairs) {
    EXPECT_EQ(QtNameFilters("Access (*.mdb)|*.mdb").toStdString(), "Access (*.mdb)");
    EXPECT_EQ(QtNameFilters("Access (*.mdb)|*.mdb|Text (*.txt)|*.txt").toStdString(),
              "Access (*.mdb);;Text (*.txt)");
    // Windows' "every file" and ";"-separated lists.
    EXPECT_EQ(QtNameFilters("All Files (*.*)|*.*").toStdString(), "All Files (*)");
    EXPECT_EQ(QtNameFilters("Databases|*.mdb;*.db").toStdString(), "Databases (*.mdb *.db)");
    // A bracket that is not a pattern list stays part of the description.
    EXPECT_EQ(QtNameFilters("Text (tab delimited)|*.txt").toStdString(), "Text (tab delimited) (*.txt)");
    EXPECT_EQ(QtNameFilters("").toStdString(), "");
}

TEST(DisplayTextTest, CarriageReturnsBecomeLinesAndBlanksStay) {
    EXPECT_EQ(DisplayText("This file does not contain round 1!\r           Please try again.").toStdString(),
              "This file does not contain round 1!\n           Please try again.");
    EXPECT_EQ(DisplayText("a\r\nb\rc").toStdString(), "a\nb\nc");
}

TEST_F(QtDesktopTest, MessageBoxCarriesTitleIconButtonsAndWholeLines) {
    auto box = desktop.BuildMessageBox(
        "Auction 12 has been successfully created.\r   Would you like to delete "
        "the round\r      results file you just imported?",
        MsgButtons::YesNo, MsgIcon::None, "Round Imported Successfully");
    EXPECT_EQ(box->windowTitle().toStdString(), "Round Imported Successfully");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(
        box->text().toStdString(),
        "Auction 12 has been successfully created.\n   Would you like to delete the round\n      results "
        "file you just imported?");

    auto untitled =
        desktop.BuildMessageBox("Error:76 Path not found", MsgButtons::OK, MsgIcon::Information, "");
    EXPECT_EQ(untitled->windowTitle().toStdString(), "Corvidel");
    EXPECT_EQ(untitled->icon(), QMessageBox::Information);
    EXPECT_EQ(untitled->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(desktop.BuildMessageBox("x", MsgButtons::OKCancel, MsgIcon::Critical, "")->icon(),
              QMessageBox::Critical);
    EXPECT_EQ(
        desktop.BuildMessageBox("x", MsgButtons::YesNoCancel, MsgIcon::Exclamation, "")->standardButtons(),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

TEST_F(QtDesktopTest, ProgramLinesStayWholeAndALongLineWrapsInsideTheScreen) {
    auto lines = desktop.BuildMessageBox(
        "      In order to batch import a new auction, you must have the round results\r"
        "files for all the rounds of the auction you intend to create, in the same directory.\r"
        "       Do you have the all of the round results files in the same directory?",
        MsgButtons::YesNo, MsgIcon::None, "");
    lines->show();
    QApplication::processEvents();
    auto* label = lines->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_LT(label->height(), 4 * label->fontMetrics().lineSpacing());  // three lines, none broken
    lines->close();

    const std::string error =
        "Error:3343 The round results file /home/someone/Downloads/auction 31/31_006.mdb cannot be read: the "
        "file is not a whole number of pages: it is truncated or damaged. Download it again and import it "
        "once more.";
    auto box = desktop.BuildMessageBox(error, MsgButtons::OK, MsgIcon::None, "");
    box->show();
    QApplication::processEvents();
    label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    const QFontMetrics fm(label->font());
    EXPECT_GT(label->height(), 2 * fm.lineSpacing());  // wrapped onto lines of its own
    // Every wrapped line is inside the label, the label inside the box, the box on the screen.
    EXPECT_GE(label->height(), label->heightForWidth(label->width()));
    EXPECT_TRUE(box->rect().contains(label->geometry())) << label->geometry().right() << " " << box->width();
    EXPECT_LE(box->frameGeometry().width(), box->screen()->availableGeometry().width());
    box->close();
}

TEST_F(QtDesktopTest, MessageBoxReturnsTheClickedButton) {
    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(desktop.MessageBox("Question?", MsgButtons::YesNo, MsgIcon::None, "T"), MsgAnswer::No);

    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(desktop.MessageBox("Question?", MsgButtons::YesNo, MsgIcon::None, "T"), MsgAnswer::Yes);

    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(desktop.MessageBox("Note", MsgButtons::OK, MsgIcon::Information, ""), MsgAnswer::OK);
}

TEST_F(QtDesktopTest, EnterAnswersNoWhereNoIsTheDefault) {
    WhenModal([](QWidget* w) {
        if (qobject_cast<QMessageBox*>(w)) QTest::keyClick(w, Qt::Key_Return);
    });
    EXPECT_EQ(desktop.MessageBox("Replace?", MsgButtons::YesNoDefaultNo, MsgIcon::Question, "T"),
              MsgAnswer::No);
}

TEST_F(QtDesktopTest, FileDialogTakesFilterFolderTitleAndName) {
    QTemporaryDir dir;
    FileDialogOptions o;
    o.filter = "Access (*.mdb)|*.mdb|All (*.*)|*.*";
    o.initialDir = dir.path().toStdString();
    o.title = "Pick";
    auto open = desktop.BuildFileDialog(o, false);
    EXPECT_EQ(open->nameFilters(), (QStringList{"Access (*.mdb)", "All (*)"}));
    EXPECT_EQ(QDir(open->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_EQ(open->windowTitle().toStdString(), "Pick");
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);

    o.title.clear();
    o.fileName = "out.txt";
    auto save = desktop.BuildFileDialog(o, true);
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(save->defaultSuffix().isEmpty());
}

// Qt reads a file to tell its type when its name says nothing; closing that read would drop the locks this
// process holds on it, as on the open auction's -shm.
TEST_F(QtDesktopTest, FileDialogsLeaveTheFilesTheyListUnread) {
    QTemporaryDir dir;
    const QString shm = dir.filePath(QStringLiteral("Auction1.mdb-shm"));
    QFile file(shm);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write("not a name Qt knows the type of");
    file.flush();
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 128;
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(file.handle(), F_SETLK, &lock), 0);
    const auto locked = [&] {
        QFile locks(QStringLiteral("/proc/locks"));
        locks.open(QIODevice::ReadOnly);
        struct stat st {};
        ::stat(shm.toLocal8Bit().constData(), &st);
        const QString inode = QStringLiteral(":%1 ").arg(st.st_ino);
        return QString::fromLatin1(locks.readAll()).contains(inode);
    };
    ASSERT_TRUE(locked());

    FileDialogOptions o;
    o.initialDir = dir.path().toStdString();
    auto dialog = desktop.BuildFileDialog(o, false);
    dialog->show();
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_TRUE(model);
    QTRY_VERIFY(!model->type(model->index(shm)).isEmpty());
    EXPECT_TRUE(locked());
}

TEST_F(QtDesktopTest, CancelledFileDialogGivesNothing) {
    QTemporaryDir dir;
    FileDialogOptions o;
    o.filter = "Access (*.mdb)|*.mdb";
    o.initialDir = dir.path().toStdString();
    WhenModal([](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    });
    EXPECT_FALSE(desktop.OpenFileDialog(o).has_value());
}

TEST_F(QtDesktopTest, ChosenFileIsReturned) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("12_001.mdb"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    FileDialogOptions o;
    o.filter = "Access (*.mdb)|*.mdb";
    o.initialDir = dir.path().toStdString();
    WhenModal([path](QWidget* w) {
        if (auto* d = qobject_cast<QFileDialog*>(w)) {
            if (auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(path);
            QMetaObject::invokeMethod(d, "accept");
        }
    });
    auto chosen = desktop.OpenFileDialog(o);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QFileInfo(QString::fromStdString(*chosen)).canonicalFilePath(),
              QFileInfo(path).canonicalFilePath());
}

TEST_F(QtDesktopTest, SeveralNamesTypedIntoAnOpenDialogAreRefusedAndItStaysOpen) {
    QTemporaryDir dir;
    QStringList typed;
    for (const char* name : {"12_002.mdb", "12_003.mdb"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        typed << QStringLiteral("\"%1\"").arg(QString::fromLatin1(name));
    }
    FileDialogOptions o;
    o.filter = "Access (*.mdb)|*.mdb";
    o.initialDir = dir.path().toStdString();
    QString told;
    bool stayed = false;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        auto* edit = d ? d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!edit) return;
        QTest::keyClicks(edit, typed.join(' '));
        WhenModal([&](QWidget* box) {
            if (auto* m = qobject_cast<QMessageBox*>(box)) told = m->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTest::keyClick(edit, Qt::Key_Return);
        stayed = d->isVisible();
        if (stayed) QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(desktop.OpenFileDialog(o).has_value());
    EXPECT_EQ(told.toStdString(), "Choose one file: this command takes one file at a time.");
    EXPECT_TRUE(stayed);
}

TEST_F(QtDesktopTest, SaveDialogStartsWithTheNameItLastHeld) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bids.txt"));
    FileDialogOptions o;
    o.filter = "Tab Delimited Text (*.txt)|*.txt|";
    WhenModal([path](QWidget* w) {
        if (auto* d = qobject_cast<QFileDialog*>(w)) {
            if (auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(path);
            QMetaObject::invokeMethod(d, "accept");
        }
    });
    ASSERT_TRUE(desktop.SaveFileDialog(o).has_value());
    QString shownName, shownDir;
    WhenModal([&](QWidget* w) {
        if (auto* d = qobject_cast<QFileDialog*>(w)) {
            if (auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                shownName = edit->text();
            shownDir = d->directory().absolutePath();
            d->reject();
        }
    });
    EXPECT_FALSE(desktop.SaveFileDialog(o).has_value());
    EXPECT_EQ(shownName, QStringLiteral("bids.txt"));
    EXPECT_EQ(QFileInfo(shownDir).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
}

TEST_F(QtDesktopTest, InputBoxReturnsTextOrNothing) {
    WhenModal([](QWidget* w) {
        if (auto* d = qobject_cast<QInputDialog*>(w)) {
            EXPECT_EQ(d->labelText().toStdString(), "Name\nplease");
            EXPECT_EQ(d->textValue().toStdString(), "def");
            EXPECT_EQ(d->windowTitle().toStdString(), "Corvidel");
            d->setTextValue(QStringLiteral("typed"));
            d->accept();
        }
    });
    EXPECT_EQ(desktop.InputBox("Name\rplease", "", "def"), std::optional<std::string>("typed"));

    WhenModal([](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    });
    EXPECT_EQ(desktop.InputBox("Name", "Title", ""), std::nullopt);
}

TEST_F(QtDesktopTest, RunModalWaitsForTheDialogWhileItIsTheModalWindow) {
    QDialog dialog;
    DialogModal modal(dialog);
    bool wasModal = false;
    WhenModal([&](QWidget* w) {
        wasModal = w == &dialog;
        dialog.done(QDialog::Accepted);
    });
    desktop.RunModal(modal);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(QtDesktopTest, BusyPointerNests) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    desktop.SetBusy(true);
    desktop.SetBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    desktop.SetBusy(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    desktop.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    desktop.SetBusy(false);  // an unmatched release does no harm
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtDesktopTest, ProgressShowsStepsAndReportsCancel) {
    desktop.ProgressBegin("Batch Import", "Round 1 of 3", 3);
    QProgressDialog* p = desktop.progressDialog();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->windowTitle().toStdString(), "Batch Import");
    EXPECT_EQ(p->maximum(), 3);
    EXPECT_TRUE(desktop.ProgressStep(1, "Round 2 of 3"));
    EXPECT_EQ(p->value(), 1);
    EXPECT_EQ(p->labelText().toStdString(), "Round 2 of 3");
    p->cancel();
    EXPECT_FALSE(desktop.ProgressStep(2, "Round 3 of 3"));
    desktop.ProgressEnd();
    EXPECT_EQ(desktop.progressDialog(), nullptr);
    EXPECT_TRUE(desktop.ProgressStep(3, "after the end"));  // nothing to cancel any more
}

TEST_F(QtDesktopTest, DelayedProgressAppearsOnlyOnALongerJob) {
    desktop.ProgressBegin("Print", "Printing page 1 of 2", 2, 500);
    QProgressDialog* p = desktop.progressDialog();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(desktop.ProgressStep(1, "Printing page 1 of 2"));
    EXPECT_FALSE(p->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([p] { return p->isVisible(); }, 10000));
    p->cancel();
    EXPECT_FALSE(desktop.ProgressStep(2, "Printing page 2 of 2"));
    desktop.ProgressEnd();
}

TEST_F(QtDesktopTest, FoldersComeFromTheEnvironmentFirst) {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("a/b/home"));
    qputenv("CORVIDEL_HOME", home.toLocal8Bit());
    qputenv("CORVIDEL_DOWNLOADS", dir.path().toLocal8Bit());
    EXPECT_EQ(desktop.ProgramFolder(), home.toStdString());
    EXPECT_TRUE(QDir(home).exists());  // created with its parents
    EXPECT_EQ(desktop.DownloadsFolder(), QDir::cleanPath(dir.path()).toStdString());

    qunsetenv("CORVIDEL_DOWNLOADS");
    EXPECT_EQ(
        desktop.DownloadsFolder(),
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).toStdString());

    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qunsetenv("CORVIDEL_HOME");
    EXPECT_EQ(desktop.ProgramFolder(), dir.filePath(QStringLiteral("data/Corvidel")).toStdString());
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("data/Corvidel"))).exists());
    if (oldData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(QtDesktopTest, SettingsLiveInTheSectionGroup) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    EXPECT_EQ(desktop.GetSetting("Corvidel", "Settings", "MainLeft", "1000"), "1000");
    desktop.SaveSetting("Corvidel", "Settings", "MainLeft", "2250");
    EXPECT_EQ(desktop.GetSetting("Corvidel", "Settings", "MainLeft", "1000"), "2250");
    EXPECT_EQ(desktop.GetSetting("Corvidel", "Other", "MainLeft", "7"), "7");
    QSettings raw(QStringLiteral("Corvidel"), QStringLiteral("Corvidel"));
    EXPECT_EQ(raw.value(QStringLiteral("Settings/MainLeft")).toString().toStdString(), "2250");
}

// Whoever handled the termination signals before gets them back once the program stops handling them.
TEST(TerminationSignalsTest, TheHandlersBeforeAreBackAfterward) {
    App();
    constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction mine {};
    mine.sa_handler = [](int) {};
    sigemptyset(&mine.sa_mask);
    struct sigaction before[3];
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &mine, &before[i]);
    { TerminationSignals handled; }
    for (int i = 0; i < 3; ++i) {
        struct sigaction now {};
        sigaction(kSignals[i], &before[i], &now);
        EXPECT_EQ(now.sa_handler, mine.sa_handler) << strsignal(kSignals[i]);
    }
}
