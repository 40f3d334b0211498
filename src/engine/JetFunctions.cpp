#include "engine/JetFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace corv {

namespace {

// ---------------------------------------------------------------- errors

constexpr int kInvalidCall = 5;
constexpr int kOverflow = 6;
constexpr int kTypeMismatch = 13;
constexpr int kDivisionByZero = 11;
constexpr int kInvalidPattern = 93;
constexpr int kInvalidNull = 94;

void Fail(sqlite3_context* ctx, int number, const char* description) {
    std::string msg = "Jet error " + std::to_string(number) + ": " + description;
    sqlite3_result_error(ctx, msg.c_str(), -1);
}
void TypeMismatch(sqlite3_context* ctx) {
    Fail(ctx, kTypeMismatch, "Type mismatch.");
}
void InvalidNull(sqlite3_context* ctx) {
    Fail(ctx, kInvalidNull, "Invalid use of Null.");
}
void InvalidCall(sqlite3_context* ctx) {
    Fail(ctx, kInvalidCall, "Invalid procedure call or argument.");
}

// ---------------------------------------------------------------- text (UTF-8)

std::u32string Decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = c;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < s.size();
        if (ok && extra > 0) {
            cp = c & (0x3F >> extra);
            for (int k = 1; k <= extra && ok; ++k) {
                unsigned char cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) ok = false;
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        if (!ok) {
            out.push_back(c);  // a stray byte stays a character of its own
            ++i;
        } else {
            out.push_back(cp);
            i += 1 + static_cast<size_t>(extra);
        }
    }
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

// ---------------------------------------------------------------- numbers

struct Num {
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool ParseNum(std::string_view raw, Num& n) {
    std::string s(Trimmed(raw));
    if (s.empty()) return false;
    bool digitsOnly = true;
    for (size_t k = 0; k < s.size(); ++k) {
        char c = s[k];
        if (!(std::isdigit(static_cast<unsigned char>(c)) || (k == 0 && (c == '-' || c == '+')))) {
            digitsOnly = false;
        }
    }
    if (digitsOnly && s.size() < 19 && s != "-" && s != "+") {
        n.isInt = true;
        n.i = std::strtoll(s.c_str(), nullptr, 10);
        return true;
    }
    // No hex, inf or nan: those are not numbers to Jet.
    for (char c : s) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
              c == 'E'))
            return false;
    }
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || end == s.c_str()) return false;
    n.isInt = false;
    n.d = d;
    return true;
}

enum class Got { Ok, Null, Mismatch };

Got GetNum(sqlite3_value* v, Num& n) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return Got::Null;
        case SQLITE_INTEGER:
            n.isInt = true;
            n.i = sqlite3_value_int64(v);
            return Got::Ok;
        case SQLITE_FLOAT:
            n.isInt = false;
            n.d = sqlite3_value_double(v);
            return Got::Ok;
        case SQLITE_TEXT: {
            std::string_view t(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<size_t>(sqlite3_value_bytes(v)));
            return ParseNum(t, n) ? Got::Ok : Got::Mismatch;
        }
        default:
            return Got::Mismatch;
    }
}

void ResultNum(sqlite3_context* ctx, const Num& n) {
    if (n.isInt) {
        sqlite3_result_int64(ctx, n.i);
    } else if (std::isfinite(n.d)) {
        sqlite3_result_double(ctx, n.d);
    } else {
        Fail(ctx, kOverflow, "Overflow.");
    }
}

std::string NumberText(double d) {
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
        return std::to_string(static_cast<std::int64_t>(d));
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", d);
    return buf;
}

