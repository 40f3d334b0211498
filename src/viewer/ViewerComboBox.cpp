#include "viewer/ViewerComboBox.h"

namespace corv {

ViewerComboBox::ViewerComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // With a placeholder, filling an empty list selects nothing, so a refill never counts as a choice.
    setPlaceholderText(QStringLiteral(" "));
}

void ViewerComboBox::showPopup() {
    emit DroppingDown();
    QComboBox::showPopup();
}

void ViewerComboBox::hidePopup() {
    QComboBox::hidePopup();
    emit ClosedUp();
}

}  // namespace corv
