// The main window's menus and toolbar, built from its command table, and which of their commands are enabled.

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QToolBar>

#include "shell/CommandTable.h"
#include "shell/frmMain.h"

namespace corv {

void frmMain::BuildMenus() {
    for (const CommandRow& row : commands_) {
        QMenu* parent = Menu(row.parent);
        switch (row.kind) {
            case RowKind::Menu:
            case RowKind::PopUp: {
                QMenu* m = row.kind == RowKind::PopUp ? new QMenu(row.caption, this)
                           : parent                   ? parent->addMenu(row.caption)
                                                      : menuBar()->addMenu(row.caption);
                m->setObjectName(row.name);
                m->menuAction()->setObjectName(row.name);
                menus_[row.name] = m;
                if (parent) items_[row.name] = m->menuAction();
                break;
            }
            case RowKind::Bar: {
                QAction* a = parent->addSeparator();
                a->setObjectName(row.name);
                items_[row.name] = a;
                break;
            }
            case RowKind::Item:
            case RowKind::Toggle: {
                QAction* a = parent->addAction(row.caption);
                a->setObjectName(row.name);
                a->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
                items_[row.name] = a;
                if (row.kind == RowKind::Toggle) {
                    a->setCheckable(true);
                    // The check mark flips before triggered arrives, so the command simply follows it.
                    connect(a, &QAction::toggled, this, [this, &row](bool on) { Run(row, on); });
                } else {
                    connect(a, &QAction::triggered, this, [this, &row] { Run(row, false); });
                }
                break;
            }
        }
    }
    mnuComp = Menu("mnuComp");
    // Both bars start shown, and are not built yet.
    for (const char* bar : {"mnuViewToolbar", "mnuViewStatusBar"}) {
        const QSignalBlocker quiet(MenuItem(bar));
        MenuItem(bar)->setChecked(true);
    }
    connect(Menu("mnuWindow"), &QMenu::aboutToShow, this, &frmMain::RefreshWindowList);
}

void frmMain::BuildToolbar() {
    tbToolBar = new QToolBar("Toolbar", this);
    tbToolBar->setObjectName("tbToolBar");
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, tbToolBar);
    for (const CommandRow* row : ToolbarRows(commands_)) {
        const QString key = row->toolbarKey;
        QAction* a = tbToolBar->addAction(QIcon(row->icon), row->toolTip);
        a->setObjectName("tb" + key);
        a->setData(key);
        a->setToolTip(row->toolTip);
        toolButtons_[key] = a;
        // A key standing for a checkable item shows its check mark.
        if (QAction* m = MenuItem(row->name); m && m->isCheckable()) {
            a->setCheckable(true);
            connect(m, &QAction::toggled, a, &QAction::setChecked);
        }
        connect(a, &QAction::triggered, this, [this, key] { ToolbarClick(key); });
        if (row->separatorAfter) tbToolBar->addSeparator();
    }
}

QAction* frmMain::MenuItem(const QString& name) const {
    auto it = items_.find(name);
    return it == items_.end() ? nullptr : it->second;
}

QMenu* frmMain::Menu(const QString& name) const {
    auto it = menus_.find(name);
    return it == menus_.end() ? nullptr : it->second;
}

QAction* frmMain::ToolbarButton(const QString& key) const {
    auto it = toolButtons_.find(key);
    return it == toolButtons_.end() ? nullptr : it->second;
}

void frmMain::SetCommandEnabled(const CommandRow& row, bool enabled) {
    MenuItem(row.name)->setEnabled(enabled);
    if (row.toolbarPlace > 0) ToolbarButton(row.toolbarKey)->setEnabled(enabled);
    // A submenu is usable as soon as one of its items is.
    if (QAction* submenu = MenuItem(row.parent)) {
        bool any = false;
        for (const CommandRow& r : commands_)
            if (r.kind != RowKind::Bar && r.parent == std::string_view(row.parent))
                any = any || MenuItem(r.name)->isEnabled();
        submenu->setEnabled(any);
    }
}

void frmMain::UpdateCommands() {
    const store::Auction* auction = session_.Current();
    for (const CommandRow& row : commands_) {
        if (row.kind != RowKind::Item && row.kind != RowKind::Toggle) continue;
        const bool met = row.needs == Needs::Auction           ? auction != nullptr
                         : row.needs == Needs::WritableAuction ? auction && !auction->ReadOnly()
                                                               : true;
        SetCommandEnabled(row, row.run && met);
    }
}

void frmMain::ToolbarClick(const QString& key) {
    for (const CommandRow* row : ToolbarRows(commands_)) {
        if (key != QLatin1String(row->toolbarKey)) continue;
        QAction* item = MenuItem(row->name);
        if (item && item->isEnabled()) item->trigger();
        return;
    }
}

}  // namespace corv
