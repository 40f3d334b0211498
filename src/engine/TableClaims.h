#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corv {

// The tables a database's open record sets were read from, which cannot be dropped while a set is open: the
// sets hold copies, so the engine itself remembers. Each open set claims its list of source tables, and may
// end on any thread.
class TableClaims {
  public:
    // tables must stay where they are until Release(tables).
    void Claim(const std::vector<std::string>& tables);
    void Release(const std::vector<std::string>& tables);
    // Names compare without regard to letter case.
    bool IsClaimed(std::string_view table) const;

  private:
    mutable std::mutex mutex_;
    std::vector<const std::vector<std::string>*> claims_;
};

}  // namespace corv
