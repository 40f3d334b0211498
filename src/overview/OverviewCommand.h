#pragma once

class QMdiArea;

namespace corv {
namespace store {
class AuctionSession;
}

// Tools > Auction Overview: opens the overview of the session's open auction in area, or brings the one
// already open to the front.
void ShowAuctionOverview(store::AuctionSession& session, QMdiArea& area);

}  // namespace corv
