#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>

#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "platform/InstallPaths.h"
#include "shell/CommandTable.h"
#include "shell/DatePanel.h"
#include "shell/RecentAuctions.h"
#include "shell/ShellText.h"
#include "shell/StartUp.h"
#include "shell/ViewerLists.h"
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

namespace {

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
    session_.AddListener(&bids_);
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
    for (const CommandRow& row : CommandTable())
        if (row.viewer || row.command == WindowCommandId::QueryBuilder ||
            row.command == WindowCommandId::AuctionOverview)
            SetCommandEnabled(row.name, false);
    BindFeatureCommands(*this);

    SetUpFollowing(std::move(followTiming));

    helpFile_ = FindHelpDocument();
    RefreshRecentMenu();
    LoadPosition();
}

// Child windows that follow the session (the overview) go while it is still there.
frmMain::~frmMain() {
    delete mdiArea;
}

// ---- status bar ----

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

QLabel* frmMain::StatusLabel(int panel) const {
    return panel >= 1 && panel <= 3 ? panels_[panel - 1] : nullptr;
}

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

// ---- commands ----

void frmMain::FileNew() {
    AsCommand([this] {
        QPointer<frmFlexGrid> viewer = NewViewer();
        PopulateTables();
        PopulateRounds();
        SelectFirstEntries(viewer);
    });
}

void frmMain::AsCommand(const std::function<void()>& command) {
    ++commandDepth_;
    struct Done {
        int& depth;
        ~Done() { --depth; }
    } done{commandDepth_};
    command();
}

void frmMain::AsReportedCommand(const std::function<void()>& command) {
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
    NoteRecentAuction(auction.Path());
    RefreshRecentMenu();
    UpdateFollowing();
    UpdateAuctionCommands();
}

void frmMain::RoundImported(store::Auction& /*auction*/, int /*round*/) {
    // A whole table shown through a long follow would otherwise keep the log growing with every round.
    // Once the events are taken again, so that a batch's rounds cost one reading.
    if (readAgainPending_) return;
    readAgainPending_ = true;
    QTimer::singleShot(0, this, [this] {
        readAgainPending_ = false;
        store::Auction* auction = session_.Current();
        frmFlexGrid::ReadAgainAfterWrites(Viewers(), auction ? auction->Db().get() : nullptr);
    });
}

void frmMain::AuctionClosed() {
    SetCaption("Corvidel");
    // A closed auction may be renamed or replaced next (created anew, converted): no read of it may stay.
    for (frmFlexGrid* viewer : Viewers()) viewer->LetGoOfFile();
    UpdateFollowing();
    UpdateAuctionCommands();
}

// ---- closing ----

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
