#include "engine/JetLocale.h"

#include <atomic>
#include <utility>

namespace corv {

namespace {

// Written by SetJetLocale (main thread), read by every thread evaluating SQL; the object itself never
// changes once published.
std::atomic<std::shared_ptr<const JetLocale>>& Published() {
    static std::atomic<std::shared_ptr<const JetLocale>> current{std::make_shared<const JetLocale>()};
    return current;
}

}  // namespace

void SetJetLocale(JetLocale locale) {
    Published().store(std::make_shared<const JetLocale>(std::move(locale)));
}

std::shared_ptr<const JetLocale> CurrentJetLocale() {
    return Published().load();
}

}  // namespace corv
