#pragma once

#include <QDialog>

#include "platform/DesktopServices.h"

namespace corv {

// Lets the desktop services show any Qt dialog modally, so tests can answer it instead.
class DialogModal : public ModalDialog {
  public:
    explicit DialogModal(QDialog& dialog) : dialog_(dialog) {}
    void ExecModal() override { dialog_.exec(); }
    QDialog& Dialog() const { return dialog_; }

  private:
    QDialog& dialog_;
};

}  // namespace corv
