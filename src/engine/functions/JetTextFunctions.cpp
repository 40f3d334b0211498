// Text functions, Like matching and letter case, on UTF-8 texts.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/functions/JetFunctionSupport.h"
#include "engine/functions/JetFunctions.h"

namespace corv {

namespace jetfn {

// ---------------------------------------------------------------- text (UTF-8)

namespace {

// The character at s[i], advancing i past it.
char32_t DecodeAt(const unsigned char* s, size_t n, size_t& i) {
    unsigned char c = s[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    int extra = (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    bool ok = extra > 0 && i + static_cast<size_t>(extra) < n;
    char32_t cp = ok ? c & (0x3F >> extra) : c;
    for (int k = 1; k <= extra && ok; ++k) {
        unsigned char cc = s[i + k];
        if ((cc & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
        ++i;
        return c;  // a stray byte stays a character of its own
    }
    i += 1 + static_cast<size_t>(extra);
    return cp;
}

}  // namespace

std::u32string Decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t i = 0;
    while (i < s.size()) out.push_back(DecodeAt(p, s.size(), i));
    return out;
}

std::string Encode(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

char32_t FoldLower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    return c;
}
char32_t FoldUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    return c;
}

namespace {

// ---------------------------------------------------------------- text functions

bool CountArg(sqlite3_context* ctx, sqlite3_value* v, std::int64_t& n) {
    Num x;
    if (!NumArg(ctx, v, x, true)) return false;
    double r = std::nearbyint(x.real());
    if (r < 0 || r > 2147483647.0) {
        InvalidCall(ctx);
        return false;
    }
    n = static_cast<std::int64_t>(r);
    return true;
}

void JetLen(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(Decode(TextOf(a[0])).size()));
}

template <int Kind>  // 0 Left, 1 Right
void JetSide(sqlite3_context* ctx, int, sqlite3_value** a) {
    std::int64_t n;
    if (!CountArg(ctx, a[1], n)) return;
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::u32string s = Decode(TextOf(a[0]));
    size_t k = static_cast<size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(s.size())));
    ResultText(ctx, Encode(Kind == 0 ? std::u32string_view(s).substr(0, k)
                                     : std::u32string_view(s).substr(s.size() - k)));
}

void JetMid(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    std::int64_t start, len = std::numeric_limits<std::int32_t>::max();
    if (!CountArg(ctx, a[1], start)) return;
    if (start < 1) return InvalidCall(ctx);
    if (argc > 2 && !CountArg(ctx, a[2], len)) return;
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::u32string s = Decode(TextOf(a[0]));
    size_t b = static_cast<size_t>(start - 1);
    if (b >= s.size()) return ResultText(ctx, "");
    ResultText(ctx, Encode(std::u32string_view(s).substr(b, static_cast<size_t>(len))));
}

template <int Kind>  // 0 UCase, 1 LCase
void JetCase(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::u32string s = Decode(TextOf(a[0]));
    for (char32_t& c : s) c = Kind == 0 ? FoldUpper(c) : FoldLower(c);
    ResultText(ctx, Encode(s));
}

template <int Kind>  // 0 Trim, 1 LTrim, 2 RTrim: blanks only
void JetTrim(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::string s = TextOf(a[0]);
    size_t b = 0, e = s.size();
    if (Kind != 2)
        while (b < e && s[b] == ' ') ++b;
    if (Kind != 1)
        while (e > b && s[e - 1] == ' ') --e;
    ResultText(ctx, s.substr(b, e - b));
}

// InStr([start,] text, sought): 1-based position ignoring letter case, 0 when absent.
void JetInStr(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    std::int64_t start = 1;
    int first = 0;
    if (argc == 3) {
        if (!CountArg(ctx, a[0], start)) return;
        if (start < 1) return InvalidCall(ctx);
        first = 1;
    }
    if (IsNull(a[first]) || IsNull(a[first + 1])) return sqlite3_result_null(ctx);
    std::u32string s = Decode(TextOf(a[first])), f = Decode(TextOf(a[first + 1]));
    for (char32_t& c : s) c = FoldLower(c);
    for (char32_t& c : f) c = FoldLower(c);
    size_t b = static_cast<size_t>(start - 1);
    if (b > s.size()) return sqlite3_result_int(ctx, 0);
    size_t p = s.find(f, b);
    sqlite3_result_int64(ctx, p == std::u32string::npos ? 0 : static_cast<std::int64_t>(p + 1));
}

void JetSpace(sqlite3_context* ctx, int, sqlite3_value** a) {
    std::int64_t n;
    if (!CountArg(ctx, a[0], n)) return;
    if (n > 1000000) return Fail(ctx, kOverflow, "Overflow.");
    ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void JetStrReverse(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    std::u32string s = Decode(TextOf(a[0]));
    std::reverse(s.begin(), s.end());
    ResultText(ctx, Encode(s));
}

// String(n, c): c is a character code (taken modulo 256, as the classic runtime does) or a text whose
// first character repeats.
void JetString(sqlite3_context* ctx, int, sqlite3_value** a) {
    std::int64_t n;
    if (!CountArg(ctx, a[0], n)) return;
    if (n > 1000000) return Fail(ctx, kOverflow, "Overflow.");
    if (IsNull(a[1])) return sqlite3_result_null(ctx);
    char32_t c;
    Num code;
    if (IsText(a[1])) {
        const std::u32string t = Decode(TextOf(a[1]));
        if (t.empty()) return InvalidCall(ctx);
        c = t[0];
    } else {
        if (GetNum(a[1], code) != Got::Ok) return TypeMismatch(ctx);
        const double r = std::nearbyint(code.real());
        if (r < 0 || r > 2147483647.0) return InvalidCall(ctx);
        c = static_cast<char32_t>(static_cast<std::int64_t>(r) % 256);
    }
    ResultText(ctx, Encode(std::u32string(static_cast<size_t>(n), c)));
}

// A compare argument: 0 binary, 1 text; 2 (the database's order) compares as text, as every other
// comparison here ignores letter case.
bool CompareArg(sqlite3_context* ctx, int argc, sqlite3_value** a, int at, bool& text) {
    text = false;
    if (argc <= at) return true;
    Num n;
    if (!NumArg(ctx, a[at], n, true)) return false;
    const double r = std::nearbyint(n.real());
    if (r < 0 || r > 2) {
        InvalidCall(ctx);
        return false;
    }
    text = r != 0;
    return true;
}

std::u32string Folded(std::u32string s) {
    for (char32_t& c : s) c = FoldLower(c);
    return s;
}

// StrComp(a, b [, compare]): -1, 0 or 1; Null when either text is Null.
void JetStrComp(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    bool text;
    if (!CompareArg(ctx, argc, a, 2, text)) return;
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    std::u32string x = Decode(TextOf(a[0])), y = Decode(TextOf(a[1]));
    if (text) {
        x = Folded(std::move(x));
        y = Folded(std::move(y));
    }
    const int c = x.compare(y);
    sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

// Replace(text, find, with [, start [, count [, compare]]]): the result starts at start, the part before
// it dropped; count -1 replaces every occurrence.
void JetReplace(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    std::int64_t start = 1, count = -1;
    if (argc > 3 && !CountArg(ctx, a[3], start)) return;
    if (start < 1) return InvalidCall(ctx);
    if (argc > 4) {
        Num n;
        if (!NumArg(ctx, a[4], n, true)) return;
        const double r = std::nearbyint(n.real());
        if (r < -1 || r > 2147483647.0) return InvalidCall(ctx);
        count = static_cast<std::int64_t>(r);
    }
    bool text;
    if (!CompareArg(ctx, argc, a, 5, text)) return;
    if (IsNull(a[0]) || IsNull(a[1]) || IsNull(a[2])) return InvalidNull(ctx);
    const std::u32string s = Decode(TextOf(a[0])), find = Decode(TextOf(a[1])), with = Decode(TextOf(a[2]));
    const size_t b = static_cast<size_t>(start - 1);
    if (b >= s.size()) return ResultText(ctx, "");
    const std::u32string sought = text ? Folded(find) : find, in = text ? Folded(s) : s;
    std::u32string out;
    size_t at = b;
    for (std::int64_t done = 0; !find.empty() && (count < 0 || done < count); ++done) {
        const size_t hit = in.find(sought, at);
        if (hit == std::u32string::npos) break;
        out.append(s, at, hit - at);
        out += with;
        at = hit + find.size();
    }
    out.append(s, at);
    ResultText(ctx, Encode(out));
}

void JetChr(sqlite3_context* ctx, int, sqlite3_value** a) {
    std::int64_t n;
    if (!CountArg(ctx, a[0], n)) return;
    if (n > 0x10FFFF) return InvalidCall(ctx);
    char32_t c = static_cast<char32_t>(n);
    ResultText(ctx, Encode(std::u32string_view(&c, 1)));
}

void JetAsc(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    std::u32string s = Decode(TextOf(a[0]));
    if (s.empty()) return InvalidCall(ctx);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(s[0]));
}

// ---------------------------------------------------------------- Like

struct LikeItem {
    enum Kind { Char, Any, AnyRun, Digit, Set } kind = Char;
    char32_t c = 0;
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
};

bool CompileLike(std::string_view pattern, std::vector<LikeItem>& items) {
    std::u32string p = Decode(pattern);
    for (size_t i = 0; i < p.size(); ++i) {
        char32_t c = p[i];
        LikeItem it;
        if (c == '*') {
            it.kind = LikeItem::AnyRun;
        } else if (c == '?') {
            it.kind = LikeItem::Any;
        } else if (c == '#') {
            it.kind = LikeItem::Digit;
        } else if (c == '[') {
            size_t j = i + 1;
            it.kind = LikeItem::Set;
            if (j < p.size() && p[j] == '!') {
                it.negate = true;
                ++j;
            }
            size_t close = p.find(U']', j);
            if (close == std::u32string::npos) return false;
            if (close == i + 1) {  // "[]" matches nothing at all: the empty string
                i = close;
                continue;
            }
            for (size_t k = j; k < close; ++k) {
                char32_t lo = FoldLower(p[k]), hi = lo;
                if (k + 2 < close && p[k + 1] == '-') {
                    hi = FoldLower(p[k + 2]);
                    if (hi < lo) return false;
                    k += 2;
                }
                it.ranges.emplace_back(lo, hi);
            }
            i = close;
        } else {
            it.c = FoldLower(c);
        }
        items.push_back(std::move(it));
    }
    return true;
}

bool ItemMatches(const LikeItem& it, char32_t c) {
    switch (it.kind) {
        case LikeItem::Char:
            return it.c == c;
        case LikeItem::Any:
            return true;
        case LikeItem::Digit:
            return c >= '0' && c <= '9';
        case LikeItem::Set: {
            bool in = false;
            for (auto& r : it.ranges)
                if (c >= r.first && c <= r.second) in = true;
            return in != it.negate;
        }
        case LikeItem::AnyRun:
            return false;
    }
    return false;
}

// Every item but * takes exactly one character, so one backtrack point (the last *) is enough.
bool MatchItems(const std::vector<LikeItem>& items, std::u32string_view s) {
    size_t pi = 0, si = 0, starP = std::string::npos, starS = 0;
    while (si < s.size()) {
        if (pi < items.size() && items[pi].kind == LikeItem::AnyRun) {
            starP = pi++;
            starS = si;
        } else if (pi < items.size() && ItemMatches(items[pi], s[si])) {
            ++pi;
            ++si;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < items.size() && items[pi].kind == LikeItem::AnyRun) ++pi;
    return pi == items.size();
}

void JetLike(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    std::vector<LikeItem> items;
    if (!CompileLike(TextOf(a[1]), items)) return Fail(ctx, kInvalidPattern, "Invalid pattern string.");
    std::u32string s = Decode(TextOf(a[0]));
    for (char32_t& c : s) c = FoldLower(c);
    sqlite3_result_int(ctx, MatchItems(items, s) ? 1 : 0);
}

// Texts in the order of their characters folded to lower case. Equal to SQLite's own NOCASE on ASCII, so
// an index built by it stays in order unless it holds letters beyond ASCII.
int FoldedCompare(void*, int n1, const void* p1, int n2, const void* p2) {
    const auto* a = static_cast<const unsigned char*>(p1);
    const auto* b = static_cast<const unsigned char*>(p2);
    const auto na = static_cast<size_t>(n1), nb = static_cast<size_t>(n2);
    // Sorting a column compares equal texts often (a bidder's name in every one of its rows).
    if (na == nb && std::memcmp(a, b, na) == 0) return 0;
    size_t i = 0, j = 0;
    while (i < na && j < nb) {
        char32_t x = a[i], y = b[j];
        if ((x | y) < 0x80) {  // the common case: two ASCII characters
            ++i;
            ++j;
            if (x == y) continue;
            if (x >= 'A' && x <= 'Z') x += 32;
            if (y >= 'A' && y <= 'Z') y += 32;
        } else {
            x = FoldLower(DecodeAt(a, na, i));
            y = FoldLower(DecodeAt(b, nb, j));
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return (i < na) - (j < nb);
}

}  // namespace

void RegisterTextFunctions(sqlite3* db) {
    static const Scalar scalars[] = {
        {"jet_len", 1, JetLen},       {"jet_left", 2, JetSide<0>},     {"jet_right", 2, JetSide<1>},
        {"jet_mid", -1, JetMid},      {"jet_ucase", 1, JetCase<0>},    {"jet_lcase", 1, JetCase<1>},
        {"jet_trim", 1, JetTrim<0>},  {"jet_ltrim", 1, JetTrim<1>},    {"jet_rtrim", 1, JetTrim<2>},
        {"jet_instr", -1, JetInStr},  {"jet_space", 1, JetSpace},      {"jet_chr", 1, JetChr},
        {"jet_asc", 1, JetAsc},       {"jet_like", 2, JetLike},        {"jet_strreverse", 1, JetStrReverse},
        {"jet_string", 2, JetString}, {"jet_strcomp", -1, JetStrComp}, {"jet_replace", -1, JetReplace},
    };
    RegisterScalars(db, scalars);
    // Redefining NOCASE rather than adding a collation of our own keeps columns declared NOCASE, their
    // indexes and the COLLATE NOCASE the translator writes on one fold, that of LCase and Like.
    sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, FoldedCompare, nullptr);
}

}  // namespace jetfn

std::string JetLowerText(std::string_view text) {
    std::u32string s = jetfn::Decode(text);
    for (char32_t& c : s) c = jetfn::FoldLower(c);
    return jetfn::Encode(s);
}

bool JetLikeMatch(std::string_view text, std::string_view pattern) {
    std::vector<jetfn::LikeItem> items;
    if (!jetfn::CompileLike(pattern, items)) return false;
    std::u32string s = jetfn::Decode(text);
    for (char32_t& c : s) c = jetfn::FoldLower(c);
    return jetfn::MatchItems(items, s);
}

}  // namespace corv
