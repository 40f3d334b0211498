// The main window's menus and toolbar, built from the command table, and the routing of their commands.

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>

#include "shell/CommandTable.h"
#include "shell/WindowArrangement.h"
#include "shell/frmMain.h"

namespace corv {

void frmMain::BuildMenus() {
    for (const CommandRow& row : CommandTable()) {
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
                    connect(a, &QAction::toggled, this,
                            [this, id = row.command](bool on) { RunCommand(id, on); });
                } else if (row.viewer) {
                    connect(a, &QAction::triggered, this, [this, id = *row.viewer] {
                        auto it = viewerCommands_.find(id);
                        if (it != viewerCommands_.end()) RunViewerCommand(it->second);
                    });
                } else {
                    connect(a, &QAction::triggered, this,
                            [this, id = row.command] { RunCommand(id, false); });
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

void frmMain::RunCommand(WindowCommandId id, bool on) {
    switch (id) {
        case WindowCommandId::None:
            break;
        case WindowCommandId::FileNew:
        case WindowCommandId::WindowNew:
            FileNew();
            break;
        case WindowCommandId::FileOpenAuction:
            FileOpenAuction();
            break;
        case WindowCommandId::FileImport:
            FileImport();
            break;
        case WindowCommandId::FileExit:
            close();
            break;
        case WindowCommandId::ViewToolbar:
            tbToolBar->setVisible(on);
            break;
        case WindowCommandId::ViewStatusBar:
            sbStatusBar->setVisible(on);
            break;
        case WindowCommandId::QueryBuilder:
            // No viewer check: the builder itself acts on the active viewer when the user confirms.
            if (queryBuilder_) AsReportedCommand([this] { queryBuilder_(this); });
            break;
        case WindowCommandId::FollowDownloads:
            FollowToggled(on);
            break;
        case WindowCommandId::AuctionOverview:
            if (overview_ && session_.Current()) AsReportedCommand([this] { overview_(session_, *mdiArea); });
            break;
        case WindowCommandId::WindowCascade:
            mdiArea->cascadeSubWindows();
            break;
        case WindowCommandId::WindowTileHorizontal:
            TileHorizontally(*mdiArea);
            break;
        case WindowCommandId::WindowTileVertical:
            TileVertically(*mdiArea);
            break;
        case WindowCommandId::WindowArrangeIcons:
            ArrangeIcons(*mdiArea);
            break;
        case WindowCommandId::HelpContents:
            HelpContents();
            break;
        case WindowCommandId::HelpSearch:
            HelpSearch();
            break;
        case WindowCommandId::HelpAbout:
            HelpAbout();
            break;
        case WindowCommandId::ComputeSum:
            ComputeSelection("Sum");
            break;
        case WindowCommandId::ComputeAverage:
            ComputeSelection("Average");
            break;
        case WindowCommandId::ComputeCount:
            ComputeSelection("Count");
            break;
    }
}

void frmMain::BuildToolbar() {
    tbToolBar = new QToolBar("Toolbar", this);
    tbToolBar->setObjectName("tbToolBar");
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, tbToolBar);
    for (const CommandRow* row : ToolbarRows()) {
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

void frmMain::SetCommandEnabled(const QString& menuItem, bool enabled) {
    const CommandRow* row = RowNamed(menuItem.toStdString());
    if (!row) return;
    MenuItem(row->name)->setEnabled(enabled);
    if (row->toolbarPlace > 0) ToolbarButton(row->toolbarKey)->setEnabled(enabled);
    // A submenu is usable as soon as one of its items is.
    if (QAction* submenu = MenuItem(row->parent)) {
        bool any = false;
        for (const CommandRow& r : CommandTable())
            if (r.kind != RowKind::Bar && r.parent == std::string_view(row->parent))
                any = any || MenuItem(r.name)->isEnabled();
        submenu->setEnabled(any);
    }
}

void frmMain::Bind(ViewerCommandId id, ViewerCommand command) {
    const bool enabled = static_cast<bool>(command);
    viewerCommands_[id] = std::move(command);
    if (const CommandRow* row = RowOfViewerCommand(id)) SetCommandEnabled(row->name, enabled);
}

void frmMain::BindQueryBuilder(std::function<void(QWidget* owner)> show) {
    queryBuilder_ = std::move(show);
    SetCommandEnabled("mnuToolsSQLCommandLine", static_cast<bool>(queryBuilder_));
}

void frmMain::BindOverview(std::function<void(store::AuctionSession&, QMdiArea&)> show) {
    overview_ = std::move(show);
    UpdateAuctionCommands();
}

void frmMain::UpdateAuctionCommands() {
    SetCommandEnabled("mnuToolsOverview", overview_ && session_.Current());
}

void frmMain::ToolbarClick(const QString& key) {
    const CommandRow* row = RowOfToolbarKey(key.toStdString());
    if (!row) return;
    QAction* item = MenuItem(row->name);
    if (item && item->isEnabled()) item->trigger();
}

}  // namespace corv