// Jet's text form of any value (numbers without a needless ".0").
std::string TextOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return NumberText(sqlite3_value_double(v));
        case SQLITE_NULL:
            return {};
        default:
            return std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<size_t>(sqlite3_value_bytes(v)));
    }
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool IsText(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_TEXT;
}
bool IsNull(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

// ---------------------------------------------------------------- arithmetic

bool StoredDateSerial(sqlite3_value* v, double& serial);
void ResultSerialDate(sqlite3_context* ctx, double serial);

// A stored date and a number: the number counts days, as Jet's date arithmetic does.
bool DateShift(sqlite3_context* ctx, sqlite3_value* date, sqlite3_value* days, double sign) {
    double serial;
    Num n;
    if (IsText(days) || !StoredDateSerial(date, serial) || GetNum(days, n) != Got::Ok) return false;
    ResultSerialDate(ctx, serial + sign * n.real());
    return true;
}

// Text + text joins; a number with a text that reads as a number adds; anything else with text is a mismatch.
void JetAdd(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    if (IsText(a[0]) && IsText(a[1])) return ResultText(ctx, TextOf(a[0]) + TextOf(a[1]));
    if (DateShift(ctx, a[0], a[1], 1) || DateShift(ctx, a[1], a[0], 1)) return;
    Num x, y;
    if (GetNum(a[0], x) != Got::Ok || GetNum(a[1], y) != Got::Ok) return TypeMismatch(ctx);
    Num r;
    if (x.isInt && y.isInt && !__builtin_add_overflow(x.i, y.i, &r.i)) return ResultNum(ctx, r);
    r.isInt = false;
    r.d = x.real() + y.real();
    ResultNum(ctx, r);
}

template <int Op>
void JetArith(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    if (Op == 0) {
        double from, to;
        if (StoredDateSerial(a[0], from) && StoredDateSerial(a[1], to)) {
            return sqlite3_result_double(ctx, from - to);
        }
        if (DateShift(ctx, a[0], a[1], -1)) return;
    }
    Num x, y;
    if (GetNum(a[0], x) != Got::Ok || GetNum(a[1], y) != Got::Ok) return TypeMismatch(ctx);
    Num r;
    if (Op == 0) {  // -
        if (x.isInt && y.isInt && !__builtin_sub_overflow(x.i, y.i, &r.i)) return ResultNum(ctx, r);
        r.isInt = false;
        r.d = x.real() - y.real();
    } else if (Op == 1) {  // *
        if (x.isInt && y.isInt && !__builtin_mul_overflow(x.i, y.i, &r.i)) return ResultNum(ctx, r);
        r.isInt = false;
        r.d = x.real() * y.real();
    } else if (Op == 2) {  // /: always a real quotient
        if (y.real() == 0) return Fail(ctx, kDivisionByZero, "Division by zero.");
        r.isInt = false;
        r.d = x.real() / y.real();
    } else if (Op == 5) {  // ^
        r.isInt = false;
        r.d = std::pow(x.real(), y.real());
        if (std::isnan(r.d)) return InvalidCall(ctx);
    } else {  // \ and Mod work on operands rounded to whole numbers
        double xr = std::nearbyint(x.real()), yr = std::nearbyint(y.real());
        if (std::fabs(xr) > 9.2e18 || std::fabs(yr) > 9.2e18) return Fail(ctx, kOverflow, "Overflow.");
        std::int64_t xi = static_cast<std::int64_t>(xr), yi = static_cast<std::int64_t>(yr);
        if (yi == 0) return Fail(ctx, kDivisionByZero, "Division by zero.");
        if (yi == -1) {
            r.i = Op == 3 ? -xi : 0;
        } else {
            r.i = Op == 3 ? xi / yi : xi % yi;
        }
    }
    ResultNum(ctx, r);
}

void JetNeg(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    Got g = GetNum(a[0], x);
    if (g == Got::Null) return sqlite3_result_null(ctx);
    if (g != Got::Ok) return TypeMismatch(ctx);
    if (x.isInt && x.i != std::numeric_limits<std::int64_t>::min()) {
        x.i = -x.i;
    } else {
        x.d = -x.real();
        x.isInt = false;
    }
    ResultNum(ctx, x);
}

// & joins texts; Null counts as "" unless both sides are Null.
void JetConcat(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0]) && IsNull(a[1])) return sqlite3_result_null(ctx);
    ResultText(ctx, TextOf(a[0]) + TextOf(a[1]));
}

// ---------------------------------------------------------------- conversions and math

bool NumArg(sqlite3_context* ctx, sqlite3_value* v, Num& n, bool nullIsError) {
    Got g = GetNum(v, n);
    if (g == Got::Ok) return true;
    if (g == Got::Null) {
        if (nullIsError)
            InvalidNull(ctx);
        else
            sqlite3_result_null(ctx);
        return false;
    }
    TypeMismatch(ctx);
    return false;
}

