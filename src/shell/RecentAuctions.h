#pragma once

#include <string>
#include <vector>

namespace corv {

// The auctions opened last, newest first, kept in the settings store so File > Recent Auctions outlives the
// program.
inline constexpr std::size_t kRecentAuctionCount = 8;

std::vector<std::string> RecentAuctions();
// Puts path first, once; the oldest beyond the count drops off.
void NoteRecentAuction(const std::string& path);
void ForgetRecentAuction(const std::string& path);

}  // namespace corv
