#include "shell/frmAbout.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "platform/DesktopServices.h"
#include "shell/ShellText.h"

namespace corv {

namespace {

QFrame* Line(QWidget* parent, const char* name) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

QString FindSysInfoProgram(const QStringList& programs) {
    for (const QString& p : programs) {
        const QString found = QStandardPaths::findExecutable(p);
        if (!found.isEmpty()) return found;
    }
    return {};
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle("About the Corvidel");
    sysInfoPrograms = {"hardinfo",          "gnome-system-monitor",
                       "kinfocenter",       "mate-system-monitor",
                       "xfce4-taskmanager", "lxtask"};

    picIcon = new QLabel(this);
    picIcon->setObjectName("picIcon");
    picIcon->setPixmap(QIcon(":/icons/corvidel.png").pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName("lblTitle");
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName("lblVersion");

    lblDescription = new QLabel(this);
    lblDescription->setObjectName("lblDescription");
    lblDescription->setWordWrap(true);
    lblDescription->setText(
        "Corvidel was developed by the Corvidel Project to follow spectrum auctions round by round: it "
        "keeps every round's results in one auction database, shows them table by table, and builds "
        "sorted, filtered and pivoted views of the bids. Round results files and further information "
        "are published on the auctioneer's auctions web site.");

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName("Text1");
    Text1->setReadOnly(true);
    Text1->setPlainText(
        "Disclaimer: this program is supplied as it is, without warranty of any kind, express or implied, "
        "including fitness for a particular purpose. The Corvidel Project accepts no liability for any "
        "damages whatsoever arising from the existence, supply or use of this program, or from any "
        "technical advice given about it.");
    Text1->setFixedHeight(86);
    Text1->setTabChangesFocus(true);

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdSysInfo = new QPushButton("&System Info...", this);
    cmdSysInfo->setObjectName("cmdSysInfo");
    cmdSysInfo->setAutoDefault(false);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addWidget(Line(this, "Line1"));
    text->addWidget(lblDescription);

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(10);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Text1);
    layout->addWidget(Line(this, "Line1b"));
    layout->addLayout(buttons);
    setMinimumWidth(460);

    // Loading sets the title and version, as the box always did.
    lblTitle->setText("Corvidel");
    lblVersion->setText(shell::VersionText());

    // OK is both the default and the cancel button: Enter and Escape close the box alike.
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
}

void frmAbout::StartSysInfo() {
    const QString program = FindSysInfoProgram(sysInfoPrograms);
    if (!program.isEmpty() && QProcess::startDetached(program, {})) return;
    Desktop().MessageBox("System Information Is Unavailable At This Time", MsgButtons::OK, MsgIcon::None, "");
}

}  // namespace corv
