#pragma once

class QMdiArea;

namespace corv {
namespace store {
class AuctionSession;
}

// Tools > Auction Overview: opens the overview of the session's open auction in area, or brings the one
// already open to the front. The bids come from the session's AuctionBids (a listener of it).
void ShowAuctionOverview(store::AuctionSession& session, QMdiArea& area);

}  // namespace corv
