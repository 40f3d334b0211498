#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "platform/InstallPaths.h"
#include "shell/DatePanel.h"
#include "shell/ShellText.h"
#include "shell/StartUp.h"
#include "shell/ViewerLists.h"
#include "shell/WindowArrangement.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "shell/frmOpeningQuestions.h"
#include "store/AuctionCommands.h"
#include "viewer/frmFlexGrid.h"

// Resources live in a static library: they must be pulled in by name, outside any namespace.
static void InitCorvidelResources() {
    Q_INIT_RESOURCE(corvidel);
}

namespace corv {

void InitShellResources() {
    static const bool done = [] {
        InitCorvidelResources();
        return true;
    }();
    (void)done;
}

const ToolbarKey kToolbarKeys[11] = {
    {"New", "New", "mnuFileNew", false},
    {"Import", "Import...", "mnuFileImport", true},
    {"Print", "Print", "mnuFilePrint", true},
    {"Sort", "Sort...", "mnuToolsSortTable", false},
    {"Filter", "Filter...", "mnuToolsFilterTable", false},
    {"Reset", "Reset Table", "mnuToolsResetTable", true},
    {"TableWizard", "Table Wizard...", "mnuToolsTableWizard", false},
    {"SQL", "SQL Query Builder...", "mnuToolsSQLCommandLine", false},
    {"DropTable", "Drop Table", "mnuToolsDropTable", true},
    {"ExcelExp", "Export Table To Excel", "mnuToolsExcel", true},
    {"Follow", "Follow Downloads", "mnuToolsFollowDownloads", false},
};

namespace {

constexpr const char* kPositionKeys[4] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
constexpr int kPositionDefaults[4] = {1000, 1000, 6500, 6500};

constexpr int kPanelTwips[3] = {5100, 1440, 1440};
constexpr int kPanelMinTwips = 1440;
constexpr int kComputeMenuRiseTwips = 1100;

// A status bar panel that wants its designed width but may shrink to its minimum in a narrow window.
class StatusPanelLabel : public QLabel {
  public:
    StatusPanelLabel(const QString& text, int widthPx, int minPx, QWidget* parent)
        : QLabel(text, parent), width_(widthPx) {
        setMinimumWidth(minPx);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setContentsMargins(3, 0, 3, 0);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return {width_, QLabel::sizeHint().height()}; }

  private:
    int width_;
};

const char* MenuItemOf(ViewerCommandId id) {
    for (const ViewerCommandItem& c : kViewerCommandItems)
        if (c.id == id) return c.menuItem;
    return "";
}

QString FindHelpDocument() {
    const std::string name = "corvidel-help.html";
    const std::string found = DataFilePath(QCoreApplication::applicationDirPath().toStdString(), name);
    if (!found.empty()) return QString::fromStdString(found);
    return QStringLiteral(":/help/") + QString::fromStdString(name);
}

}  // namespace

frmMain::frmMain(QWidget* parent, FollowTiming followTiming)
    : QMainWindow(parent), startUp_(std::make_unique<StartUp>(*this)) {
    session_.AddListener(this);
    InitShellResources();
    setObjectName("frmMain");
    setWindowTitle("Corvidel");
    setWindowIcon(QIcon(":/icons/corvidel.png"));
    setContextMenuPolicy(Qt::PreventContextMenu);

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("mdiArea");
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &frmMain::OnSubWindowActivated);

    BuildMenus();
    BuildToolbar();
    BuildStatusBar();
    // Every viewer command stays disabled until its feature binds it.
    for (const ViewerCommandItem& c : kViewerCommandItems) SetCommandEnabled(c.menuItem, false);
    SetCommandEnabled("mnuToolsSQLCommandLine", false);
    BindFeatureCommands(*this);

    SetUpFollowing(std::move(followTiming));

    helpFile_ = FindHelpDocument();
    LoadPosition();
}

frmMain::~frmMain() = default;

// ---- menus, toolbar, status bar ----

