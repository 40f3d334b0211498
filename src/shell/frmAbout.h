#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QPlainTextEdit;

namespace corv {

// About box: version, a word on the program, the disclaimer, and a way to the system information.
class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QPlainTextEdit* Text1;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

    // Starts the first system information program found on the PATH, else says none is available.
    void StartSysInfo();
    // The programs looked for, in order of preference.
    QStringList sysInfoPrograms;
};

// The first of programs found on the PATH (full path), or empty.
QString FindSysInfoProgram(const QStringList& programs);

}  // namespace corv
