#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopServices.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace corv {

class frmFlexGrid;

// "Select Rounds & Bid Type". One for the whole program, kept between analyses after a success.
class frmRounds : public QDialog, public ModalDialog {
    Q_OBJECT
  public:
    explicit frmRounds(QWidget* parent = nullptr);
    void ExecModal() override;

    QLineEdit* mskFrom = nullptr;
    QLineEdit* mskTo = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optGross = nullptr;
    QRadioButton* optNet = nullptr;
    bool Cancelled = false;

  public slots:
    // Escape and the Cancel button alike.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// "Select Analysis Criteria".
class frmPivotList : public QDialog, public ModalDialog {
    Q_OBJECT
  public:
    explicit frmPivotList(QWidget* parent = nullptr);
    void ExecModal() override;

    QListWidget* List1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    bool Cancelled = false;

  public slots:
    // Escape and the Cancel button alike.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
};

enum class AnalysisKind { Markets, Bidders, Rounds };

struct RoundRange {
    long first = 0;
    long last = 0;
    bool net = false;
    bool operator==(const RoundRange&) const = default;
};

// The masked field's text with its unfilled positions read as nothing.
std::string MaskedText(const QLineEdit& field);

// The messages of a round outside the imported ones, lines joined by "\r".
std::string StartRoundMessage(AnalysisKind kind);
std::string EndRoundMessage();

// The round range and bid type, or nullopt when the user stopped. Throws when a field is not a number.
std::optional<RoundRange> AskRoundRange(frmFlexGrid& viewer, AnalysisKind kind);
// The picked items in list order, or nullopt when the user stopped or picked nothing.
std::optional<std::vector<std::string>> AskAnalysisList(const std::vector<std::string>& items,
                                                        const std::string& prompt);

// The program's one instance of each dialog, created on first use; nullptr while none is loaded.
frmRounds* LoadedRoundsDialog();
frmPivotList* LoadedPivotListDialog();
// Discards the loaded dialogs (tests start clean).
void UnloadAnalysisDialogs();

}  // namespace corv
