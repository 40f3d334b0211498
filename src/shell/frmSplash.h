#pragma once

#include <QWidget>

class QFrame;
class QLabel;

namespace corv {

// Shown while the main window is built; no buttons, no input.
class frmSplash : public QWidget {
    Q_OBJECT
  public:
    explicit frmSplash(QWidget* parent = nullptr);

    QFrame* fraMainFrame;
    QLabel* picLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblProductName;
    QLabel* lblPlatform;
    QLabel* lblVersion;
    QLabel* lblWarning;
    QLabel* lblCompany;
};

}  // namespace corv
