// Help > Contents, Search and About: the main window's side of the help window and the About box.

#include <QApplication>

#include "platform/DesktopServices.h"
#include "shell/frmMain.h"
#include "shell/frmOpeningQuestions.h"

namespace corv {

void frmMain::HelpContents() {
    ShowHelp(false, false);
}
void frmMain::HelpSearch() {
    ShowHelp(true, false);
}

void frmMain::ShowHelp(bool search, bool quiet) {
    if (helpFile_.isEmpty()) {
        if (!quiet)
            Desktop().MessageBox(
                "Unable to display Help Contents. There is no Help associated with this project.",
                MsgButtons::OK, MsgIcon::Information, windowTitle().toStdString());
        return;
    }
    // While a modal dialog is up, only its own children can be used.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner && OpeningQuestions() && OpeningQuestions()->isVisible()) owner = OpeningQuestions();
    if (!owner) owner = this;
    if (help_ && help_->parentWidget() != owner) {
        help_->close();
        delete help_;
    }
    if (!help_) {
        help_ = new frmHelp(owner);
        help_->setWindowFlag(Qt::Window, true);
    }
    if (!help_->LoadFile(helpFile_)) {
        if (!quiet)
            Desktop().MessageBox("The help file " + helpFile_.toStdString() + " cannot be read.",
                                 MsgButtons::OK, MsgIcon::None, "");
        return;
    }
    if (search)
        help_->ShowSearch(QString());
    else
        help_->ShowContents();
}

void frmMain::HelpAbout() {
    if (!about_) about_ = new frmAbout(this);
    AsCommand([this] {
        DialogModal modal(*about_);
        Desktop().RunModal(modal);
    });
}

}  // namespace corv
