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

#include "alerts/RoundAlerts.h"
#include "engine/CorvError.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "platform/InstallPaths.h"
#include "shell/AuctionFollowers.h"
#include "shell/CommandTable.h"
#include "shell/DatePanel.h"
#include "shell/RecentAuctions.h"
#include "shell/ShellText.h"
#include "shell/StartUp.h"
#include "shell/ViewerLists.h"
#include "shell/frmOpeningQuestions.h"
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

frmMain::frmMain(QWidget* parent, FollowTiming followTiming, std::vector<CommandRow> commands)
    : QMainWindow(parent), commands_(std::move(commands)), startUp_(std::make_unique<StartUp>(*this)) {
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
    followers_ = std::make_unique<AuctionFollowers>(
        session_, [this] { return Viewers(); }, [this] { return commandDepth_ > 0; },
        std::move(followTiming));
    SetUpFollowing();
    SetUpAlerts();
    UpdateCommands();

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
        frmMain& window;
        ~Done() {
            if (--window.commandDepth_ == 0) window.followers_->CommandEnded();
        }
    } done{*this};
    command();
}

void frmMain::Reporting(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::ColonSpace, e);
    }
}

void frmMain::AsReportedCommand(const std::function<void()>& command) {
    AsCommand([&] { Reporting(command); });
}

void frmMain::Run(const CommandRow& row, bool checked) {
    frmFlexGrid* viewer = ActiveViewer();
    if (!row.run || !Guard(row.needs, row.noAuctionForm, viewer)) return;
    CommandContext context{session_, viewer, *this, checked};
    // A toggle only switches something on or off: imports need not wait for it.
    if (row.kind == RowKind::Toggle)
        Reporting([&] { row.run(context); });
    else
        AsReportedCommand([&] { row.run(context); });
}

bool frmMain::Guard(Needs needs, ErrorForm noAuctionForm, const frmFlexGrid* viewer) {
    if (needs == Needs::Viewer && !viewer) {
        Desktop().MessageBox(
            "  A data grid must be opened to use this function.\rOpen a data grid with the New button and "
            "try again",
            MsgButtons::OK, MsgIcon::Exclamation, "Error");
        return false;
    }
    // A viewer can be on screen with no auction behind it (after a failed open).
    if (needs != Needs::Nothing && !session_.Current()) {
        ShowErrorBox(noAuctionForm, err::ObjectNotSet, "No auction database is open");
        return false;
    }
    return true;
}

void frmMain::RunOnActiveViewer(ErrorForm noAuctionForm, const std::function<void(frmFlexGrid&)>& command) {
    frmFlexGrid* viewer = ActiveViewer();
    if (!Guard(Needs::Viewer, noAuctionForm, viewer)) return;
    AsReportedCommand([&] { command(*viewer); });
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
    UpdateCommands();
}

void frmMain::AuctionClosed() {
    SetCaption("Corvidel");
    UpdateCommands();
}

// ---- closing ----

DownloadFollower* frmMain::Follower() const {
    return &followers_->Downloads();
}

void frmMain::QuitWhenIdle() {
    Follower()->Stop();  // no new import starts
    if (!quitWhenIdle_) {
        quitWhenIdle_ = new QTimer(this);
        quitWhenIdle_->setInterval(50);
        connect(quitWhenIdle_, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
                return;
            }
            if (commandDepth_ > 0 || Follower()->Busy()) return;
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
    Follower()->Stop();
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
