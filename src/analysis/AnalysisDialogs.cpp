#include "analysis/AnalysisDialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/CorvError.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

// UI thread only, like everything of the analyses.
frmRounds* roundsDialog = nullptr;
frmPivotList* pivotListDialog = nullptr;

void DiscardRoundsDialog() {
    delete roundsDialog;
    roundsDialog = nullptr;
}

long WholeNumber(const std::string& text) {
    std::size_t used = 0;
    long n = 0;
    try {
        n = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) throw CorvError(err::TypeMismatch, "Type mismatch");
    return n;
}

}  // namespace

frmRounds::frmRounds(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select Rounds & Bid Type");
    mskFrom = new QLineEdit(this);
    mskTo = new QLineEdit(this);
    for (QLineEdit* field : {mskFrom, mskTo}) {
        field->setInputMask("9999; ");
        field->setMaxLength(4);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("00000") + 16);
        field->installEventFilter(this);
    }
    Label1 = new QLabel("From:", this);
    Label2 = new QLabel("To:", this);
    Label3 = new QLabel(
        "This function will load a copy of Excel 97, it may take a few minutes to load. Enter the "
        "rounds you want to include in the pivot table.",
        this);
    Label3->setWordWrap(true);
    Label3->setMinimumWidth(320);
    cmdOK = new QPushButton("OK", this);
    cmdCancel = new QPushButton("Cancel", this);
    auto* frame = new QGroupBox("Type of Bids to Display", this);
    Frame1 = frame;
    optGross = new QRadioButton("Gross Bids", frame);
    optNet = new QRadioButton("Net Bids", frame);
    optGross->setChecked(true);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(optGross);
    frameLayout->addWidget(optNet);

    auto* fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(mskFrom, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(mskTo, 1, 1);
    fields->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label3);
    layout->addLayout(fields);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    setTabOrder(mskFrom, mskTo);
    setTabOrder(mskTo, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, optGross);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] { hide(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmRounds::ExecModal() {
    mskFrom->setFocus();
    exec();
}

void frmRounds::reject() {
    Cancelled = true;
    QDialog::reject();
}

void frmRounds::closeEvent(QCloseEvent* event) {
    Cancelled = true;
    QDialog::closeEvent(event);
}

// The caret goes to the first position of a field that gets the focus.
bool frmRounds::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, field, [field] { field->setCursorPosition(0); });
    }
    return QDialog::eventFilter(watched, event);
}

frmPivotList::frmPivotList(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select Analysis Criteria");
    Label1 = new QLabel("Select the Licenses to Analyze", this);
    List1 = new QListWidget(this);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cmdOK = new QPushButton("OK", this);
    cmdCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(List1);
    layout->addLayout(buttons);
    setTabOrder(List1, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    connect(cmdOK, &QPushButton::clicked, this, [this] { hide(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmPivotList::ExecModal() {
    List1->setFocus();
    exec();
}

void frmPivotList::reject() {
    Cancelled = true;
    QDialog::reject();
}

void frmPivotList::closeEvent(QCloseEvent* event) {
    Cancelled = true;
    QDialog::closeEvent(event);
}

std::string MaskedText(const QLineEdit& field) {
    std::string text = field.text().toStdString();
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string StartRoundMessage(AnalysisKind kind) {
    const std::string line2 = kind == AnalysisKind::Bidders ? "      outside the range of imported rounds."
                                                            : "     outside the range of imported rounds.";
    const std::string line3 = kind == AnalysisKind::Rounds ? "                Please try again."
                                                           : "               Please try again.";
    return "Error! The starting round you have requested is\r" + line2 + "\r" + line3;
}

std::string EndRoundMessage() {
    return " Error! The ending round you have requested is\r"
           "      outside the range of imported rounds.\r"
           "Would you like to use all available rounds after\r"
           "             the specified starting round?";
}

std::optional<RoundRange> AskRoundRange(frmFlexGrid& viewer, AnalysisKind kind) {
    const long highest = viewer.RoundCount();
    for (;;) {
        if (!roundsDialog) roundsDialog = new frmRounds;
        frmRounds& dialog = *roundsDialog;
        Desktop().RunModal(dialog);
        if (dialog.Cancelled) {
            DiscardRoundsDialog();
            return std::nullopt;
        }
        const std::string from = MaskedText(*dialog.mskFrom);
        if (from.empty()) {
            DiscardRoundsDialog();
            return std::nullopt;
        }
        const std::string to = MaskedText(*dialog.mskTo);
        RoundRange range;
        range.first = WholeNumber(from);
        range.last = to.empty() ? range.first : WholeNumber(to);
        range.net = dialog.optNet->isChecked();
        if (range.first > highest) {
            Desktop().MessageBox(StartRoundMessage(kind), MsgButtons::OK, MsgIcon::Exclamation, "Error");
            continue;
        }
        if (range.last > highest) {
            if (Desktop().MessageBox(EndRoundMessage(), MsgButtons::YesNo, MsgIcon::None, "Error") !=
                MsgAnswer::Yes)
                continue;
            range.last = highest;
        }
        return range;
    }
}

std::optional<std::vector<std::string>> AskAnalysisList(const std::vector<std::string>& items,
                                                        const std::string& prompt) {
    // Every showing starts afresh, so nothing of an earlier analysis carries over.
    delete pivotListDialog;
    pivotListDialog = new frmPivotList;
    frmPivotList& dialog = *pivotListDialog;
    dialog.List1->clear();
    for (const std::string& item : items) dialog.List1->addItem(QString::fromStdString(item));
    dialog.Label1->setText(QString::fromStdString(prompt));
    Desktop().RunModal(dialog);
    if (dialog.Cancelled) return std::nullopt;
    std::vector<std::string> picks;
    for (int i = 0; i < dialog.List1->count(); ++i)
        if (dialog.List1->item(i)->isSelected()) picks.push_back(dialog.List1->item(i)->text().toStdString());
    if (picks.empty()) return std::nullopt;
    return picks;
}

frmRounds* LoadedRoundsDialog() {
    return roundsDialog;
}

frmPivotList* LoadedPivotListDialog() {
    return pivotListDialog;
}

void UnloadAnalysisDialogs() {
    DiscardRoundsDialog();
    delete pivotListDialog;
    pivotListDialog = nullptr;
}

}  // namespace corv
