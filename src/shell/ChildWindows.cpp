// The main window's child windows: the viewers in the MDI area and the Window menu's list of them.

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

#include "shell/WindowArrangement.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

frmFlexGrid* frmMain::ActiveViewer() const {
    QMdiSubWindow* sub = mdiArea->currentSubWindow();
    return sub ? qobject_cast<frmFlexGrid*>(sub->widget()) : nullptr;
}

QList<frmFlexGrid*> frmMain::Viewers() const {
    QList<frmFlexGrid*> viewers;
    for (QMdiSubWindow* sub : mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* v = qobject_cast<frmFlexGrid*>(sub->widget())) viewers << v;
    return viewers;
}

QMdiSubWindow* frmMain::SubWindowOf(const frmFlexGrid* viewer) const {
    for (QMdiSubWindow* sub : mdiArea->subWindowList())
        if (sub->widget() == viewer) return sub;
    return nullptr;
}

frmFlexGrid* frmMain::NewViewer() {
    auto* viewer = new frmFlexGrid(*this, nullptr);
    QMdiSubWindow* sub = mdiArea->addSubWindow(viewer);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(sub->sizeHint());
    sub->show();
    mdiArea->setActiveSubWindow(sub);
    FitIntoArea(*mdiArea, *sub);
    return viewer;
}

void frmMain::OnSubWindowActivated(QMdiSubWindow* sub) {
    if (!sub) return;
    if (auto* viewer = qobject_cast<frmFlexGrid*>(sub->widget())) viewer->Activate();
}

void frmMain::RefreshWindowList() {
    QMenu* window = Menu("mnuWindow");
    for (QAction* a : windowList_) {
        window->removeAction(a);
        a->deleteLater();
    }
    windowList_.clear();
    if (windowListSeparator_) {
        window->removeAction(windowListSeparator_);
        windowListSeparator_->deleteLater();
        windowListSeparator_ = nullptr;
    }
    const QList<QMdiSubWindow*> subs = mdiArea->subWindowList(QMdiArea::CreationOrder);
    if (subs.isEmpty()) return;
    windowListSeparator_ = window->addSeparator();
    QMdiSubWindow* current = mdiArea->currentSubWindow();
    int n = 0;
    for (QMdiSubWindow* sub : subs) {
        ++n;
        QString title = sub->windowTitle();
        title.replace('&', "&&");
        const QString caption = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title;
        QAction* a = window->addAction(caption);
        a->setCheckable(true);
        a->setChecked(sub == current);
        QPointer<QMdiSubWindow> target = sub;
        connect(a, &QAction::triggered, this, [this, target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            mdiArea->setActiveSubWindow(target);
        });
        windowList_ << a;
    }
}

}  // namespace corv
