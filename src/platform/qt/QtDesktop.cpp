#include "platform/qt/QtDesktop.h"

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStringList>
#include <QTreeView>
#include <QUrl>

namespace corv {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString TitleOrApp(const std::string& title) {
    return title.empty() ? QString(kAppTitle) : Q(title);
}

// Qt tells a file's type by reading it when its name says nothing (an auction's -wal and -shm). Closing that
// read drops every lock this process holds on the file, the open auction's among them; so the file dialogs
// go by names alone.
class IconsByName : public QFileIconProvider {
  public:
    QIcon icon(const QFileInfo& info) const override {
        if (info.isDir()) return QFileIconProvider::icon(Folder);
        return QIcon::fromTheme(Mime(info).iconName(), QFileIconProvider::icon(File));
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QFileIconProvider::type(info);
        return Mime(info).comment();
    }

  private:
    static QMimeType Mime(const QFileInfo& info) {
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
};

QString EnvFolder(const char* name) {
    QByteArray v = qgetenv(name);
    return v.isEmpty() ? QString() : QString::fromLocal8Bit(v);
}

std::string EnsureFolder(const QString& path) {
    if (!path.isEmpty()) QDir().mkpath(path);
    return QDir::cleanPath(path).toStdString();
}

// The widest a message line may be. QMessageBox never grows past the screen's width (on a small screen)
// or 1000 pixels and 480 less than it; the rest leaves room for the icon and margins.
int MessageLineLimit(const QWidget* parent) {
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return 640;
    const int width = screen->availableGeometry().width();
    const int boxLimit = width <= 1024 ? width : std::min(width - 480, 1000);
    return std::clamp(boxLimit - 160, 200, 640);
}

// Every open dialog of the program takes one file. Several names typed into its name box would otherwise
// give the first alone, and the others would be dropped without a word: the dialog says so and stays.
class OneFileDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;
    void accept() override {
        if (acceptMode() == AcceptOpen && selectedFiles().size() > 1) {
            QMessageBox::information(
                this, windowTitle(),
                QStringLiteral("Choose one file: this command takes one file at a time."));
            return;
        }
        QFileDialog::accept();
    }
};

}  // namespace

QString DisplayText(const std::string& text) {
    QString s = Q(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString QtNameFilters(const std::string& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");  // Windows' "every file"
        }
        const QString joined = patterns.join(QLatin1Char(' '));
        // Qt reads the patterns from the last bracketed part: keep one that shows them, else append them.
        const int open = description.lastIndexOf(QLatin1Char('('));
        const bool showsPatterns = description.endsWith(QLatin1Char(')')) && open >= 0 &&
                                   (description.indexOf(QLatin1Char('*'), open) >= 0 ||
                                    description.indexOf(QLatin1Char('?'), open) >= 0);
        if (showsPatterns)
            description = description.left(open) + QLatin1Char('(') + joined + QLatin1Char(')');
        else
            description += QStringLiteral(" (") + joined + QLatin1Char(')');
        out << description;
    }
    if (parts.size() == 1 && !parts[0].isEmpty()) out << parts[0];
    return out.join(QStringLiteral(";;"));
}

MsgAnswer AnswerFromButton(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Ok:
            return MsgAnswer::OK;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Cancel;
    }
}

QtDesktop::QtDesktop() = default;

QtDesktop::~QtDesktop() {
    if (progress_) delete progress_.data();
}

std::unique_ptr<QMessageBox> QtDesktop::BuildMessageBox(const std::string& text, MsgButtons buttons,
                                                        MsgIcon icon, const std::string& title) const {
    auto box = std::make_unique<QMessageBox>(parent_);
    box->setWindowTitle(TitleOrApp(title));
    box->setTextFormat(Qt::PlainText);  // leading blanks and "<" are the program's text
    box->setText(DisplayText(text));
    switch (icon) {
        case MsgIcon::None:
            box->setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Information:
            box->setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Exclamation:
            box->setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Critical:
            box->setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box->setIcon(QMessageBox::Question);
            break;
    }
    switch (buttons) {
        case MsgButtons::OK:
            box->setStandardButtons(QMessageBox::Ok);
            box->setDefaultButton(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Ok);
            break;
        case MsgButtons::OKCancel:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box->setDefaultButton(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::Yes);
            box->setEscapeButton(QMessageBox::No);
            break;
        case MsgButtons::YesNoDefaultNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::No);
            box->setEscapeButton(QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box->setDefaultButton(QMessageBox::Yes);
            box->setEscapeButton(QMessageBox::Cancel);
            break;
    }
    // The program's texts are laid out line by line with leading blanks: the box is wide enough to keep each
    // such line whole. A line longer than the box may be (an error's description) wraps instead, since
    // QMessageBox would otherwise clip the text at its width limit.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFontMetrics fm(label->font());
        int widest = 0;
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            widest = std::max(widest, fm.horizontalAdvance(line));
        label->setWordWrap(true);
        label->setMinimumWidth(std::min(widest + fm.averageCharWidth(), MessageLineLimit(parent_)));
    }
    return box;
}

