#include "overview/RoundReportExport.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QWidget>
#include <QtConcurrent>
#include <filesystem>

#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "platform/ExportFile.h"
#include "report/ReportHtml.h"
#include "standings/AuctionBids.h"
#include "store/Auction.h"

namespace corv::overview {

namespace {

constexpr const char* kTitle = "Export Round Report";

struct Made {
    std::string page;
    std::string failure;  // empty when the page was made
};

void WriteAndOffer(const std::string& path, const std::string& page) {
    try {
        ExportFile file(path);
        file.Write(page);
        file.Close();
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NoColon, e);
        return;
    }
    if (Desktop().MessageBox("The report is written to " + path + ".\rOpen it in the web browser?",
                             MsgButtons::YesNo, MsgIcon::Question, kTitle) != MsgAnswer::Yes)
        return;
    if (!Desktop().OpenWithDefaultApplication(path))
        Desktop().MessageBox("No web browser could be started to show " + path + ".", MsgButtons::OK,
                             MsgIcon::Exclamation, kTitle);
}

}  // namespace

void ExportRoundReport(QObject* context, std::shared_ptr<const standings::BidHistory> history,
                       const std::string& auctionPath, ReportChoice choice) {
    const std::string auction = std::filesystem::path(auctionPath).filename().string();
    FileDialogOptions options;
    options.filter = "Web page (*.html)|*.html|";
    options.title = kTitle;
    options.fileName = std::filesystem::path(auctionPath).stem().string() + " round " +
                       std::to_string(choice.round) + ".html";
    const std::optional<std::string> chosen = Desktop().SaveFileDialog(options);
    if (!chosen || chosen->empty()) return;
    std::string path = *chosen;
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty()) path += ".html";

    // Up to a second on the largest auctions: made on a worker, the pointer busy meanwhile.
    auto busy = std::make_shared<BusyPointer>();
    auto* watcher = new QFutureWatcher<Made>(context);
    QObject::connect(watcher, &QFutureWatcher<Made>::finished, context, [watcher, busy, path]() mutable {
        const Made made = watcher->result();
        watcher->deleteLater();
        busy.reset();
        if (!made.failure.empty()) {
            Desktop().MessageBox("The report could not be made: " + made.failure, MsgButtons::OK,
                                 MsgIcon::Critical, kTitle);
            return;
        }
        WriteAndOffer(path, made.page);
    });
    watcher->setFuture(QtConcurrent::run([history = std::move(history), auction, auctionPath, choice] {
        try {
            const standings::MarketDataTable* marketData = nullptr;
            if (choice.tables && choice.marketData >= 0 &&
                choice.marketData < static_cast<int>(choice.tables->marketData.size()))
                marketData = &choice.tables->marketData[static_cast<std::size_t>(choice.marketData)];
            const report::RoundReport r =
                report::BuildReport(history, auction, choice.round, choice.since, choice.measure, marketData);
            return Made{report::HtmlPage(r, report::PageExtras(auctionPath, *history, choice.round)), {}};
        } catch (const std::exception& e) {
            return Made{{}, e.what()};
        }
    }));
}

void ExportLatestRoundReport(store::AuctionSession& session, QWidget* parent) {
    const auto* bids = session.FindListener<standings::AuctionBids>();
    const store::Auction* auction = session.Current();
    if (!bids || !auction) return;
    const standings::BidsSnapshot now = bids->Current();
    if (!now.history || now.rounds.empty()) {
        std::string why = now.problem;
        if (why.empty())
            why = now.history ? "The auction holds no imported round."
                              : "The bids are still being read: try again in a moment.";
        Desktop().MessageBox(why, MsgButtons::OK, MsgIcon::Information, kTitle);
        return;
    }
    const int round = now.rounds.back();
    ExportRoundReport(parent, now.history, auction->Path(),
                      {round, round - 1, standings::Measure::Gross, now.tables, 0});
}

}  // namespace corv::overview
