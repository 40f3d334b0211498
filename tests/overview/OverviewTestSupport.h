// A row-by-row count of what the overview should show, made apart from the code under test, and helpers to
// open the window on an auction and wait for its work.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Database.h"
#include "overview/frmOverview.h"
#include "store/Auction.h"

namespace corv::test {

class ScriptedDesktop;

struct BidRow {
    int round = 0;
    std::string market, block;
    std::optional<std::string> bidder;
    std::optional<double> gross, net;
};
// Every row of "Markets and Bidders", in the table's order, read through the engine.
std::vector<BidRow> ReadRows(Database& auction);

struct ExpectedMarket {
    double high = 0;
    std::string bidder;  // as first spelled
    int since = 0;
    std::optional<double> previous;
    int bids = 0;
    bool leaderChanged = false;
};
struct ExpectedBidder {
    int leads = 0;
    double held = 0;
    int bids = 0, first = 0, last = 0;
};
struct Expected {
    std::map<std::pair<std::string, std::string>, ExpectedMarket> markets;  // (market, block as shown)
    std::map<std::string, ExpectedBidder> bidders;                          // by first spelling
    double standing = 0, change = 0;
    int leaderChanges = 0;
};
Expected ExpectedRound(const std::vector<BidRow>& rows, int round, bool net);

// Imports the Jet sample auction's rounds 1 to 6 into folder through the batch import; the session then
// holds it. False, with the reason added to the test, when it cannot.
bool ImportJetSample(const std::string& samples, const std::string& folder, ScriptedDesktop& desktop,
                     store::AuctionSession& session);

// Processes events until the window has no work under way.
void WaitIdle(overview::frmOverview& w);
// A window on the session's open auction, shown at 1280x800 once its work is done.
std::unique_ptr<overview::frmOverview> ShowOverview(store::AuctionSession& session,
                                                    standings::AuctionBids& bids);
// Chooses round in the window's round list and waits for it to show.
void ChooseRound(overview::frmOverview& w, int round);

}  // namespace corv::test
