#include "engine/functions/JetLocale.h"

#include <mutex>
#include <utility>

namespace corv {

namespace {

// Replaced by SetJetLocale (main thread), copied by every thread evaluating SQL; a published object never
// changes. A mutex rather than std::atomic<std::shared_ptr>, whose lock bit ThreadSanitizer cannot see.
struct Published {
    std::mutex mutex;
    std::shared_ptr<const JetLocale> locale = std::make_shared<const JetLocale>();
};

Published& Current() {
    static Published published;
    return published;
}

}  // namespace

void SetJetLocale(JetLocale locale) {
    auto next = std::make_shared<const JetLocale>(std::move(locale));
    Published& p = Current();
    std::lock_guard lock(p.mutex);
    p.locale.swap(next);
}

std::shared_ptr<const JetLocale> CurrentJetLocale() {
    Published& p = Current();
    std::lock_guard lock(p.mutex);
    return p.locale;
}

}  // namespace corv