template <int Kind>  // 0 Int, 1 Fix, 2 Abs, 3 Sgn, 4 Sqr
void JetMath(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    if (!NumArg(ctx, a[0], x, false)) return;
    if (x.isInt) {
        if (Kind == 2 && x.i < 0) {
            if (x.i == std::numeric_limits<std::int64_t>::min()) return Fail(ctx, kOverflow, "Overflow.");
            x.i = -x.i;
        }
        if (Kind == 3) x.i = x.i > 0 ? 1 : x.i < 0 ? -1 : 0;
        if (Kind == 4) {
            if (x.i < 0) return InvalidCall(ctx);
            return sqlite3_result_double(ctx, std::sqrt(static_cast<double>(x.i)));
        }
        return ResultNum(ctx, x);
    }
    double d = x.d;
    switch (Kind) {
        case 0:
            d = std::floor(d);
            break;
        case 1:
            d = std::trunc(d);
            break;
        case 2:
            d = std::fabs(d);
            break;
        case 3:
            return sqlite3_result_int(ctx, d > 0 ? 1 : d < 0 ? -1 : 0);
        case 4:
            if (d < 0) return InvalidCall(ctx);
            d = std::sqrt(d);
            break;
    }
    sqlite3_result_double(ctx, d);
}

// Round(x [, digits]) rounds halves to even, as Jet does.
void JetRound(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    Num x;
    if (!NumArg(ctx, a[0], x, false)) return;
    int digits = 0;
    if (argc > 1) {
        Num n;
        if (!NumArg(ctx, a[1], n, true)) return;
        double nd = std::nearbyint(n.real());
        if (nd < 0 || nd > 22) return InvalidCall(ctx);
        digits = static_cast<int>(nd);
    }
    if (x.isInt) return ResultNum(ctx, x);
    double scale = std::pow(10.0, digits);
    double r = std::nearbyint(x.d * scale) / scale;
    sqlite3_result_double(ctx, r);
}

template <int Kind>  // 0 CInt, 1 CLng
void JetCWhole(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    if (!NumArg(ctx, a[0], x, true)) return;
    double r = x.isInt ? static_cast<double>(x.i) : std::nearbyint(x.d);
    double lo = Kind == 0 ? -32768.0 : -2147483648.0, hi = Kind == 0 ? 32767.0 : 2147483647.0;
    if (!(r >= lo && r <= hi)) return Fail(ctx, kOverflow, "Overflow.");
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}

template <int Kind>  // 0 CDbl/CSng, 1 CCur
void JetCReal(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    if (!NumArg(ctx, a[0], x, true)) return;
    double d = x.real();
    if (Kind == 1) d = std::nearbyint(d * 10000.0) / 10000.0;
    sqlite3_result_double(ctx, d);
}

void JetCBool(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    if (IsText(a[0])) {
        std::string t(Trimmed(TextOf(a[0])));
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (t == "true") return sqlite3_result_int(ctx, -1);
        if (t == "false") return sqlite3_result_int(ctx, 0);
    }
    Num x;
    if (GetNum(a[0], x) != Got::Ok) return TypeMismatch(ctx);
    sqlite3_result_int(ctx, x.real() != 0 ? -1 : 0);
}

void JetCStr(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    ResultText(ctx, TextOf(a[0]));
}

// Str keeps a leading blank for the sign of a positive number.
void JetStr(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    if (!NumArg(ctx, a[0], x, false)) return;
    double d = x.real();
    std::string t = x.isInt ? std::to_string(x.i) : NumberText(d);
    if (d >= 0) t = " " + t;
    ResultText(ctx, t);
}

