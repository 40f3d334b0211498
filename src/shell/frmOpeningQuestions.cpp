#include "shell/frmOpeningQuestions.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corv {

frmOpeningQuestions::frmOpeningQuestions(QWidget* parent) : QDialog(parent) {
    setObjectName("frmOpeningQuestions");
    setWindowTitle("Open an Existing Auction or Create a New One?");
    setModal(true);

    optExisting = new QRadioButton("Open an Existing Auction", this);
    optExisting->setObjectName("optExisting");
    optNew = new QRadioButton("Create a New Auction", this);
    optNew->setObjectName("optNew");
    optBatch = new QRadioButton("Batch Import a New Auction", this);
    optBatch->setObjectName("optBatch");
    optExisting->setChecked(true);

    cmdHelp = new QPushButton("Help", this);
    cmdHelp->setObjectName("cmdHelp");
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdContinue = new QPushButton("Continue", this);
    cmdContinue->setObjectName("cmdContinue");
    cmdContinue->setDefault(true);

    auto* options = new QVBoxLayout;
    options->setSpacing(10);
    options->addWidget(optExisting);
    options->addWidget(optNew);
    options->addWidget(optBatch);
    options->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdHelp);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdContinue);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(options);
    layout->addSpacing(12);
    layout->addLayout(buttons);

    setTabOrder(optExisting, optNew);
    setTabOrder(optNew, optBatch);
    setTabOrder(optBatch, cmdHelp);
    setTabOrder(cmdHelp, cmdCancel);
    setTabOrder(cmdCancel, cmdContinue);

    // Cancel only reports itself: the caller ends the program once the modal wait is over, so nothing is
    // thrown through the dialog's own event handling.
    connect(cmdContinue, &QPushButton::clicked, this, [this] { done(Continued); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { done(CancelPressed); });
    connect(cmdHelp, &QPushButton::clicked, this, &frmOpeningQuestions::HelpRequested);

    setMinimumWidth(380);
}

// Escape is Cancel, as in every dialog; only the close box gives a fresh question. F1 is the Help button.
void frmOpeningQuestions::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        done(CancelPressed);
        return;
    }
    if (event->matches(QKeySequence::HelpContents)) {
        emit HelpRequested();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace corv
