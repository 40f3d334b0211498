#pragma once

#include <QComboBox>

namespace corv {

// A choose-only drop-down list that announces its dropping down (so the caller can refill it first) and
// its closing.
class ViewerComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit ViewerComboBox(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

  signals:
    void DroppingDown();
    void ClosedUp();
};

}  // namespace corv
