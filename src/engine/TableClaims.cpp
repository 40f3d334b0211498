#include "engine/TableClaims.h"

#include <algorithm>

#include "engine/EngineInternal.h"

namespace corv {

void TableClaims::Claim(const std::vector<std::string>& tables) {
    std::lock_guard lock(mutex_);
    claims_.push_back(&tables);
}

void TableClaims::Release(const std::vector<std::string>& tables) {
    std::lock_guard lock(mutex_);
    claims_.erase(std::remove(claims_.begin(), claims_.end(), &tables), claims_.end());
}

bool TableClaims::IsClaimed(std::string_view table) const {
    std::lock_guard lock(mutex_);
    for (const std::vector<std::string>* tables : claims_) {
        for (const std::string& t : *tables) {
            if (engine::SameName(t, table)) return true;
        }
    }
    return false;
}

}  // namespace corv
