#pragma once

#include <string>

#include <QDialog>

#include "platform/DesktopServices.h"
#include "store/TextTableImport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace corv {

namespace store {
class Auction;
}

// File > Import Table from Text File: the file's format as detected (changeable), a preview of its first
// rows with each column's guessed type and an editable name, and the table's name. OK reads the whole file
// and writes the table on the auction's writer, in slices under a progress window that can cancel. Lives
// and works on the user-interface thread.
class frmTextImport : public QDialog, public ModalDialog {
    Q_OBJECT
  public:
    // Reads the file at once; a file that cannot be read throws CorvError before anything is shown.
    frmTextImport(store::Auction& auction, const std::string& path, QWidget* parent = nullptr);
    void ExecModal() override { exec(); }

    QLineEdit* txtTableName = nullptr;
    QComboBox* cboDelimiter = nullptr;
    QComboBox* cboEncoding = nullptr;
    QCheckBox* chkHeader = nullptr;
    QTableWidget* grdColumns = nullptr;  // one row per column: its name (editable) and its guessed type
    QTableWidget* grdPreview = nullptr;
    QLabel* lblStatus = nullptr;

    // The rows the last import wrote.
    std::size_t RowsWritten() const { return written_; }

    void accept() override;
    void reject() override;

  private:
    void Reread();  // the preview again, after the format changed
    void ShowColumnNames();
    store::TextFormat Format() const;
    std::vector<store::TextColumn> EditedColumns() const;
    // Whole-file work: false when it ended without a table (cancelled, refused, failed; told already).
    bool Import();

    store::Auction& auction_;
    std::string path_;
    std::string bytes_;
    std::string text_;  // bytes_ decoded with the chosen encoding
    store::TextEncoding decodedAs_{};
    store::TextScan preview_;
    std::size_t written_ = 0;
    bool importing_ = false;
};

// The command: a text file chosen, then the dialog on the open auction.
void ImportTableFromText(store::Auction* auction, QWidget* parent);

}  // namespace corv