// Val reads the leading number of a text, skipping blanks anywhere, and gives 0 when there is none.
void JetVal(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    if (!IsText(a[0])) {
        Num x;
        if (GetNum(a[0], x) != Got::Ok) return TypeMismatch(ctx);
        return ResultNum(ctx, x);
    }
    std::string t = TextOf(a[0]), s;
    bool dot = false, exp = false, digits = false;
    for (size_t k = 0; k < t.size(); ++k) {
        char c = t[k];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (std::isdigit(static_cast<unsigned char>(c))) {
            s += c;
            digits = true;
        } else if ((c == '-' || c == '+') && (s.empty() || s.back() == 'e')) {
            s += c;
        } else if (c == '.' && !dot && !exp) {
            s += c;
            dot = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exp) {
            s += 'e';
            exp = true;
        } else {
            break;
        }
    }
    while (!s.empty() && (s.back() == 'e' || s.back() == '-' || s.back() == '+')) s.pop_back();
    if (!digits || s.empty()) return sqlite3_result_int(ctx, 0);
    Num n;
    if (!ParseNum(s, n)) n = Num{false, 0, std::strtod(s.c_str(), nullptr)};
    ResultNum(ctx, n);
}

void JetIsNumeric(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x;
    sqlite3_result_int(ctx, (!IsNull(a[0]) && GetNum(a[0], x) == Got::Ok) ? -1 : 0);
}

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

// ---------------------------------------------------------------- dates

// Days from 1970-01-01 for a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return days[m - 1];
}

struct Stamp {
    int y = 1899, m = 12, d = 30, hh = 0, mi = 0, ss = 0;
};

constexpr std::int64_t kSerialEpoch = -25569;  // 1899-12-30 in days from 1970-01-01

std::string StampText(const Stamp& s) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", s.y, s.m, s.d, s.hh, s.mi, s.ss);
    return buf;
}

bool ReadInt(std::string_view& s, int& v, int maxDigits) {
    size_t n = 0;
    v = 0;
    while (n < s.size() && n < static_cast<size_t>(maxDigits) &&
           std::isdigit(static_cast<unsigned char>(s[n]))) {
        v = v * 10 + (s[n] - '0');
        ++n;
    }
    if (n == 0) return false;
    s.remove_prefix(n);
    return true;
}

void SkipBlanks(std::string_view& s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

bool ParseTime(std::string_view& s, Stamp& st) {
    int h, mi = 0, sec = 0;
    if (!ReadInt(s, h, 2)) return false;
    if (s.empty() || s.front() != ':') {
        // "10 AM"
        SkipBlanks(s);
        if (s.empty()) return false;
    } else {
        s.remove_prefix(1);
        if (!ReadInt(s, mi, 2)) return false;
        if (!s.empty() && s.front() == ':') {
            s.remove_prefix(1);
            if (!ReadInt(s, sec, 2)) return false;
        }
    }
    SkipBlanks(s);
    if (s.size() >= 2) {
        char a = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
        char b = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        if ((a == 'A' || a == 'P') && b == 'M') {
            if (h < 1 || h > 12) return false;
            if (a == 'A' && h == 12) h = 0;
            if (a == 'P' && h != 12) h += 12;
            s.remove_prefix(2);
        }
    }
    if (h > 23 || mi > 59 || sec > 59) return false;
    st.hh = h;
    st.mi = mi;
    st.ss = sec;
    return true;
}

std::optional<Stamp> ParseStamp(std::string_view text) {
    std::string_view s = Trimmed(text);
    Stamp st;
    if (s.empty()) return std::nullopt;
    // A time alone.
    size_t firstNonDigit = 0;
    while (firstNonDigit < s.size() && std::isdigit(static_cast<unsigned char>(s[firstNonDigit])))
        ++firstNonDigit;
    bool timeOnly = firstNonDigit < s.size() && s[firstNonDigit] == ':';
    if (!timeOnly) {
        int a, b, c;
        std::string_view t = s;
        size_t lenA = 0;
        while (lenA < t.size() && std::isdigit(static_cast<unsigned char>(t[lenA]))) ++lenA;
        if (!ReadInt(t, a, 4) || t.empty()) return std::nullopt;
        char sep = t.front();
        if (sep != '/' && sep != '-' && sep != '.') return std::nullopt;
        t.remove_prefix(1);
        if (!ReadInt(t, b, 2) || t.empty() || t.front() != sep) return std::nullopt;
        t.remove_prefix(1);
        size_t before = t.size();
        if (!ReadInt(t, c, 4)) return std::nullopt;
        size_t lenC = before - t.size();
        int y, m, d;
        if (lenA == 4) {  // y-m-d
            y = a;
            m = b;
            d = c;
        } else {  // m/d/y; a day that cannot be a month swaps, as Jet does
            m = a;
            d = b;
            y = c;
            if (m > 12 && d <= 12) std::swap(m, d);
            if (lenC <= 2) y += y < 30 ? 2000 : 1900;
        }
        if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
        st.y = y;
        st.m = m;
        st.d = d;
        s = t;
        if (!s.empty() && s.front() == 'T') s.remove_prefix(1);
        SkipBlanks(s);
        if (s.empty()) return st;
    }
    if (!ParseTime(s, st)) return std::nullopt;
    SkipBlanks(s);
    if (!s.empty()) return std::nullopt;
    return st;
}

Stamp StampFromSerial(double serial) {
    double day = std::floor(serial);
    // Jet counts the time of a negative serial forward from its whole day's magnitude.
    double frac = std::fabs(serial - std::trunc(serial));
    if (serial < 0) day = std::trunc(serial);
    Stamp st;
    CivilFromDays(static_cast<std::int64_t>(day) + kSerialEpoch, st.y, st.m, st.d);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400) secs = 86399;
    st.hh = static_cast<int>(secs / 3600);
    st.mi = static_cast<int>(secs / 60 % 60);
    st.ss = static_cast<int>(secs % 60);
    return st;
}

