#include "engine/functions/JetFunctions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/functions/JetFunctionSupport.h"

namespace corv {

namespace jetfn {

// ---------------------------------------------------------------- errors

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

// ---------------------------------------------------------------- numbers

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

void RegisterScalars(sqlite3* db, std::span<const Scalar> scalars) {
    for (const Scalar& s : scalars) {
        int flags = SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0);
        sqlite3_create_function_v2(db, s.name, s.args, flags, nullptr, s.fn, nullptr, nullptr, nullptr);
    }
}

namespace {

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

// Variance and standard deviation of the non-Null values, by Welford's running sums so large values
// keep their precision. Fewer than two values give Null.
struct Spread {
    std::int64_t n = 0;
    double mean = 0;
    double m2 = 0;
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return;
    Num x;
    if (GetNum(a[0], x) != Got::Ok) return TypeMismatch(ctx);
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    ++s->n;
    const double d = x.real() - s->mean;
    s->mean += d / static_cast<double>(s->n);
    s->m2 += d * (x.real() - s->mean);
}

template <bool Population, bool Root>
void SpreadFinal(sqlite3_context* ctx) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
    if (!s || s->n < 2) return sqlite3_result_null(ctx);
    const double v = s->m2 / static_cast<double>(Population ? s->n : s->n - 1);
    sqlite3_result_double(ctx, Root ? std::sqrt(v) : v);
}

}  // namespace

}  // namespace jetfn

void RegisterJetFunctions(sqlite3* db) {
    jetfn::RegisterMathFunctions(db);
    jetfn::RegisterTextFunctions(db);
    jetfn::RegisterDateFunctions(db);
    jetfn::RegisterFormatFunction(db);
    sqlite3_create_function_v2(db, "jet_first", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::HeldStep<false>,
                               jetfn::HeldFinal, nullptr);
    sqlite3_create_function_v2(db, "jet_last", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::HeldStep<true>,
                               jetfn::HeldFinal, nullptr);
    sqlite3_create_function_v2(db, "jet_stdev", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::SpreadStep,
                               jetfn::SpreadFinal<false, true>, nullptr);
    sqlite3_create_function_v2(db, "jet_stdevp", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::SpreadStep,
                               jetfn::SpreadFinal<true, true>, nullptr);
    sqlite3_create_function_v2(db, "jet_var", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::SpreadStep,
                               jetfn::SpreadFinal<false, false>, nullptr);
    sqlite3_create_function_v2(db, "jet_varp", 1, SQLITE_UTF8, nullptr, nullptr, jetfn::SpreadStep,
                               jetfn::SpreadFinal<true, false>, nullptr);
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

}  // namespace corv
