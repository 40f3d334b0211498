// Arithmetic with Jet's typing, conversions and math functions.

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "engine/functions/JetFunctionSupport.h"

namespace corv::jetfn {

namespace {

// ---------------------------------------------------------------- arithmetic

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

// Choose's index (whole part) when it picks one of count choices, else Null; the translator builds the
// choice from it.
void JetChooseIndex(sqlite3_context* ctx, int, sqlite3_value** a) {
    Num x, count;
    if (!NumArg(ctx, a[0], x, false) || !NumArg(ctx, a[1], count, true)) return;
    const double r = std::trunc(x.real());
    if (r < 1 || r > count.real()) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}

}  // namespace

void RegisterMathFunctions(sqlite3* db) {
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
        {"jet_chooseindex", 2, JetChooseIndex},
    };
    RegisterScalars(db, scalars);
}

}  // namespace corv::jetfn