// Only the stored form "YYYY-MM-DD HH:MM:SS" counts: other texts stay texts.
bool StoredDateSerial(sqlite3_value* v, double& serial) {
    if (!IsText(v) || sqlite3_value_bytes(v) != 19) return false;
    std::string t = TextOf(v);
    if (t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return false;
    auto st = ParseStamp(t);
    if (!st) return false;
    double days = static_cast<double>(
        DaysFromCivil(st->y, static_cast<unsigned>(st->m), static_cast<unsigned>(st->d)) - kSerialEpoch);
    double frac = (st->hh * 3600 + st->mi * 60 + st->ss) / 86400.0;
    serial = days >= 0 ? days + frac : days - frac;
    return true;
}

void ResultSerialDate(sqlite3_context* ctx, double serial) {
    if (!(serial > -657435.0 && serial < 2958466.0)) return Fail(ctx, kOverflow, "Overflow.");
    ResultText(ctx, StampText(StampFromSerial(serial)));
}

bool StampArg(sqlite3_context* ctx, sqlite3_value* v, Stamp& st) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            sqlite3_result_null(ctx);
            return false;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: {
            double d = sqlite3_value_double(v);
            if (!(d > -657435.0 && d < 2958466.0)) {
                Fail(ctx, kOverflow, "Overflow.");
                return false;
            }
            st = StampFromSerial(d);
            return true;
        }
        case SQLITE_TEXT: {
            auto p = ParseStamp(TextOf(v));
            if (p) {
                st = *p;
                return true;
            }
            Num n;
            if (ParseNum(TextOf(v), n) && n.real() > -657435.0 && n.real() < 2958466.0) {
                st = StampFromSerial(n.real());
                return true;
            }
            TypeMismatch(ctx);
            return false;
        }
        default:
            TypeMismatch(ctx);
            return false;
    }
}

template <int Part>  // 0 Year, 1 Month, 2 Day, 3 Hour, 4 Minute, 5 Second, 6 Weekday
void JetDatePart(sqlite3_context* ctx, int, sqlite3_value** a) {
    Stamp st;
    if (!StampArg(ctx, a[0], st)) return;
    int v = 0;
    switch (Part) {
        case 0:
            v = st.y;
            break;
        case 1:
            v = st.m;
            break;
        case 2:
            v = st.d;
            break;
        case 3:
            v = st.hh;
            break;
        case 4:
            v = st.mi;
            break;
        case 5:
            v = st.ss;
            break;
        case 6: {
            std::int64_t days = DaysFromCivil(st.y, static_cast<unsigned>(st.m), static_cast<unsigned>(st.d));
            v = static_cast<int>(((days + 4) % 7 + 7) % 7) + 1;  // 1970-01-01 was a Thursday; Sunday is 1
            break;
        }
    }
    sqlite3_result_int(ctx, v);
}

void JetCDate(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    Stamp st;
    if (!StampArg(ctx, a[0], st)) return;
    ResultText(ctx, StampText(st));
}

void JetDateSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num y, m, d;
    if (!NumArg(ctx, a[0], y, true) || !NumArg(ctx, a[1], m, true) || !NumArg(ctx, a[2], d, true)) return;
    double yr = std::nearbyint(y.real()), mr = std::nearbyint(m.real()), dr = std::nearbyint(d.real());
    if (std::fabs(yr) > 10000 || std::fabs(mr) > 120000 || std::fabs(dr) > 4000000) {
        return Fail(ctx, kOverflow, "Overflow.");
    }
    std::int64_t year = static_cast<std::int64_t>(yr);
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    std::int64_t months = year * 12 + static_cast<std::int64_t>(mr) - 1;
    std::int64_t ny = months >= 0 ? months / 12 : (months - 11) / 12;
    unsigned nm = static_cast<unsigned>(months - ny * 12 + 1);
    std::int64_t days = DaysFromCivil(ny, nm, 1) + static_cast<std::int64_t>(dr) - 1;
    Stamp st;
    CivilFromDays(days, st.y, st.m, st.d);
    if (st.y < 100 || st.y > 9999) return Fail(ctx, kOverflow, "Overflow.");
    ResultText(ctx, StampText(st));
}

template <int Kind>  // 0 Now, 1 Date, 2 Time
void JetClock(sqlite3_context* ctx, int, sqlite3_value**) {
    std::time_t t = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&t, &tmv);
    Stamp st;
    if (Kind != 2) {
        st.y = tmv.tm_year + 1900;
        st.m = tmv.tm_mon + 1;
        st.d = tmv.tm_mday;
    }
    if (Kind != 1) {
        st.hh = tmv.tm_hour;
        st.mi = tmv.tm_min;
        st.ss = tmv.tm_sec;
    }
    ResultText(ctx, StampText(st));
}

// ---------------------------------------------------------------- First / Last

struct Held {
    bool set = false;
    int type = SQLITE_NULL;
    std::int64_t i = 0;
    double d = 0;
    std::string bytes;
};

void Hold(Held& h, sqlite3_value* v) {
    h.set = true;
    h.type = sqlite3_value_type(v);
    if (h.type == SQLITE_INTEGER) h.i = sqlite3_value_int64(v);
    if (h.type == SQLITE_FLOAT) h.d = sqlite3_value_double(v);
    if (h.type == SQLITE_TEXT || h.type == SQLITE_BLOB) {
        const void* p =
            h.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v)) : sqlite3_value_blob(v);
        int n = sqlite3_value_bytes(v);
        h.bytes.assign(static_cast<const char*>(p), static_cast<size_t>(n));
    }
}

template <bool Last>
void HeldStep(sqlite3_context* ctx, int, sqlite3_value** a) {
    auto** slot = static_cast<Held**>(sqlite3_aggregate_context(ctx, sizeof(Held*)));
    if (!slot) return sqlite3_result_error_nomem(ctx);
    if (!*slot) *slot = new Held;
    if (Last || !(*slot)->set) Hold(**slot, a[0]);
}

void HeldFinal(sqlite3_context* ctx) {
    auto** slot = static_cast<Held**>(sqlite3_aggregate_context(ctx, 0));
    if (!slot || !*slot) return sqlite3_result_null(ctx);
    Held& h = **slot;
    switch (h.type) {
        case SQLITE_INTEGER:
            sqlite3_result_int64(ctx, h.i);
            break;
        case SQLITE_FLOAT:
            sqlite3_result_double(ctx, h.d);
            break;
        case SQLITE_TEXT:
            ResultText(ctx, h.bytes);
            break;
        case SQLITE_BLOB:
            sqlite3_result_blob(ctx, h.bytes.data(), static_cast<int>(h.bytes.size()), SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_result_null(ctx);
    }
    delete *slot;
    *slot = nullptr;
}

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);

struct Scalar {
    const char* name;
    int args;  // -1: any count (checked by the translator)
    ScalarFn fn;
    bool deterministic = true;
};

}  // namespace

