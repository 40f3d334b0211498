#pragma once

#include <QDialog>

#include "platform/qt/DialogModal.h"

class QKeyEvent;
class QPushButton;
class QRadioButton;

namespace corv {

// The start-up question: open an existing auction, create one, or batch-import one.
class frmOpeningQuestions : public QDialog {
    Q_OBJECT
  public:
    // How the dialog went away: the close box, Continue, or Cancel (or Escape).
    enum Outcome { Closed = QDialog::Rejected, Continued = QDialog::Accepted, CancelPressed = 2 };

    explicit frmOpeningQuestions(QWidget* parent = nullptr);

    QRadioButton* optExisting;
    QRadioButton* optNew;
    QRadioButton* optBatch;
    QPushButton* cmdHelp;
    QPushButton* cmdCancel;
    QPushButton* cmdContinue;

  signals:
    void HelpRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace corv
