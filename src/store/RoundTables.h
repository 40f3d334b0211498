// The names of the tables the round results files supply and of the columns the program reads from them.
// Columns are matched without regard to letter case (FindColumn), as Jet matches them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corv::store {

// The bids: one row per bid placed in a round.
inline constexpr const char* kBidsTable = "Markets and Bidders";
inline constexpr const char* kAuctionIdColumn = "Auction Id";
inline constexpr const char* kRoundColumn = "Round";  // in every supplied table but the statistics
inline constexpr const char* kMarketColumn = "Market";
inline constexpr const char* kBlockColumn = "Block";
inline constexpr const char* kBidderColumn = "Bidder Name";
inline constexpr const char* kBidAmountColumn = "Bid Amount";
inline constexpr const char* kNetBidAmountColumn = "Net Bid Amount";

// Each bidder's eligibility in a round. Auctions name the table differently, so it is the first supplied
// table, in the catalog's order, holding all of kEligibilityColumns.
inline constexpr const char* kEligibilityColumn = "Eligibility";
inline constexpr const char* kEligibilityColumns[] = {kRoundColumn, kBidderColumn, kEligibilityColumn};
// Two of the names it goes by.
inline constexpr const char* kBidderActivityTable = "Bidder Activity";
inline constexpr const char* kBidderEligibilityTable = "Bidder Eligibility";

// The six statistics tables, shown whole rather than one round at a time. Each round's file holds the whole
// of kWithdrawalStatisticsTable, so an import replaces its rows rather than adding to them.
inline constexpr const char* kRoundStatisticsTable = "Round Statistics";
inline constexpr const char* kIncrementStatisticsTable = "Increment Statistics";
inline constexpr const char* kMiscellaneousStatisticsTable = "Miscellaneous Statistics";
inline constexpr const char* kReductionStatisticsTable = "Reduction Statistics";
inline constexpr const char* kWithdrawalStatisticsTable = "Withdrawal Statistics";
inline constexpr const char* kWaiverStatisticsTable = "Waiver Statistics";
inline constexpr const char* kStatisticsTables[] = {kRoundStatisticsTable,         kIncrementStatisticsTable,
                                                    kMiscellaneousStatisticsTable, kReductionStatisticsTable,
                                                    kWithdrawalStatisticsTable,    kWaiverStatisticsTable};

// The table's own spelling of wanted among columns, letter case aside; nullopt when it has none.
std::optional<std::string> FindColumn(const std::vector<std::string>& columns, std::string_view wanted);

}  // namespace corv::store
