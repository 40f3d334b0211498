#pragma once

#include <functional>

#include <QDialog>

#include "queries/TableBuild.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace corv {

// The SQL Query Builder: five clause boxes, built into a new table on OK. Modeless; Cancel only hides it,
// so the texts are there when it is shown again. UI thread only.
class frmQuery : public QDialog {
    Q_OBJECT
  public:
    // runOnActive runs a command on the main window's active viewer, answering "no viewer" itself.
    explicit frmQuery(std::function<void(const std::function<void(frmFlexGrid&)>&)> runOnActive,
                      QWidget* parent = nullptr);

    QLabel* lblSelect = nullptr;
    QLabel* lblInto = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* lblWhere = nullptr;
    QLabel* lblOrderBy = nullptr;
    QPlainTextEdit* txtSelect = nullptr;
    QPlainTextEdit* txtInto = nullptr;
    QPlainTextEdit* txtFrom = nullptr;
    QPlainTextEdit* txtWhere = nullptr;
    QPlainTextEdit* txtOrderBy = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    QueryBoxes Boxes() const;
    void cmdOK_Click();
    void cmdCancel_Click();

    // owner's one builder, made on first use and closed and destroyed with owner; shows it without
    // blocking.
    static frmQuery& Show(QWidget* owner,
                          std::function<void(const std::function<void(frmFlexGrid&)>&)> runOnActive);

  private:
    std::function<void(const std::function<void(frmFlexGrid&)>&)> runOnActive_;
};

}  // namespace corv
