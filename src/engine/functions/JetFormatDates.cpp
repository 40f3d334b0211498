// Format's date patterns: the codes d to yyyy, h to ss, AM/PM, q, w, ww, y and the locale's named forms.

#include "engine/functions/JetFormatDates.h"

#include <cctype>
#include <cstdio>
#include <string>
#include "engine/functions/JetFunctionSupport.h"

namespace corv::jetfn {

namespace {

bool IsDateLetter(char c) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's' || c == 'q' || c == 'w' ||
           c == 'c';
}

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view word) {
    if (s.size() - at < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(s[at + k])) != word[k]) return false;
    return true;
}

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsDatePattern(std::string_view f) {
    return HasCodeOutsideLiterals(f, [f](std::size_t i) {
        return IsDateLetter(f[i]) || StartsWithNoCase(f, i, "ttttt") || StartsWithNoCase(f, i, "am/pm") ||
               StartsWithNoCase(f, i, "a/p");
    });
}

std::string GeneralDate(const Stamp& st, const DateContext& cx, int depth) {
    const bool noTime = st.hh == 0 && st.mi == 0 && st.ss == 0;
    const bool noDate = st.y == 1899 && st.m == 12 && st.d == 30;
    if (noTime) return FormatDate(st, cx.loc.shortDate, cx, depth + 1);
    if (noDate) return FormatDate(st, cx.loc.longTime, cx, depth + 1);
    return FormatDate(st, cx.loc.shortDate, cx, depth + 1) + " " +
           FormatDate(st, cx.loc.longTime, cx, depth + 1);
}

std::string FormatDate(const Stamp& st, std::string_view f, const DateContext& cx, int depth) {
    if (depth > 2) return {};  // a locale pattern naming itself
    const JetLocale& loc = cx.loc;
    const std::string lf = Lowered(f);
    const bool twelveHour = lf.find("am/pm") != std::string::npos || lf.find("a/p") != std::string::npos ||
                            lf.find("ampm") != std::string::npos;
    std::string out;
    bool afterHour = false;  // an m right after an h counts minutes
    for (size_t i = 0; i < f.size();) {
        const char c = f[i];
        const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t run = 1;
        while (i + run < f.size() && std::tolower(static_cast<unsigned char>(f[i + run])) == lc) ++run;
        if (c == '\\' && i + 1 < f.size()) {
            out += f[i + 1];
            i += 2;
            continue;
        }
        if (c == '"') {
            size_t close = f.find('"', i + 1);
            if (close == std::string_view::npos) close = f.size();
            out += f.substr(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") ||
            StartsWithNoCase(f, i, "ampm")) {
            const bool pm = st.hh >= 12;
            const bool upper = std::isupper(static_cast<unsigned char>(c));
            if (StartsWithNoCase(f, i, "ampm")) {
                out += pm ? loc.pmText : loc.amText;
                i += 4;
            } else if (StartsWithNoCase(f, i, "am/pm")) {
                out += upper ? (pm ? "PM" : "AM") : (pm ? "pm" : "am");
                i += 5;
            } else {
                out += upper ? (pm ? "P" : "A") : (pm ? "p" : "a");
                i += 3;
            }
            continue;
        }
        bool token = true;
        switch (lc) {
            case 'c':
                out += GeneralDate(st, cx, depth);
                run = 1;
                break;
            case 'd':
                if (run <= 2) {
                    out += run == 1 ? std::to_string(st.d) : Two(st.d);
                } else if (run == 3) {
                    out += loc.dayShortNames[static_cast<size_t>(WeekdayOn(st, 1) - 1)];
                } else if (run == 4) {
                    out += loc.dayNames[static_cast<size_t>(WeekdayOn(st, 1) - 1)];
                } else {
                    out += FormatDate(st, run == 5 ? loc.shortDate : loc.longDate, cx, depth + 1);
                    run = std::min<size_t>(run, 6);
                }
                break;
            case 'w':
                run = std::min<size_t>(run, 2);
                out += std::to_string(run == 1 ? WeekdayOn(st, cx.firstDay)
                                               : WeekOn(st, cx.firstDay, cx.firstWeek));
                break;
            case 'm':
                if (run <= 2 && afterHour) {
                    out += run == 1 ? std::to_string(st.mi) : Two(st.mi);
                } else if (run <= 2) {
                    out += run == 1 ? std::to_string(st.m) : Two(st.m);
                } else if (run == 3) {
                    out += loc.monthShortNames[static_cast<size_t>(st.m - 1)];
                } else {
                    out += loc.monthNames[static_cast<size_t>(st.m - 1)];
                    run = 4;
                }
                break;
            case 'n':
                run = std::min<size_t>(run, 2);
                out += run == 1 ? std::to_string(st.mi) : Two(st.mi);
                break;
            case 's':
                run = std::min<size_t>(run, 2);
                out += run == 1 ? std::to_string(st.ss) : Two(st.ss);
                break;
            case 'q':
                run = 1;
                out += std::to_string((st.m - 1) / 3 + 1);
                break;
            case 'y':
                if (run == 1) {
                    out += std::to_string(DayOfYearOn(st));
                } else if (run < 4) {
                    out += Two(st.y % 100);
                    run = 2;
                } else {
                    out += std::to_string(st.y);
                    run = 4;
                }
                break;
            case 'h': {
                run = std::min<size_t>(run, 2);
                int h = st.hh;
                if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
                out += run == 1 ? std::to_string(h) : Two(h);
                break;
            }
            case 't':
                if (run >= 5) {
                    out += FormatDate(st, loc.longTime, cx, depth + 1);
                    run = 5;
                    break;
                }
                [[fallthrough]];
            default:
                token = false;
                run = 1;
                if (c == '/')
                    out += loc.dateSeparator;
                else if (c == ':')
                    out += loc.timeSeparator;
                else
                    out += c;
        }
        if (token) afterHour = lc == 'h';
        i += run;
    }
    return out;
}

}  // namespace corv::jetfn
