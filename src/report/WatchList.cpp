// The watch list's file: its kinds of rule, reading it with the line of each fault, and writing it.
#include "report/WatchList.h"

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "report/ReportWriters.h"
#include "report/WatchFiles.h"

namespace corv::report {

using nlohmann::json;

const char* WatchWhenText(WatchWhen when) {
    switch (when) {
        case WatchWhen::NewLeader:
            return "new leader";
        case WatchWhen::NewHighBid:
            return "new high bid";
        case WatchWhen::HighBidReaches:
            return "high bid reaches";
        case WatchWhen::Rises:
            return "rises";
        case WatchWhen::GainsOrLosesLead:
            return "gains or loses a lead";
        case WatchWhen::EligibilityFalls:
            return "eligibility falls";
        case WatchWhen::DropsOut:
            return "drops out";
        case WatchWhen::NoNewBids:
            return "no new bids";
        case WatchWhen::TotalReaches:
            return "standing total reaches";
    }
    return "";
}

std::optional<WatchWhen> WatchWhenNamed(std::string_view text) {
    for (WatchWhen w : kWatchWhens)
        if (text == WatchWhenText(w)) return w;
    return std::nullopt;
}

WatchSubject SubjectOf(WatchWhen when) {
    switch (when) {
        case WatchWhen::NewLeader:
        case WatchWhen::NewHighBid:
        case WatchWhen::HighBidReaches:
        case WatchWhen::Rises:
            return WatchSubject::Licence;
        case WatchWhen::GainsOrLosesLead:
        case WatchWhen::EligibilityFalls:
        case WatchWhen::DropsOut:
            return WatchSubject::Bidder;
        case WatchWhen::NoNewBids:
        case WatchWhen::TotalReaches:
            break;
    }
    return WatchSubject::Auction;
}

bool NeedsAmount(WatchWhen when) {
    return when == WatchWhen::HighBidReaches || when == WatchWhen::TotalReaches;
}

bool NeedsPercent(WatchWhen when) {
    return when == WatchWhen::Rises;
}

std::string WatchListError::Describe(const std::string& path) const {
    std::string out = path + " cannot be used as a watch list: ";
    if (line > 0) out += "line " + std::to_string(line) + ": ";
    return out + message;
}

namespace {

namespace fs = std::filesystem;

// A file this large is no list a person wrote; reading stops rather than filling memory.
constexpr std::size_t kLargestFile = 16u << 20;

// Beside the auction, its extension replaced: Auction14.mdb -> Auction14.watch.json.
std::string Beside(const std::string& auctionPath, const char* suffix) {
    fs::path p(auctionPath);
    p.replace_extension();
    return p.string() + suffix;
}

// A value as the file has it, cut short, for a message.
std::string Shown(const json& v) {
    std::string text = v.dump(-1, ' ', false, json::error_handler_t::replace);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

std::string Quoted(const std::string& s) {
    return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

class ListReader {
  public:
    explicit ListReader(const std::string& text) : text_(text) {}

    WatchList Read() {
        if (text_.find_first_not_of(" \t\r\n") == std::string::npos)
            throw WatchListError{0, "the file is empty (write {\"version\": 1, \"rules\": []} for no rules)"};
        json doc;
        try {
            doc = json::parse(text_);
        } catch (const json::parse_error& e) {
            throw WatchListError{detail::LineAt(text_, e.byte > 0 ? e.byte - 1 : 0),
                                 "not valid JSON: " + detail::ParseErrorText(e.what())};
        }
        if (!doc.is_object())
            throw WatchListError{LineOf(text_.find_first_not_of(" \t\r\n")),
                                 "the list must be a JSON object such as {\"version\": 1, \"rules\": []}"};
        for (const auto& [key, value] : doc.items())
            if (key != "version" && key != "rules")
                throw WatchListError{MemberLine(key), "unknown key " + Quoted(key) +
                                                          " (a list has \"version\" and \"rules\")"};
        if (!doc.contains("version")) throw WatchListError{0, "it has no \"version\" (write \"version\": 1)"};
        const json& version = doc["version"];
        if (!version.is_number() || version.get<double>() != 1)
            throw WatchListError{MemberLine("version"),
                                 "unknown version " + Shown(version) + " (this Corvidel reads version 1)"};
        if (!doc.contains("rules"))
            throw WatchListError{0, "it has no \"rules\" (write \"rules\": [] for none)"};
        const json& rules = doc["rules"];
        if (!rules.is_array()) throw WatchListError{MemberLine("rules"), "\"rules\" must be a list: [...]"};
        WatchList list;
        for (std::size_t i = 0; i < rules.size(); ++i) list.rules.push_back(Rule(rules[i], i));
        return list;
    }

  private:
    int LineOf(std::size_t offset) const { return detail::LineAt(text_, offset); }
    int MemberLine(const std::string& key) const {
        const detail::JsonPlaces& places = Places();
        const auto it = places.members.find(key);
        if (it != places.members.end()) return LineOf(it->second);
        return places.object ? LineOf(*places.object) : 0;
    }
    int RuleLine(std::size_t i) const {
        if (i < Places().elements.size()) return LineOf(Places().elements[i]);
        return MemberLine("rules");
    }

    WatchRule Rule(const json& r, std::size_t i) const {
        // The line is looked for only once something is wrong: a long list reads in one pass.
        const auto fail = [&](const std::string& what) {
            throw WatchListError{RuleLine(i), what + " (rule " + std::to_string(i + 1) + ")"};
        };
        if (!r.is_object())
            fail("a rule must be an object such as {\"when\": \"no new bids\"}, not " + Shown(r));
        const auto when = r.find("when");
        if (when == r.end()) fail("the rule has no \"when\"");
        if (!when->is_string()) fail("\"when\" must be a text such as \"new leader\", not " + Shown(*when));
        const auto kind = WatchWhenNamed(when->get<std::string>());
        if (!kind) fail("unknown \"when\": " + Shown(*when));

        WatchRule rule;
        rule.when = *kind;
        const std::string named = "\"" + std::string(WatchWhenText(*kind)) + "\"";
        const WatchSubject subject = SubjectOf(*kind);
        for (const auto& [key, value] : r.items()) {
            const bool known = key == "when" || key == "market" || key == "block" || key == "bidder" ||
                               key == "amount" || key == "percent";
            if (!known) fail("unknown key " + Quoted(key));
            const bool takes =
                key == "when" || ((key == "market" || key == "block") && subject == WatchSubject::Licence) ||
                (key == "bidder" && subject == WatchSubject::Bidder) ||
                (key == "amount" && NeedsAmount(*kind)) || (key == "percent" && NeedsPercent(*kind));
            if (!takes) fail(named + " takes no " + Quoted(key));
        }
        const auto text = [&](const char* key, bool mayBeEmpty) -> std::optional<std::string> {
            const auto it = r.find(key);
            if (it == r.end()) return std::nullopt;
            if (!it->is_string()) fail(Quoted(key) + " must be a text, not " + Shown(*it));
            std::string s = it->get<std::string>();
            if (!mayBeEmpty && s.find_first_not_of(" \t") == std::string::npos)
                fail(Quoted(key) + " is empty");
            return s;
        };
        const auto number = [&](const char* key, const char* article) -> std::optional<double> {
            const auto it = r.find(key);
            if (it == r.end()) fail(named + " needs " + article + " " + Quoted(key));
            if (!it->is_number()) fail(Quoted(key) + " must be a number, not " + Shown(*it));
            const double v = it->get<double>();
            if (!std::isfinite(v) || v < 0) fail(Quoted(key) + " must be 0 or more, not " + Shown(*it));
            return v;
        };
        if (subject == WatchSubject::Licence) {
            rule.market = text("market", false);
            rule.block = text("block", true);
            if (!rule.market) fail(named + " needs a \"market\"");
        } else if (subject == WatchSubject::Bidder) {
            rule.bidder = text("bidder", false);
            if (!rule.bidder) fail(named + " needs a \"bidder\"");
        }
        if (NeedsAmount(*kind)) rule.amount = number("amount", "an");
        if (NeedsPercent(*kind)) rule.percent = number("percent", "a");
        return rule;
    }

    const detail::JsonPlaces& Places() const {
        if (!places_) places_ = detail::FindJsonPlaces(text_, "rules");
        return *places_;
    }

    const std::string& text_;
    mutable std::optional<detail::JsonPlaces> places_;
};

}  // namespace

std::string WatchListPath(const std::string& auctionPath) {
    return Beside(auctionPath, ".watch.json");
}

std::string AlertLogPath(const std::string& auctionPath) {
    return Beside(auctionPath, ".alerts.json");
}

WatchList ParseWatchList(const std::string& text) {
    return ListReader(text).Read();
}

std::optional<WatchList> ReadWatchList(const std::string& path) {
    std::optional<std::string> text;
    try {
        text = detail::ReadWholeFile(path, kLargestFile);
    } catch (const std::runtime_error& e) {
        std::string why = e.what();
        const std::size_t colon = why.rfind(": ");
        throw WatchListError{
            0, "it cannot be read (" + (colon == std::string::npos ? why : why.substr(colon + 2)) + ")"};
    }
    if (!text) return std::nullopt;
    return ParseWatchList(*text);
}

std::string WatchListJson(const WatchList& list) {
    if (list.rules.empty()) return "{\"version\": 1, \"rules\": []}\n";
    std::string out = "{\"version\": 1, \"rules\": [\n";
    for (std::size_t i = 0; i < list.rules.size(); ++i) {
        const WatchRule& r = list.rules[i];
        const WatchSubject subject = SubjectOf(r.when);
        std::string line;
        const auto add = [&](const char* key, const std::string& value) {
            line += line.empty() ? "{" : ", ";
            line += Quoted(key) + ": " + value;
        };
        if (subject == WatchSubject::Licence) {
            if (r.market) add("market", Quoted(*r.market));
            if (r.block) add("block", Quoted(*r.block));
        }
        if (subject == WatchSubject::Bidder && r.bidder) add("bidder", Quoted(*r.bidder));
        add("when", Quoted(WatchWhenText(r.when)));
        if (NeedsAmount(r.when) && r.amount) add("amount", JsonNumber(*r.amount));
        if (NeedsPercent(r.when) && r.percent) add("percent", JsonNumber(*r.percent));
        out += "  " + line + (i + 1 < list.rules.size() ? "},\n" : "}\n");
    }
    return out + "]}\n";
}

void WriteWatchList(const std::string& path, const WatchList& list) {
    const std::string text = WatchListJson(list);
    // Never write a list the next reading would refuse.
    try {
        ParseWatchList(text);
    } catch (const WatchListError& e) {
        throw std::runtime_error("cannot write " + path + ": the list would not read back: " + e.message);
    }
    detail::ReplaceFile(path, text);
}

}  // namespace corv::report
