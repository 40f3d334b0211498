#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "shell/CommandTable.h"
#include "shell/DownloadFollower.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "standings/AuctionBids.h"
#include "store/Auction.h"
#include "viewer/ViewerHost.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;

namespace corv {

class AuctionFollowers;
namespace alerts {
class RoundAlerts;
}
class StartUp;
class frmFlexGrid;
class frmOpeningQuestions;

// Makes the program's icons and help document available; harmless to call more than once.
void InitShellResources();

// The main window: menus and toolbar built from a command table (CommandTable), the status bar and the MDI
// area with the child windows that show tables. It holds the program's open auction; what follows the auction
// besides the window itself is in AuctionFollowers, the start-up flow and the list filling beside it
// (StartUp, ViewerLists).
class frmMain : public QMainWindow, public ViewerHost, public store::AuctionListener {
    Q_OBJECT
  public:
    // followTiming: the clock and waits of Tools > Follow Downloads (tests give their own); commands: the
    // rows of the menus and the toolbar.
    explicit frmMain(QWidget* parent = nullptr, FollowTiming followTiming = {},
                     std::vector<CommandRow> commands = CommandTable());
    ~frmMain() override;

    // Opening question and what follows from the answer.
    void FileOpen();
    // The file named on the command line, instead of the opening question (StartUp).
    void OpenCommandLineFile(const std::string& path);
    void SetCaption(const std::string& caption);

    store::AuctionSession& Session() { return session_; }
    store::Auction* OpenAuction() override { return session_.Current(); }
    // An opened auction is named in the caption and the recent list; the commands follow what they need.
    void AuctionOpened(store::Auction& auction) override;
    void AuctionClosed() override;

    void SetStatusPanel(int panel, const QString& text) override;
    QString StatusPanel(int panel) const override;
    void PopulateTables() override;
    void PopulateRounds() override;

    // Runs command on the active viewer behind the guard of the commands that need one (CommandTable.h);
    // noAuctionForm: the form of its no-auction error. An error escaping it is reported.
    void RunOnActiveViewer(ErrorForm noAuctionForm, const std::function<void(frmFlexGrid&)>& command);

    // A new viewer, shown and made the active child window.
    frmFlexGrid* NewViewer();
    frmFlexGrid* ActiveViewer() const;
    QList<frmFlexGrid*> Viewers() const;
    QMdiSubWindow* SubWindowOf(const frmFlexGrid* viewer) const;

    // Menu and toolbar commands.
    void FileNew();
    // File > Open Auction: the auction chosen replaces the open one, whose viewers and windows close first.
    void FileOpenAuction();
    // A File > Recent Auctions entry; a file no longer there is offered for removal from the list.
    void OpenRecentAuction(const std::string& path);
    void ToolbarClick(const QString& key);
    void HelpContents();
    void HelpSearch();
    void HelpAbout();

    QAction* MenuItem(const QString& name) const;
    QMenu* Menu(const QString& name) const;
    QAction* ToolbarButton(const QString& key) const;
    // The Window menu's list of child windows, rebuilt as the menu opens.
    void RefreshWindowList();
    QList<QAction*> WindowListItems() const { return windowList_; }
    // The Recent Auctions submenu, rebuilt from the settings.
    void RefreshRecentMenu();

    // The help document; empty when none was found.
    QString HelpFile() const { return helpFile_; }
    void SetHelpFile(const QString& path) { helpFile_ = path; }
    frmHelp* HelpWindow() const { return help_; }
    // search: the keyword search, else the contents; quiet: failures are not reported.
    void ShowHelp(bool search, bool quiet);
    frmOpeningQuestions* OpeningQuestions() const;

    AuctionFollowers& Followers() const { return *followers_; }
    // The watch list weighed as rounds arrive (AlertCommands.cpp).
    alerts::RoundAlerts& Alerts() const { return *alerts_; }
    // Tools > Watch List…
    void EditWatchList();
    DownloadFollower* Follower() const;
    // Ends the program as File > Exit does once no command or import is under way, so an import commits or
    // rolls back first; questions still open are answered as if cancelled. For a termination signal.
    void QuitWhenIdle();

    QMdiArea* mdiArea;
    QToolBar* tbToolBar;
    QStatusBar* sbStatusBar;
    QMenu* mnuComp;
    QLabel* StatusLabel(int panel) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void LoadPosition();
    void SavePosition();
    // The width the menu bar and the toolbar need to show every entry.
    int BarsWidth() const;
    void SetCommandEnabled(const CommandRow& row, bool enabled);
    // Each command enabled or not by what it needs.
    void UpdateCommands();
    void OnSubWindowActivated(QMdiSubWindow* sub);
    // A row's function behind the guard; checked: a toggle's new check mark.
    void Run(const CommandRow& row, bool checked);
    // false, after saying what is missing, when the guard stops a command needing needs.
    bool Guard(Needs needs, ErrorForm noAuctionForm, const frmFlexGrid* viewer);
    void AsCommand(const std::function<void()>& command);
    // A failure escaping command shows the "Error: text" box.
    void Reporting(const std::function<void()>& command);
    void AsReportedCommand(const std::function<void()>& command);
    // The window's side of following: its check mark, tip and status bar words, and the box of a failure.
    void SetUpFollowing();
    void FollowFailed(int number, const QString& description);
    void ShowMissingRound(int round);
    // The status bar's word of following, for a few seconds.
    void ShowFollowMessage(const QString& text);
    void SetUpAlerts();
    // The overview's Alerts tab reads the log and the list again.
    void ReadAlertsAgain();
    void ShowAlertRound(int round);
    // false when a viewer would not close.
    bool CloseAuctionWindows();
    void SwitchToAuction(const std::string& path);

    const std::vector<CommandRow> commands_;
    std::map<QString, QAction*> items_;
    std::map<QString, QMenu*> menus_;
    std::map<QString, QAction*> toolButtons_;
    QList<QAction*> windowList_;
    QAction* windowListSeparator_ = nullptr;
    QLabel* panels_[3] = {};
    QString helpFile_;
    QPointer<frmHelp> help_;
    QPointer<frmAbout> about_;
    // The open auction's bids, read once for every reader (the overview); it outlives session_.
    standings::AuctionBids bids_;
    store::AuctionSession session_;
    std::unique_ptr<StartUp> startUp_;
    std::unique_ptr<AuctionFollowers> followers_;
    std::unique_ptr<alerts::RoundAlerts> alerts_;
    QString followTip_;  // the Follow key's own tool tip, before a missing round is added
    unsigned followMessages_ = 0;
    int commandDepth_ = 0;
    QTimer* quitWhenIdle_ = nullptr;
    // The stored twips and the pixels they gave, so an unmoved window writes back exactly what it read.
    int loadedTwips_[4] = {};
    int loadedPixels_[4] = {};
};

}  // namespace corv
