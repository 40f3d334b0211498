// File > Open Auction and Recent Auctions: moving from one auction to another without leaving the program.

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <filesystem>
#include <optional>

#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "shell/RecentAuctions.h"
#include "shell/StartUp.h"
#include "shell/frmMain.h"

namespace corv {

void frmMain::FileOpenAuction() {
    AsCommand([this] {
        const std::optional<std::string> chosen = Desktop().OpenFileDialog(StartUp::AuctionFileDialog());
        if (chosen && !chosen->empty()) SwitchToAuction(*chosen);
    });
}

void frmMain::OpenRecentAuction(const std::string& path) {
    AsCommand([&] {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            SwitchToAuction(path);
            return;
        }
        if (Desktop().MessageBox("The auction " + path +
                                     " cannot be found.\rDo you wish to remove it from the recent auctions?",
                                 MsgButtons::YesNo, MsgIcon::Question, "Recent Auctions") == MsgAnswer::Yes) {
            ForgetRecentAuction(path);
            RefreshRecentMenu();
        }
    });
}

void frmMain::RefreshRecentMenu() {
    QMenu* recent = Menu("mnuFileRecent");
    recent->clear();
    int n = 0;
    for (const std::string& path : RecentAuctions()) {
        QString shown = QString::fromStdString(path);
        shown.replace('&', "&&");
        QAction* a = recent->addAction(QStringLiteral("&%1 %2").arg(++n).arg(shown));
        connect(a, &QAction::triggered, this, [this, path] { OpenRecentAuction(path); });
    }
    recent->menuAction()->setEnabled(n > 0);
}

bool frmMain::CloseAuctionWindows() {
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) {
        if (!sub->close()) return false;
        // Now, not later: its record sets must let go of the auction before it closes.
        delete sub;
    }
    // The help is not the auction's and stays.
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w != help_ && w->isWindow() && w->isVisible()) w->close();
    }
    return true;
}

void frmMain::SwitchToAuction(const std::string& path) {
    if (!CloseAuctionWindows()) return;
    try {
        session_.Close();
        startUp_->OpenAuction(path);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

}  // namespace corv