void frmMain::BuildMenus() {
    auto menu = [this](QMenu* parentMenu, const char* name, const char* caption) {
        QMenu* m = parentMenu ? parentMenu->addMenu(caption) : menuBar()->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name);
        menus_[name] = m;
        return m;
    };
    auto item = [this](QMenu* m, const char* name, const char* caption, auto slot) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        items_[name] = a;
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto bar = [this](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(name);
        items_[name] = a;
    };
    auto viewerItem = [this, &item](QMenu* m, ViewerCommandId id, const char* caption) {
        return item(m, MenuItemOf(id), caption, [this, id] {
            auto it = viewerCommands_.find(id);
            if (it != viewerCommands_.end()) RunViewerCommand(it->second);
        });
    };

    QMenu* file = menu(nullptr, "mnuFile", "&File");
    item(file, "mnuFileNew", "&New", [this] { FileNew(); });
    bar(file, "mnuFileBar1");
    item(file, "mnuFileImport", "&Import...", [this] { FileImport(); });
    viewerItem(file, ViewerCommandId::Export, "&Export...");
    bar(file, "mnuFileBar3");
    viewerItem(file, ViewerCommandId::Print, "&Print...")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    bar(file, "mnuFileBar4");
    item(file, "mnuFileExit", "E&xit", [this] { close(); });

    QMenu* view = menu(nullptr, "mnuView", "&View");
    QAction* viewToolbar = item(view, "mnuViewToolbar", "&Toolbar", [] {});
    QAction* viewStatus = item(view, "mnuViewStatusBar", "Status &Bar", [] {});
    for (QAction* a : {viewToolbar, viewStatus}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    // The check mark flips before triggered arrives, so the bar simply follows it.
    connect(viewToolbar, &QAction::toggled, this, [this](bool on) { tbToolBar->setVisible(on); });
    connect(viewStatus, &QAction::toggled, this, [this](bool on) { sbStatusBar->setVisible(on); });

    QMenu* tools = menu(nullptr, "mnuTools", "&Tools");
    QMenu* analysis = menu(tools, "mnuToolsAnalysis", "&Pivot Table Wizard");
    items_["mnuToolsAnalysis"] = analysis->menuAction();
    viewerItem(analysis, ViewerCommandId::MarketsAnalysis, "&Markets...");
    viewerItem(analysis, ViewerCommandId::RoundsAnalysis, "&Rounds...");
    viewerItem(analysis, ViewerCommandId::BiddersAnalysis, "&Bidders...");
    viewerItem(tools, ViewerCommandId::ExcelExport, "Export Table To Excel");
    bar(tools, "mnuToolsBar1");
    viewerItem(tools, ViewerCommandId::SortTable, "&Sort Table...");
    viewerItem(tools, ViewerCommandId::FilterTable, "&Filter Table...");
    viewerItem(tools, ViewerCommandId::ResetTable, "&Reset Table");
    bar(tools, "mnuToolsBar2");
    viewerItem(tools, ViewerCommandId::TableWizard, "&Table Wizard...");
    item(tools, "mnuToolsSQLCommandLine", "S&QL Query Builder...", [this] {
        // No viewer check: the builder itself acts on the active viewer when the user confirms.
        if (!queryBuilder_) return;
        AsReportedCommand([this] { queryBuilder_(this); });
    });
    viewerItem(tools, ViewerCommandId::DropTable, "&Drop Table");
    bar(tools, "mnuToolsBar3");
    QAction* follow = item(tools, "mnuToolsFollowDownloads", "Follow &Downloads", [] {});
    follow->setCheckable(true);
    connect(follow, &QAction::toggled, this, &frmMain::FollowToggled);

    QMenu* window = menu(nullptr, "mnuWindow", "&Window");
    item(window, "mnuWindowNewWindow", "&New Window", [this] { FileNew(); });
    bar(window, "mnuWindowBar1");
    item(window, "mnuWindowCascade", "&Cascade", [this] { mdiArea->cascadeSubWindows(); });
    item(window, "mnuWindowTileHorizontal", "Tile &Horizontal", [this] { TileHorizontally(*mdiArea); });
    item(window, "mnuWindowTileVertical", "Tile &Vertical", [this] { TileVertically(*mdiArea); });
    item(window, "mnuWindowArrangeIcons", "&Arrange Icons", [this] { ArrangeIcons(*mdiArea); });
    connect(window, &QMenu::aboutToShow, this, &frmMain::RefreshWindowList);

    QMenu* help = menu(nullptr, "mnuHelp", "&Help");
    item(help, "mnuHelpContents", "&Contents", [this] { HelpContents(); });
    item(help, "mnuHelpSearch", "&Search For Help On...", [this] { HelpSearch(); });
    bar(help, "mnuHelpBar1");
    item(help, "mnuHelpAbout", "&About Corvidel...", [this] { HelpAbout(); });

    // The Compute menu is never in the menu bar: it pops up over the status bar.
    mnuComp = new QMenu("Compute", this);
    mnuComp->setObjectName("mnuComp");
    menus_["mnuComp"] = mnuComp;
    item(mnuComp, "mnuCompSum", "Sum", [this] { ComputeSelection("Sum"); });
    item(mnuComp, "mnuCompAverage", "Average", [this] { ComputeSelection("Average"); });
    item(mnuComp, "mnuCompCount", "Count", [this] { ComputeSelection("Count"); });
}