void RegisterJetFunctions(sqlite3* db) {
    static const Scalar scalars[] = {
        {"jet_add", 2, JetAdd},
        {"jet_sub", 2, JetArith<0>},
        {"jet_mul", 2, JetArith<1>},
        {"jet_div", 2, JetArith<2>},
        {"jet_intdiv", 2, JetArith<3>},
        {"jet_mod", 2, JetArith<4>},
        {"jet_pow", 2, JetArith<5>},
        {"jet_neg", 1, JetNeg},
        {"jet_concat", 2, JetConcat},
        {"jet_int", 1, JetMath<0>},
        {"jet_fix", 1, JetMath<1>},
        {"jet_abs", 1, JetMath<2>},
        {"jet_sgn", 1, JetMath<3>},
        {"jet_sqr", 1, JetMath<4>},
        {"jet_round", -1, JetRound},
        {"jet_cint", 1, JetCWhole<0>},
        {"jet_clng", 1, JetCWhole<1>},
        {"jet_cdbl", 1, JetCReal<0>},
        {"jet_ccur", 1, JetCReal<1>},
        {"jet_cbool", 1, JetCBool},
        {"jet_cstr", 1, JetCStr},
        {"jet_str", 1, JetStr},
        {"jet_val", 1, JetVal},
        {"jet_isnumeric", 1, JetIsNumeric},
        {"jet_len", 1, JetLen},
        {"jet_left", 2, JetSide<0>},
        {"jet_right", 2, JetSide<1>},
        {"jet_mid", -1, JetMid},
        {"jet_ucase", 1, JetCase<0>},
        {"jet_lcase", 1, JetCase<1>},
        {"jet_trim", 1, JetTrim<0>},
        {"jet_ltrim", 1, JetTrim<1>},
        {"jet_rtrim", 1, JetTrim<2>},
        {"jet_instr", -1, JetInStr},
        {"jet_space", 1, JetSpace},
        {"jet_chr", 1, JetChr},
        {"jet_asc", 1, JetAsc},
        {"jet_like", 2, JetLike},
        {"jet_year", 1, JetDatePart<0>},
        {"jet_month", 1, JetDatePart<1>},
        {"jet_day", 1, JetDatePart<2>},
        {"jet_hour", 1, JetDatePart<3>},
        {"jet_minute", 1, JetDatePart<4>},
        {"jet_second", 1, JetDatePart<5>},
        {"jet_weekday", 1, JetDatePart<6>},
        {"jet_cdate", 1, JetCDate},
        {"jet_dateserial", 3, JetDateSerial},
        {"jet_now", 0, JetClock<0>, false},
        {"jet_date", 0, JetClock<1>, false},
        {"jet_time", 0, JetClock<2>, false},
    };
    for (const Scalar& s : scalars) {
        int flags = SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0);
        sqlite3_create_function_v2(db, s.name, s.args, flags, nullptr, s.fn, nullptr, nullptr, nullptr);
    }
    sqlite3_create_function_v2(db, "jet_first", 1, SQLITE_UTF8, nullptr, nullptr, HeldStep<false>, HeldFinal,
                               nullptr);
    sqlite3_create_function_v2(db, "jet_last", 1, SQLITE_UTF8, nullptr, nullptr, HeldStep<true>, HeldFinal,
                               nullptr);
}

bool ParseJetFunctionError(std::string_view message, int& number, std::string& description) {
    constexpr std::string_view prefix = "Jet error ";
    if (message.substr(0, prefix.size()) != prefix) return false;
    std::string_view rest = message.substr(prefix.size());
    size_t colon = rest.find(": ");
    if (colon == std::string_view::npos || colon == 0 || colon > 6) return false;
    int n = 0;
    for (char c : rest.substr(0, colon)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        n = n * 10 + (c - '0');
    }
    number = n;
    description = std::string(rest.substr(colon + 2));
    return true;
}

std::optional<std::string> JetDateText(std::string_view text) {
    auto st = ParseStamp(text);
    if (!st) return std::nullopt;
    return StampText(*st);
}

std::string JetLowerText(std::string_view text) {
    std::u32string s = Decode(text);
    for (char32_t& c : s) c = FoldLower(c);
    return Encode(s);
}

bool JetLikeMatch(std::string_view text, std::string_view pattern) {
    std::vector<LikeItem> items;
    if (!CompileLike(pattern, items)) return false;
    std::u32string s = Decode(text);
    for (char32_t& c : s) c = FoldLower(c);
    return MatchItems(items, s);
}

}  // namespace corv
