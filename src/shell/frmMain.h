#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "shell/CommandTable.h"
#include "shell/DownloadFollower.h"
#include "shell/ViewerCommands.h"
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

class StartUp;
class frmFlexGrid;
class frmOpeningQuestions;

// Makes the program's icons and help document available; harmless to call more than once.
void InitShellResources();

// The main window: menus, toolbar, status bar, the child windows that show tables, and the routing of
// commands to them. Menus and toolbar come from the command table (CommandTable); the start-up flow and the
// list filling live beside it (StartUp, ViewerLists). It holds the program's open auction and follows its
// news.
class frmMain : public QMainWindow, public ViewerHost, public store::AuctionListener, public CommandBinder {
    Q_OBJECT
  public:
    // followTiming: the clock and waits of Tools > Follow Downloads (tests give their own).
    explicit frmMain(QWidget* parent = nullptr, FollowTiming followTiming = {});
    ~frmMain() override;

    // Opening question and what follows from the answer.
    void FileOpen();
    // The file named on the command line, instead of the opening question (StartUp).
    void OpenCommandLineFile(const std::string& path);
    void SetCaption(const std::string& caption);

    store::AuctionSession& Session() { return session_; }
    store::Auction* OpenAuction() override { return session_.Current(); }
    // An opened auction is named in the caption; following the downloads folder needs one that takes rounds.
    void AuctionOpened(store::Auction& auction) override;
    void AuctionClosed() override;
    void RoundImported(store::Auction& auction, int round) override;

    void SetStatusPanel(int panel, const QString& text) override;
    QString StatusPanel(int panel) const override;
    void PopulateTables() override;
    void PopulateRounds() override;

    // Features bind their commands at construction (BindFeatureCommands); binding again replaces.
    void Bind(ViewerCommandId id, ViewerCommand command) override;
    void BindQueryBuilder(std::function<void(QWidget* owner)> show) override;
    void BindOverview(std::function<void(store::AuctionSession&, QMdiArea&)> show) override;
    // Runs command on the active viewer, or refuses when there is none.
    void RunViewerCommand(const ViewerCommand& command) override;

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
    void FileImport();
    void ToolbarClick(const QString& key);
    void ComputeSelection(const QString& what);
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
    frmAbout* AboutBox() const { return about_; }

    DownloadFollower* Follower() const { return follower_; }
    // While a command runs, following keeps its imports waiting.
    bool CommandRunning() const { return commandDepth_ > 0; }
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
    void SetCommandEnabled(const QString& menuItem, bool enabled);
    void OnSubWindowActivated(QMdiSubWindow* sub);
    // A menu or toolbar command of the window's own; on: a toggle's new check mark.
    void RunCommand(WindowCommandId id, bool on);
    void AsCommand(const std::function<void()>& command);
    // A command whose failure shows the "Error: text" box.
    void AsReportedCommand(const std::function<void()>& command);
    // Following runs while its item is checked and an auction is open.
    void SetUpFollowing(FollowTiming timing);
    void FollowToggled(bool on);
    void UpdateFollowing();
    void FollowFailed(int number, const QString& description);
    void ShowMissingRound(int round);
    // The status bar's word of following, for a few seconds.
    void ShowFollowMessage(const QString& text);
    // false when a viewer would not close.
    bool CloseAuctionWindows();
    void SwitchToAuction(const std::string& path);

    std::map<QString, QAction*> items_;
    std::map<QString, QMenu*> menus_;
    std::map<QString, QAction*> toolButtons_;
    std::map<ViewerCommandId, ViewerCommand> viewerCommands_;
    std::function<void(QWidget* owner)> queryBuilder_;
    std::function<void(store::AuctionSession&, QMdiArea&)> overview_;
    void UpdateAuctionCommands();
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
    DownloadFollower* follower_ = nullptr;
    QString followTip_;  // the Follow key's own tool tip, before a missing round is added
    unsigned followMessages_ = 0;
    int commandDepth_ = 0;
    QTimer* quitWhenIdle_ = nullptr;
    bool readAgainPending_ = false;  // viewers read their rows again once the imports of a batch are done
    // The stored twips and the pixels they gave, so an unmoved window writes back exactly what it read.
    int loadedTwips_[4] = {};
    int loadedPixels_[4] = {};
};

}  // namespace corv
