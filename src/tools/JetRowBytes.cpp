#include "tools/JetRowBytes.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corv::jetbytes {

namespace {

// Proleptic Gregorian date from a day count relative to 1970-01-01.
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

}  // namespace

std::int64_t Le(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return static_cast<std::int64_t>(v);
}

double LeDouble(const unsigned char* p) {
    std::uint64_t bits = static_cast<std::uint64_t>(Le(p, 8));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double SingleAsDouble(const unsigned char* p) {
    std::uint32_t bits = static_cast<std::uint32_t>(Le(p, 4));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) return static_cast<double>(f);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf - 1, f);
    *res.ptr = '\0';
    return std::strtod(buf, nullptr);
}

bool JetDateText(double v, std::string& out) {
    // Jet's own range is years 100 to 9999; anything further out is not a date a Jet file can hold.
    if (!std::isfinite(v) || v < -657435.0 || v >= 2958466.0) return false;
    double whole = std::trunc(v);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t secs = std::llround(std::fabs(v - whole) * 86400.0);
    if (secs >= 86400) {  // rounding carried into the next calendar day
        secs -= 86400;
        day += 1;
    }
    std::int64_t y;
    unsigned m, d;
    CivilFromDays(day - 25569, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m, d,
                  static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
    out = buf;
    return true;
}

std::string GuidText(const unsigned char* p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(Le(p, 4)), static_cast<unsigned>(Le(p + 4, 2)),
                  static_cast<unsigned>(Le(p + 6, 2)), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buf;
}

}  // namespace corv::jetbytes