void frmMain::BuildToolbar() {
    tbToolBar = new QToolBar("Toolbar", this);
    tbToolBar->setObjectName("tbToolBar");
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, tbToolBar);
    for (const ToolbarKey& k : kToolbarKeys) {
        const QString key = k.key;
        QAction* a = tbToolBar->addAction(QIcon(":/icons/" + key + ".png"), k.toolTip);
        a->setObjectName("tb" + key);
        a->setData(key);
        a->setToolTip(k.toolTip);
        toolButtons_[key] = a;
        // A key standing for a checkable item shows its check mark.
        if (QAction* m = MenuItem(k.menuItem); m && m->isCheckable()) {
            a->setCheckable(true);
            connect(m, &QAction::toggled, a, &QAction::setChecked);
        }
        connect(a, &QAction::triggered, this, [this, key] { ToolbarClick(key); });
        if (k.separatorAfter) tbToolBar->addSeparator();
    }
}

void frmMain::BuildStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName("sbStatusBar");
    sbStatusBar->setSizeGripEnabled(true);
    setStatusBar(sbStatusBar);
    const QString texts[3] = {"Status", QString(), "NUM"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new StatusPanelLabel(texts[i], shell::TwipsToPixels(kPanelTwips[i]),
                                           shell::TwipsToPixels(kPanelMinTwips), sbStatusBar);
        label->setObjectName(QStringLiteral("sbPanel%1").arg(i + 1));
        // The status bar itself decides what a click means, by position.
        label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
        sbStatusBar->addWidget(label);
        panels_[i] = label;
    }
    new DatePanel(panels_[1]);
    sbStatusBar->installEventFilter(this);
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

QLabel* frmMain::StatusLabel(int panel) const {
    return panel >= 1 && panel <= 3 ? panels_[panel - 1] : nullptr;
}

void frmMain::SetCommandEnabled(const QString& menuItem, bool enabled) {
    if (QAction* a = MenuItem(menuItem)) a->setEnabled(enabled);
    for (const ToolbarKey& k : kToolbarKeys)
        if (menuItem == k.menuItem) ToolbarButton(k.key)->setEnabled(enabled);
    // The pivot submenu is usable as soon as one of its analyses is.
    if (menuItem.startsWith("mnuToolsAnalysis")) {
        bool any = false;
        for (const char* n : {"mnuToolsAnalysisMarkets", "mnuToolsAnalysisRounds", "mnuToolsAnalysisBidders"})
            any = any || MenuItem(n)->isEnabled();
        MenuItem("mnuToolsAnalysis")->setEnabled(any);
    }
}

void frmMain::Bind(ViewerCommandId id, ViewerCommand command) {
    const bool enabled = static_cast<bool>(command);
    viewerCommands_[id] = std::move(command);
    SetCommandEnabled(MenuItemOf(id), enabled);
}

void frmMain::BindQueryBuilder(std::function<void(QWidget* owner)> show) {
    queryBuilder_ = std::move(show);
    SetCommandEnabled("mnuToolsSQLCommandLine", static_cast<bool>(queryBuilder_));
}

// ---- status bar ----

void frmMain::SetStatusPanel(int panel, const QString& text) {
    if (QLabel* l = StatusLabel(panel)) l->setText(text);
}

