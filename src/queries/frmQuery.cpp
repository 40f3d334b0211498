#include "queries/frmQuery.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace corv {

namespace {

constexpr int kTwipsPerPixel = 15;
int Px(int twips) {
    return twips / kTwipsPerPixel;
}

}  // namespace

frmQuery::frmQuery(std::function<void(const std::function<void(frmFlexGrid&)>&)> runOnActive, QWidget* parent)
    : QDialog(parent), runOnActive_(std::move(runOnActive)) {
    setWindowTitle("SQL Query Builder");
    setModal(false);
    setFixedSize(Px(5052), Px(5400));
    const int tops[] = {353, 1253, 2153, 3053, 3953};
    const char* captions[] = {"SELECT", "INTO", "FROM", "WHERE", "ORDER BY"};
    QLabel** labels[] = {&lblSelect, &lblInto, &lblFrom, &lblWhere, &lblOrderBy};
    QPlainTextEdit** boxes[] = {&txtSelect, &txtInto, &txtFrom, &txtWhere, &txtOrderBy};
    for (int i = 0; i < 5; ++i) {
        *labels[i] = new QLabel(captions[i], this);
        (*labels[i])->setGeometry(Px(120), Px(tops[i]), Px(975), Px(735));
        (*labels[i])->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        *boxes[i] = new QPlainTextEdit(this);
        (*boxes[i])->setGeometry(Px(1200), Px(tops[i]), Px(3615), Px(735));
        (*boxes[i])->setTabChangesFocus(true);
        // Long clauses wrap inside the box, as typed SQL is read a line at a time.
        (*boxes[i])->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        (*boxes[i])->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    }
    cmdOK = new QPushButton("OK", this);
    cmdOK->setGeometry(Px(2400), Px(4800), Px(1215), Px(495));
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setGeometry(Px(3720), Px(4800), Px(1215), Px(495));
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QueryBoxes frmQuery::Boxes() const {
    return {txtSelect->toPlainText().toStdString(), txtInto->toPlainText().toStdString(),
            txtFrom->toPlainText().toStdString(), txtWhere->toPlainText().toStdString(),
            txtOrderBy->toPlainText().toStdString()};
}

void frmQuery::cmdOK_Click() {
    const QueryBoxes boxes = Boxes();
    runOnActive_([boxes](frmFlexGrid& viewer) { TableSQL(viewer, boxes); });
}

void frmQuery::cmdCancel_Click() {
    hide();
}

frmQuery& frmQuery::Show(QWidget* owner,
                         std::function<void(const std::function<void(frmFlexGrid&)>&)> runOnActive) {
    // A window of its own that floats above its owner, and goes when the owner closes.
    frmQuery* one = owner ? owner->findChild<frmQuery*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!one) one = new frmQuery(std::move(runOnActive), owner);
    one->show();
    one->raise();
    one->activateWindow();
    return *one;
}

}  // namespace corv
