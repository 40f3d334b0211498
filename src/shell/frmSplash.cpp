#include "shell/frmSplash.h"

#include <QFrame>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/ShellText.h"

namespace corv {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int pointSize, bool bold) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(pointSize);
    f.setBold(bold);
    l->setFont(f);
    return l;
}

}  // namespace

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("frmSplash");
    setAttribute(Qt::WA_TransparentForMouseEvents, true);

    fraMainFrame = new QFrame(this);
    fraMainFrame->setObjectName("fraMainFrame");
    fraMainFrame->setFrameShape(QFrame::Box);
    fraMainFrame->setLineWidth(1);

    picLogo = new QLabel(fraMainFrame);
    picLogo->setObjectName("picLogo");
    picLogo->setPixmap(QIcon(":/icons/corvidel.png").pixmap(96, 96));
    picLogo->setFixedSize(100, 100);
    picLogo->setAlignment(Qt::AlignCenter);

    lblCompanyProduct = MakeLabel(fraMainFrame, "lblCompanyProduct", "Corvidel Project", 11, false);
    lblProductName = MakeLabel(fraMainFrame, "lblProductName", "Corvidel", 28, true);
    lblPlatform = MakeLabel(fraMainFrame, "lblPlatform", "For Linux", 14, true);
    lblVersion = MakeLabel(fraMainFrame, "lblVersion", shell::VersionText(), 11, false);
    lblWarning = MakeLabel(fraMainFrame, "lblWarning", QString(), 8, false);
    lblCompany = MakeLabel(fraMainFrame, "lblCompany", QString(), 8, false);
    // The two spare labels carry no text: they take no room either.
    lblWarning->hide();
    lblCompany->hide();
    lblPlatform->setAlignment(Qt::AlignRight);
    lblVersion->setAlignment(Qt::AlignRight);

    auto* grid = new QGridLayout(fraMainFrame);
    grid->setContentsMargins(20, 16, 20, 16);
    grid->setHorizontalSpacing(20);
    grid->addWidget(lblCompanyProduct, 0, 0, 1, 2);
    grid->addWidget(picLogo, 1, 0, 3, 1);
    grid->addWidget(lblProductName, 1, 1);
    grid->addWidget(lblPlatform, 2, 1);
    grid->addWidget(lblVersion, 3, 1);
    grid->addWidget(lblWarning, 4, 0, 1, 2);
    grid->addWidget(lblCompany, 5, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(fraMainFrame);
    setAutoFillBackground(true);
    setMinimumWidth(420);
}

}  // namespace corv
