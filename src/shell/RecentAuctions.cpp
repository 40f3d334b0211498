#include "shell/RecentAuctions.h"

#include <algorithm>
#include <filesystem>

#include "platform/DesktopServices.h"
#include "shell/ShellText.h"

namespace corv {

namespace {

constexpr const char* kRecentSection = "Recent Auctions";

std::string Key(std::size_t i) {
    return "Auction" + std::to_string(i + 1);
}

void Save(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < kRecentAuctionCount; ++i)
        Desktop().SaveSetting(shell::kSettingsApp, kRecentSection, Key(i), i < paths.size() ? paths[i] : "");
}

// One spelling per file, links resolved, so the same auction reached by another path (a linked folder, "..")
// is not listed twice. Entries kept by earlier versions may be spelled otherwise: they are compared the same
// way.
std::string Spelling(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    if (!ec) return canonical.string();
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

void EraseSpelledAs(std::vector<std::string>& paths, const std::string& spelled) {
    std::erase_if(paths, [&](const std::string& p) { return p == spelled || Spelling(p) == spelled; });
}

}  // namespace

std::vector<std::string> RecentAuctions() {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kRecentAuctionCount; ++i) {
        std::string p = Desktop().GetSetting(shell::kSettingsApp, kRecentSection, Key(i), "");
        if (!p.empty()) paths.push_back(std::move(p));
    }
    return paths;
}

void NoteRecentAuction(const std::string& path) {
    const std::string spelled = Spelling(path);
    std::vector<std::string> paths = RecentAuctions();
    EraseSpelledAs(paths, spelled);
    paths.insert(paths.begin(), spelled);
    if (paths.size() > kRecentAuctionCount) paths.resize(kRecentAuctionCount);
    Save(paths);
}

void ForgetRecentAuction(const std::string& path) {
    std::vector<std::string> paths = RecentAuctions();
    std::erase(paths, path);
    EraseSpelledAs(paths, Spelling(path));
    Save(paths);
}

}  // namespace corv
