#include "OverviewTestSupport.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QString>
#include <filesystem>
#include <stdexcept>

#include "dialogue/AuctionCommands.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {

std::vector<BidRow> ReadRows(Database& auction) {
    auto rs = auction.OpenRecordset(
        "SELECT Round, Market, Block, [Bidder Name], [Bid Amount], [Net Bid Amount] FROM [Markets and "
        "Bidders]",
        RecordsetType::Snapshot);
    rs->WaitComplete();
    std::vector<BidRow> rows;
    auto text = [&](std::size_t r, int c) {
        const Value v = rs->Cell(r, c);
        return v.isNull() ? std::optional<std::string>() : v.toString();
    };
    auto number = [&](std::size_t r, int c) {
        const Value v = rs->Cell(r, c);
        return v.isNull() ? std::optional<double>() : v.asDouble();
    };
    for (std::size_t r = 0; r < rs->RowCount(); ++r)
        rows.push_back({static_cast<int>(rs->Cell(r, 0).asInteger()), text(r, 1).value_or(""),
                        text(r, 2).value_or(""), text(r, 3), number(r, 4), number(r, 5)});
    return rows;
}

Expected ExpectedRound(const std::vector<BidRow>& rows, int round, bool net) {
    struct Lead {
        double high;
        std::string bidder;
        int since;
    };
    std::map<std::string, std::string> spelling;  // lower case -> first spelling
    auto name = [&](const BidRow& r) {
        const std::string n = r.bidder.value_or("");
        return spelling.emplace(QString::fromStdString(n).toLower().toStdString(), n).first->second;
    };
    std::map<std::pair<std::string, std::string>, Lead> after, before;
    Expected e;
    // Rows of a round in table order, rounds ascending: a stable pass per round.
    for (int r = 1; r <= round; ++r) {
        if (r == round) before = after;
        for (const BidRow& row : rows) {
            if (row.round != r) continue;
            const std::optional<double> amount = net ? row.net : row.gross;
            if (!amount) continue;
            const std::string bidder = name(row);
            const auto key = std::make_pair(row.market, row.block == "  " ? std::string() : row.block);
            auto it = after.find(key);
            if (it == after.end() || *amount > it->second.high) after[key] = {*amount, bidder, r};
            ExpectedBidder& b = e.bidders[bidder];
            if (b.first == 0) b.first = r;
            b.last = r;
            if (r == round) {
                ++b.bids;
                ++e.markets[key].bids;
            }
        }
    }
    for (const auto& [key, lead] : after) {
        ExpectedMarket& m = e.markets[key];
        m.high = lead.high;
        m.bidder = lead.bidder;
        m.since = lead.since;
        e.standing += lead.high;
        e.change += lead.high;
        if (auto it = before.find(key); it != before.end()) {
            m.previous = it->second.high;
            m.leaderChanged = it->second.bidder != lead.bidder;
            e.change -= it->second.high;
            e.leaderChanges += m.leaderChanged;
        }
        e.bidders[lead.bidder].leads++;
        e.bidders[lead.bidder].held += lead.high;
    }
    return e;
}

bool ImportJetSample(const std::string& samples, const std::string& folder, ScriptedDesktop& desktop,
                     store::AuctionSession& session) {
    namespace fs = std::filesystem;
    const std::string batch = folder + "/batch";
    fs::create_directories(batch);
    for (int r = 1; r <= 6; ++r) {
        const std::string name = "31_00" + std::to_string(r) + ".mdb";
        fs::copy_file(samples + "/" + name, batch + "/" + name);
    }
    desktop.SetProgramFolder(folder);
    desktop.OpenFile(batch + "/31_001.mdb");
    BatchImportAuction(session, {});
    if (!session.Current() || session.Current()->LastRound() != 6) {
        ADD_FAILURE() << "the sample auction was not imported: "
                      << (desktop.boxes.empty() ? "" : desktop.LastBox().text);
        return false;
    }
    return true;
}

void WaitIdle(overview::frmOverview& w) {
    // News arrives queued: deliver it, so that the work it starts counts.
    QCoreApplication::sendPostedEvents();
    while (w.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<overview::frmOverview> ShowOverview(store::AuctionSession& session,
                                                    standings::AuctionBids& bids) {
    auto window = std::make_unique<overview::frmOverview>(session, bids);
    window->resize(1280, 800);
    window->show();
    WaitIdle(*window);
    return window;
}

void ChooseRound(overview::frmOverview& w, int round) {
    w.cboRound->setCurrentIndex(w.cboRound->findData(round));
    WaitIdle(w);
}

}  // namespace corv::test
