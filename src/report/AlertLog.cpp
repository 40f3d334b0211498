// The auction's alert log: read whole, appended by replacing it atomically, the newest kAlertLogLimit kept.
#include <time.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "report/WatchFiles.h"
#include "report/WatchList.h"

namespace corv::report {

using nlohmann::json;

namespace {

constexpr std::size_t kLargestLog = 64u << 20;

std::string Quoted(const std::string& s) {
    return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<LoggedAlert> ParseLog(const std::string& path, const std::string& text) {
    const auto fail = [&](int line, const std::string& what) -> std::runtime_error {
        return std::runtime_error(path + " cannot be used as an alert log: " +
                                  (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + what);
    };
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        throw fail(detail::LineAt(text, e.byte > 0 ? e.byte - 1 : 0),
                   "not valid JSON: " + detail::ParseErrorText(e.what()));
    }
    // Lines are looked for only once something is wrong: a long log reads in one pass.
    const auto places = [&] { return detail::FindJsonPlaces(text, "alerts"); };
    const auto memberLine = [&](const char* key) {
        const auto p = places();
        const auto it = p.members.find(key);
        return it != p.members.end() ? detail::LineAt(text, it->second) : 0;
    };
    if (!doc.is_object() || !doc.contains("alerts") || !doc["alerts"].is_array())
        throw fail(0, "it has no \"alerts\" list");
    if (!doc.contains("version") || !doc["version"].is_number() || doc["version"].get<double>() != 1)
        throw fail(memberLine("version"), "unknown version (this Corvidel reads version 1)");
    std::vector<LoggedAlert> out;
    const json& alerts = doc["alerts"];
    for (std::size_t i = 0; i < alerts.size(); ++i) {
        const json& a = alerts[i];
        const auto line = [&] {
            const auto p = places();
            return i < p.elements.size() ? detail::LineAt(text, p.elements[i]) : 0;
        };
        const auto whole = [&](const char* key) {
            if (!a.is_object() || !a.contains(key) || !a[key].is_number_integer())
                throw fail(line(), "alert " + std::to_string(i + 1) + " has no whole number " + Quoted(key));
            return a[key].get<int>();
        };
        const auto string = [&](const char* key) {
            if (!a.is_object() || !a.contains(key) || !a[key].is_string())
                throw fail(line(), "alert " + std::to_string(i + 1) + " has no text " + Quoted(key));
            return a[key].get<std::string>();
        };
        LoggedAlert logged;
        logged.alert.round = whole("round");
        logged.alert.rule = whole("rule");
        logged.alert.text = string("text");
        logged.time = string("time");
        out.push_back(std::move(logged));
    }
    return out;
}

std::string LogJson(const std::vector<LoggedAlert>& alerts) {
    if (alerts.empty()) return "{\"version\": 1, \"alerts\": []}\n";
    std::string out = "{\"version\": 1, \"alerts\": [\n";
    for (std::size_t i = 0; i < alerts.size(); ++i) {
        const LoggedAlert& a = alerts[i];
        out += "  {\"round\": " + std::to_string(a.alert.round) +
               ", \"rule\": " + std::to_string(a.alert.rule) + ", \"time\": " + Quoted(a.time) +
               ", \"text\": " + Quoted(a.alert.text) + (i + 1 < alerts.size() ? "},\n" : "}\n");
    }
    return out + "]}\n";
}

}  // namespace

std::string AlertTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string text = buffer;  // "+0100": ISO 8601 writes the offset "+01:00"
    if (text.size() >= 5 && (text[text.size() - 5] == '+' || text[text.size() - 5] == '-'))
        text.insert(text.size() - 2, ":");
    return text;
}

std::vector<LoggedAlert> ReadAlertLog(const std::string& path) {
    const std::optional<std::string> text = detail::ReadWholeFile(path, kLargestLog);
    if (!text) return {};
    return ParseLog(path, *text);
}

void AppendAlertLog(const std::string& path, const std::vector<LoggedAlert>& alerts) {
    if (alerts.empty()) return;
    std::vector<LoggedAlert> log = ReadAlertLog(path);  // a log that cannot be read is left as it is
    log.insert(log.end(), alerts.begin(), alerts.end());
    if (log.size() > kAlertLogLimit)
        log.erase(log.begin(), log.end() - static_cast<std::ptrdiff_t>(kAlertLogLimit));
    detail::ReplaceFile(path, LogJson(log));
}

}  // namespace corv::report
