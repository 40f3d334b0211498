#pragma once

namespace corv::store {

// The last entry of the round lists: whichever round is the newest, moving on with each import.
inline constexpr const char* kLatestRoundEntry = "Latest";

}  // namespace corv::store
