// Date parsing, date parts and the clock; dates are stored as "YYYY-MM-DD HH:MM:SS".
// One file past the usual size: every function here works on the private Stamp and its day arithmetic, which
// would otherwise have to be published to the rest of the engine.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "engine/functions/JetFunctionSupport.h"
#include "engine/functions/JetFunctions.h"
#include "engine/functions/JetLocale.h"

namespace corv {

namespace jetfn {

namespace {

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

// Days from 1970-01-01 to a date, and its weekday counted from firstDay (1 Sunday ... 7 Saturday).
std::int64_t DayNumber(const Stamp& st) {
    return DaysFromCivil(st.y, static_cast<unsigned>(st.m), static_cast<unsigned>(st.d));
}
int WeekdayOf(std::int64_t days, int firstDay = 1) {
    const int sundayBased = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
    return (sundayBased - (firstDay - 1) + 7) % 7 + 1;
}

// The optional firstdayofweek and firstweekofyear arguments from a[at] on: 0 takes the locale's first day
// (and, for the week, the week of 1 January); Null and other values fail as Jet's do.
bool WeekArgs(sqlite3_context* ctx, int argc, sqlite3_value** a, int at, int& firstDay, int& firstWeek) {
    firstDay = 1;
    firstWeek = 1;
    for (int k = 0; k < 2 && at + k < argc; ++k) {
        Num n;
        if (!NumArg(ctx, a[at + k], n, true)) return false;
        const double r = std::nearbyint(n.real());
        if (r < 0 || r > (k == 0 ? 7 : 3)) {
            InvalidCall(ctx);
            return false;
        }
        (k == 0 ? firstDay : firstWeek) = static_cast<int>(r);
    }
    if (firstDay == 0) firstDay = CurrentJetLocale()->firstDayOfWeek;
    if (firstWeek == 0) firstWeek = 1;
    return true;
}

std::int64_t WeekStart(std::int64_t days, int firstDay) {
    return days - (WeekdayOf(days, firstDay) - 1);
}

// Week 1 starts the week holding 1 January (firstWeek 1), holding its first four days (2), or starting on
// or after it (3). Under 2 and 3 the first days of January can fall in the previous year's last week and
// the last days of December in the next year's week 1.
std::int64_t FirstWeekStart(int year, int firstDay, int firstWeek) {
    const std::int64_t jan1 = DaysFromCivil(year, 1, 1);
    const std::int64_t start = WeekStart(jan1, firstDay);
    const int daysInYear = 7 - static_cast<int>(jan1 - start);
    if (firstWeek == 2 && daysInYear < 4) return start + 7;
    if (firstWeek == 3 && daysInYear < 7) return start + 7;
    return start;
}

int WeekOfYear(std::int64_t days, int firstDay, int firstWeek) {
    int year, m, d;
    CivilFromDays(days, year, m, d);
    std::int64_t first = FirstWeekStart(year, firstDay, firstWeek);
    if (days < first) {
        first = FirstWeekStart(year - 1, firstDay, firstWeek);
    } else if (firstWeek != 1 && days >= FirstWeekStart(year + 1, firstDay, firstWeek)) {
        return 1;
    }
    return static_cast<int>((WeekStart(days, firstDay) - first) / 7) + 1;
}

template <int Part>  // 0 Year, 1 Month, 2 Day, 3 Hour, 4 Minute, 5 Second, 6 Weekday
void JetDatePart(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    int firstDay = 1, firstWeek = 1;
    if (Part == 6 && !WeekArgs(ctx, argc, a, 1, firstDay, firstWeek)) return;
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
        case 6:
            v = WeekdayOf(DayNumber(st), firstDay);
            break;
    }
    sqlite3_result_int(ctx, v);
}

// ---------------------------------------------------------------- DatePart, DateAdd, DateDiff
// Jet's defaults: weeks start on Sunday, week 1 is the week of 1 January.

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second, Bad };

Interval IntervalOf(sqlite3_value* v) {
    std::string t = TextOf(v);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, Interval> names[] = {
        {"yyyy", Interval::Year},   {"q", Interval::Quarter}, {"m", Interval::Month},
        {"y", Interval::DayOfYear}, {"d", Interval::Day},     {"w", Interval::Weekday},
        {"ww", Interval::Week},     {"h", Interval::Hour},    {"n", Interval::Minute},
        {"s", Interval::Second}};
    for (const auto& [name, interval] : names)
        if (t == name) return interval;
    return Interval::Bad;
}

std::int64_t SecondsOf(const Stamp& st) {
    return DayNumber(st) * 86400 + st.hh * 3600 + st.mi * 60 + st.ss;
}

void JetDatePartOf(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    const Interval iv = IntervalOf(a[0]);
    if (iv == Interval::Bad) return InvalidCall(ctx);
    int firstDay, firstWeek;
    if (!WeekArgs(ctx, argc, a, 2, firstDay, firstWeek)) return;
    Stamp st;
    if (!StampArg(ctx, a[1], st)) return;
    const std::int64_t days = DayNumber(st);
    const int dayOfYear = static_cast<int>(days - DaysFromCivil(st.y, 1, 1)) + 1;
    int v = 0;
    switch (iv) {
        case Interval::Year:
            v = st.y;
            break;
        case Interval::Quarter:
            v = (st.m - 1) / 3 + 1;
            break;
        case Interval::Month:
            v = st.m;
            break;
        case Interval::DayOfYear:
            v = dayOfYear;
            break;
        case Interval::Day:
            v = st.d;
            break;
        case Interval::Weekday:
            v = WeekdayOf(days, firstDay);
            break;
        case Interval::Week:
            v = WeekOfYear(days, firstDay, firstWeek);
            break;
        case Interval::Hour:
            v = st.hh;
            break;
        case Interval::Minute:
            v = st.mi;
            break;
        case Interval::Second:
            v = st.ss;
            break;
        case Interval::Bad:
            break;
    }
    sqlite3_result_int(ctx, v);
}

void JetDateAdd(sqlite3_context* ctx, int, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    const Interval iv = IntervalOf(a[0]);
    if (iv == Interval::Bad) return InvalidCall(ctx);
    Num num;
    if (!NumArg(ctx, a[1], num, true)) return;
    Stamp st;
    if (!StampArg(ctx, a[2], st)) return;
    const double r = std::trunc(num.real());
    if (std::fabs(r) > 4000000.0 * 86400.0) return InvalidCall(ctx);
    const auto n = static_cast<std::int64_t>(r);
    std::int64_t months = 0, seconds = 0;
    switch (iv) {
        case Interval::Year:
            months = 12 * n;
            break;
        case Interval::Quarter:
            months = 3 * n;
            break;
        case Interval::Month:
            months = n;
            break;
        case Interval::DayOfYear:
        case Interval::Day:
        case Interval::Weekday:
            seconds = n * 86400;
            break;
        case Interval::Week:
            seconds = n * 7 * 86400;
            break;
        case Interval::Hour:
            seconds = n * 3600;
            break;
        case Interval::Minute:
            seconds = n * 60;
            break;
        case Interval::Second:
            seconds = n;
            break;
        case Interval::Bad:
            break;
    }
    if (months != 0) {
        // A day the target month lacks becomes its last day.
        const std::int64_t m0 = static_cast<std::int64_t>(st.y) * 12 + (st.m - 1) + months;
        if (m0 < 100 * 12 || m0 > 9999 * 12 + 11) return InvalidCall(ctx);
        st.y = static_cast<int>(m0 / 12);
        st.m = static_cast<int>(m0 % 12) + 1;
        st.d = std::min(st.d, DaysInMonth(st.y, st.m));
    }
    std::int64_t total = SecondsOf(st) + seconds;
    std::int64_t days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    std::int64_t rest = total - days * 86400;
    CivilFromDays(days, st.y, st.m, st.d);
    if (st.y < 100 || st.y > 9999) return InvalidCall(ctx);
    st.hh = static_cast<int>(rest / 3600);
    st.mi = static_cast<int>(rest / 60 % 60);
    st.ss = static_cast<int>(rest % 60);
    ResultText(ctx, StampText(st));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void JetDateDiff(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    if (IsNull(a[0])) return InvalidNull(ctx);
    const Interval iv = IntervalOf(a[0]);
    if (iv == Interval::Bad) return InvalidCall(ctx);
    int firstDay, firstWeek;
    if (!WeekArgs(ctx, argc, a, 3, firstDay, firstWeek)) return;
    Stamp s1, s2;
    if (!StampArg(ctx, a[1], s1) || !StampArg(ctx, a[2], s2)) return;
    const std::int64_t d1 = DayNumber(s1), d2 = DayNumber(s2);
    std::int64_t v = 0;
    switch (iv) {
        case Interval::Year:
            v = s2.y - s1.y;
            break;
        case Interval::Quarter:
            v = (static_cast<std::int64_t>(s2.y) * 4 + (s2.m - 1) / 3) -
                (static_cast<std::int64_t>(s1.y) * 4 + (s1.m - 1) / 3);
            break;
        case Interval::Month:
            v = (static_cast<std::int64_t>(s2.y) * 12 + s2.m) - (static_cast<std::int64_t>(s1.y) * 12 + s1.m);
            break;
        case Interval::DayOfYear:
        case Interval::Day:
            v = d2 - d1;
            break;
        case Interval::Weekday:
            v = (d2 - d1) / 7;
            break;            // whole weeks, toward zero
        case Interval::Week:  // first days of the week crossed
            v = (WeekStart(d2, firstDay) - WeekStart(d1, firstDay)) / 7;
            break;
        case Interval::Hour:
            v = FloorDiv(SecondsOf(s2), 3600) - FloorDiv(SecondsOf(s1), 3600);
            break;
        case Interval::Minute:
            v = FloorDiv(SecondsOf(s2), 60) - FloorDiv(SecondsOf(s1), 60);
            break;
        case Interval::Second:
            v = SecondsOf(s2) - SecondsOf(s1);
            break;
        case Interval::Bad:
            break;
    }
    sqlite3_result_int64(ctx, v);
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

}  // namespace

std::optional<Stamp> StampOfText(std::string_view text) {
    return ParseStamp(text);
}
Stamp StampOfSerial(double serial) {
    return StampFromSerial(serial);
}
double SerialOf(const Stamp& st) {
    const double days = static_cast<double>(DayNumber(st) - kSerialEpoch);
    const double frac = (st.hh * 3600 + st.mi * 60 + st.ss) / 86400.0;
    return days >= 0 ? days + frac : days - frac;
}
int WeekdayOn(const Stamp& st, int firstDay) {
    return WeekdayOf(DayNumber(st), firstDay);
}
int WeekOn(const Stamp& st, int firstDay, int firstWeek) {
    return WeekOfYear(DayNumber(st), firstDay, firstWeek);
}
int DayOfYearOn(const Stamp& st) {
    return static_cast<int>(DayNumber(st) - DaysFromCivil(st.y, 1, 1)) + 1;
}
bool WeekArguments(sqlite3_context* ctx, int argc, sqlite3_value** a, int at, int& firstDay, int& firstWeek) {
    return WeekArgs(ctx, argc, a, at, firstDay, firstWeek);
}

// Only the stored form "YYYY-MM-DD HH:MM:SS" counts: other texts stay texts.
bool StoredDateSerial(sqlite3_value* v, double& serial) {
    if (!IsText(v) || sqlite3_value_bytes(v) != 19) return false;
    std::string t = TextOf(v);
    if (t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return false;
    auto st = ParseStamp(t);
    if (!st) return false;
    serial = SerialOf(*st);
    return true;
}

void ResultSerialDate(sqlite3_context* ctx, double serial) {
    if (!(serial > -657435.0 && serial < 2958466.0)) return Fail(ctx, kOverflow, "Overflow.");
    ResultText(ctx, StampText(StampFromSerial(serial)));
}

void RegisterDateFunctions(sqlite3* db) {
    static const Scalar scalars[] = {
        {"jet_year", 1, JetDatePart<0>},      {"jet_month", 1, JetDatePart<1>},
        {"jet_day", 1, JetDatePart<2>},       {"jet_hour", 1, JetDatePart<3>},
        {"jet_minute", 1, JetDatePart<4>},    {"jet_second", 1, JetDatePart<5>},
        {"jet_weekday", -1, JetDatePart<6>},  {"jet_cdate", 1, JetCDate},
        {"jet_dateserial", 3, JetDateSerial}, {"jet_now", 0, JetClock<0>, false},
        {"jet_date", 0, JetClock<1>, false},  {"jet_time", 0, JetClock<2>, false},
        {"jet_datepart", -1, JetDatePartOf},  {"jet_dateadd", 3, JetDateAdd},
        {"jet_datediff", -1, JetDateDiff},
    };
    RegisterScalars(db, scalars);
}

}  // namespace jetfn

std::optional<std::string> JetDateText(std::string_view text) {
    auto st = jetfn::ParseStamp(text);
    if (!st) return std::nullopt;
    return jetfn::StampText(*st);
}

}  // namespace corv