QString frmMain::StatusPanel(int panel) const {
    QLabel* l = StatusLabel(panel);
    return l ? l->text() : QString();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sbStatusBar && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        const int x = qRound(me->position().x());
        // Only a right-button release to the right of panels 1 and 2 (over panel 3) opens the pop-up.
        if (me->button() == Qt::RightButton && x > panels_[1]->geometry().right()) {
            const QPoint at = sbStatusBar->mapToGlobal(QPoint(x, 0));
            const int rise = shell::TwipsToPixels(kComputeMenuRiseTwips);
            mnuComp->popup(QPoint(at.x() - mnuComp->sizeHint().width(), at.y() - rise));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- child windows ----

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

// ---- commands ----

void frmMain::FileNew() {
    AsCommand([this] {
        QPointer<frmFlexGrid> viewer = NewViewer();
        PopulateTables();
        PopulateRounds();
        SelectFirstEntries(viewer);
    });
}

template <class F>
void frmMain::AsCommand(F&& command) {
    ++commandDepth_;
    struct Done {
        int& depth;
        ~Done() { --depth; }
    } done{commandDepth_};
    command();
}

template <class F>
void frmMain::AsReportedCommand(F&& command) {
    AsCommand([&] {
        try {
            command();
        } catch (const std::exception& e) {
            ShowErrorBox(ErrorForm::ColonSpace, e);
        }
    });
}

void frmMain::FileImport() {
    AsReportedCommand([this] { ImportRound(session_.Current()); });
}

void frmMain::RunViewerCommand(const ViewerCommand& command) {
    frmFlexGrid* viewer = ActiveViewer();
    if (!viewer) {
        Desktop().MessageBox(
            "  A data grid must be opened to use this function.\rOpen a data grid with the New button and "
            "try again",
            MsgButtons::OK, MsgIcon::Exclamation, "Error");
        return;
    }
    AsReportedCommand([&] { command(*viewer); });
}

void frmMain::ToolbarClick(const QString& key) {
    for (const ToolbarKey& k : kToolbarKeys) {
        if (key != QLatin1String(k.key)) continue;
        QAction* item = MenuItem(k.menuItem);
        if (item && item->isEnabled()) item->trigger();
        return;
    }
}

void frmMain::ComputeSelection(const QString& what) {
    // Without a viewer there is no selection to compute: the click is ignored.
    frmFlexGrid* viewer = ActiveViewer();
    if (!viewer) return;
    AsReportedCommand([&] { viewer->ComputeSelection(what); });
}

// ---- catalog lists and opening question ----

void frmMain::PopulateTables() {
    FillTableList(session_.Current(), [this] { return ActiveViewer(); });
}

void frmMain::PopulateRounds() {
    if (FillRoundList(session_.Current(), [this] { return ActiveViewer(); })) startUp_->CloseDialog();
}

void frmMain::FileOpen() {
    AsCommand([this] { startUp_->FileOpen(); });
    UpdateFollowing();
}

void frmMain::OpenCommandLineFile(const std::string& path) {
    startUp_->OpenCommandLineFile(path);
}

frmOpeningQuestions* frmMain::OpeningQuestions() const {
    return startUp_->Dialog();
}

void frmMain::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

// The lists are not refilled here: a viewer refills them as they drop down, keeping the entry it shows.
void frmMain::AuctionOpened(store::Auction& auction) {
    SetCaption("Corvidel - " + auction.Path());
    UpdateFollowing();
}

void frmMain::AuctionClosed() {
    UpdateFollowing();
}

// ---- help and About ----

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

// ---- position and closing ----

void frmMain::QuitWhenIdle() {
    follower_->Stop();  // no new import starts
    if (!quitWhenIdle_) {
        quitWhenIdle_ = new QTimer(this);
        quitWhenIdle_->setInterval(50);
        connect(quitWhenIdle_, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
                return;
            }
            if (commandDepth_ > 0 || follower_->Busy()) return;
            quitWhenIdle_->stop();
            close();
        });
    }
    quitWhenIdle_->start();
}

void frmMain::LoadPosition() {
    for (int i = 0; i < 4; ++i) {
        const std::string stored =
            Desktop().GetSetting(shell::kSettingsApp, shell::kSettingsSection, kPositionKeys[i],
                                 std::to_string(kPositionDefaults[i]));
        loadedTwips_[i] = shell::TwipsSetting(stored, kPositionDefaults[i]);
        loadedPixels_[i] = shell::TwipsToPixels(loadedTwips_[i]);
    }
    QPoint at(loadedPixels_[0], loadedPixels_[1]);
    const QSize size(std::max(loadedPixels_[2], 1), std::max(loadedPixels_[3], 1));
    // A position stored for a screen that is no longer there would open the window out of sight.
    bool onScreen = QGuiApplication::screens().isEmpty();
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen =
            onScreen || screen->availableGeometry().intersects(QRect(at, size).adjusted(20, 20, -20, -20));
    if (!onScreen) {
        at = QPoint(shell::TwipsToPixels(kPositionDefaults[0]), shell::TwipsToPixels(kPositionDefaults[1]));
        loadedPixels_[0] = -1;  // the stored position was not used: write back the real one
        loadedPixels_[1] = -1;
    }
    move(at);
    resize(size);
}

void frmMain::SavePosition() {
    // A minimized window keeps what was stored; a maximized one stores the maximized bounds.
    if (isMinimized()) return;
    const int pixels[4] = {x(), y(), width(), height()};
    for (int i = 0; i < 4; ++i) {
        const int twips = pixels[i] == loadedPixels_[i] ? loadedTwips_[i] : shell::PixelsToTwips(pixels[i]);
        Desktop().SaveSetting(shell::kSettingsApp, shell::kSettingsSection, kPositionKeys[i],
                              std::to_string(twips));
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    mdiArea->closeAllSubWindows();
    if (!mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    SavePosition();
    follower_->Stop();
    try {
        session_.Close();
    } catch (const std::exception&) {
        // Nothing is left to do with a database that will not close while the program ends.
    }
    // Windows of our own that are still up (help) would keep the program running.
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isWindow() && w->isVisible()) w->close();
    }
    event->accept();
}

}  // namespace corv