MsgAnswer QtDesktop::MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                const std::string& title) {
    auto box = BuildMessageBox(text, buttons, icon, title);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    if (!clicked) return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
    return AnswerFromButton(box->standardButton(clicked));
}

std::unique_ptr<QFileDialog> QtDesktop::BuildFileDialog(const FileDialogOptions& options, bool save) const {
    std::unique_ptr<QFileDialog> dialog = std::make_unique<OneFileDialog>(parent_);
    static IconsByName icons;
    dialog->setIconProvider(&icons);
    // The size, type and date columns are as wide as what they hold, not cut off at Qt's fixed widths.
    if (auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView")))
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() : 840;
    dialog->resize(std::min(std::max(dialog->sizeHint().width(), 840), room), dialog->sizeHint().height());
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString filters = QtNameFilters(options.filter);
    if (!filters.isEmpty()) dialog->setNameFilters(filters.split(QStringLiteral(";;")));
    if (!options.initialDir.empty()) dialog->setDirectory(Q(options.initialDir));
    if (!options.title.empty()) dialog->setWindowTitle(Q(options.title));
    if (!options.fileName.empty()) dialog->selectFile(Q(options.fileName));
    // Qt has no read-only check box to hide; hideReadOnly needs nothing here.
    // The program's save dialogs never ask before replacing a file; the command that asked for the name
    // replaces it.
    if (save) dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

std::optional<std::string> QtDesktop::OpenFileDialog(const FileDialogOptions& options) {
    auto dialog = BuildFileDialog(options, false);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().first().toStdString();
}

std::optional<std::string> QtDesktop::SaveFileDialog(const FileDialogOptions& options) {
    auto dialog = BuildFileDialog(options, true);
    // Like one dialog kept for the program's life, it starts with the name (and folder) it last held. An
    // open dialog's choice is not carried over: with no overwrite question, a round file could be replaced.
    if (options.fileName.empty() && options.initialDir.empty() && !lastSaved_.isEmpty())
        dialog->selectFile(lastSaved_);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    lastSaved_ = dialog->selectedFiles().first();
    return lastSaved_.toStdString();
}

std::optional<std::string> QtDesktop::InputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(TitleOrApp(title));
    dialog.setLabelText(DisplayText(prompt));
    dialog.setTextValue(Q(defaultText));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

void QtDesktop::RunModal(ModalDialog& dialog) {
    dialog.ExecModal();
}

void QtDesktop::EndProgram() {
    std::_Exit(0);
}

void QtDesktop::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void QtDesktop::ProgressBegin(const std::string& title, const std::string& text, int maximum,
                              int showAfterMs) {
    ProgressEnd();
    progress_ = new QProgressDialog(DisplayText(text), QStringLiteral("Cancel"), 0, maximum, parent_);
    progress_->setWindowTitle(TitleOrApp(title));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    // Without a delay the window is up at once; with one, the dialog decides from the steps' pace.
    progress_->setMinimumDuration(showAfterMs);
    progress_->setValue(0);
    if (showAfterMs <= 0) progress_->show();
    QCoreApplication::processEvents();
}

bool QtDesktop::ProgressStep(int value, const std::string& text) {
    if (!progress_) return true;
    if (!text.empty()) progress_->setLabelText(DisplayText(text));
    progress_->setValue(value);
    // The work runs on this thread: let the window repaint and the Cancel click arrive.
    QCoreApplication::processEvents();
    return !progress_->wasCanceled();
}

void QtDesktop::ProgressEnd() {
    if (progress_) {
        progress_->close();
        delete progress_.data();
    }
}

bool QtDesktop::MoveToTrash(const std::string& path) {
    // Without the user's data folder Qt makes its trash in the working folder instead.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(Q(path));
}

bool QtDesktop::OpenWithDefaultApplication(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

std::string QtDesktop::ProgramFolder() {
    QString folder = EnvFolder("CORVIDEL_HOME");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') +
                 QLatin1String(kAppTitle);
    return EnsureFolder(folder);
}

std::string QtDesktop::DownloadsFolder() {
    QString folder = EnvFolder("CORVIDEL_DOWNLOADS");
    if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return QDir::cleanPath(folder).toStdString();
}

std::string QtDesktop::GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                  const std::string& defaultValue) {
    QSettings settings(QStringLiteral("Corvidel"), QStringLiteral("Corvidel"));
    settings.beginGroup(Q(section));
    return settings.value(Q(key), Q(defaultValue)).toString().toStdString();
}

void QtDesktop::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                            const std::string& value) {
    QSettings settings(QStringLiteral("Corvidel"), QStringLiteral("Corvidel"));
    settings.beginGroup(Q(section));
    settings.setValue(Q(key), Q(value));
}

}  // namespace corv
