#pragma once

// Pieces the families of Jet SQL functions share; nothing outside these files needs them.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corv::jetfn {

constexpr int kInvalidCall = 5;
constexpr int kOverflow = 6;
constexpr int kTypeMismatch = 13;
constexpr int kDivisionByZero = 11;
constexpr int kInvalidPattern = 93;
constexpr int kInvalidNull = 94;

// Errors reach sqlite3_errmsg() as "Jet error <number>: <description>".
void Fail(sqlite3_context* ctx, int number, const char* description);
void TypeMismatch(sqlite3_context* ctx);
void InvalidNull(sqlite3_context* ctx);
void InvalidCall(sqlite3_context* ctx);

struct Num {
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

enum class Got { Ok, Null, Mismatch };

std::string_view Trimmed(std::string_view s);
bool ParseNum(std::string_view raw, Num& n);
Got GetNum(sqlite3_value* v, Num& n);
// A numeric argument; on Null or a mismatch the result is set (Null, or the error) and false returned.
bool NumArg(sqlite3_context* ctx, sqlite3_value* v, Num& n, bool nullIsError);
void ResultNum(sqlite3_context* ctx, const Num& n);
std::string NumberText(double d);
// Jet's text form of any value (numbers without a needless ".0").
std::string TextOf(sqlite3_value* v);
void ResultText(sqlite3_context* ctx, const std::string& s);
bool IsText(sqlite3_value* v);
bool IsNull(sqlite3_value* v);

// UTF-8 text as code points and back; a stray byte stays a character of its own.
std::u32string Decode(std::string_view s);
std::string Encode(std::u32string_view s);
// Letter case as Jet folds it: ASCII, Latin-1, Greek, Cyrillic.
char32_t FoldLower(char32_t c);
char32_t FoldUpper(char32_t c);

// Dates are stored as the text "YYYY-MM-DD HH:MM:SS"; arithmetic sees them as Jet's day serials.
bool StoredDateSerial(sqlite3_value* v, double& serial);
void ResultSerialDate(sqlite3_context* ctx, double serial);

// A date's parts; Jet's day serial 0 is 1899-12-30 00:00:00.
struct Stamp {
    int y = 1899, m = 12, d = 30, hh = 0, mi = 0, ss = 0;
};
// A date text in any of Jet's literal forms; nullopt when it is none.
std::optional<Stamp> StampOfText(std::string_view text);
Stamp StampOfSerial(double serial);  // the serial within Jet's date range
double SerialOf(const Stamp& st);
int WeekdayOn(const Stamp& st, int firstDay);  // 1..7 counted from firstDay (1 Sunday)
// Week of the year, week 1 as firstWeek says: 1 holds 1 January, 2 its first four days, 3 starts on or after
// it.
int WeekOn(const Stamp& st, int firstDay, int firstWeek);
int DayOfYearOn(const Stamp& st);
// The optional firstdayofweek and firstweekofyear arguments from a[at] on; on failure the result is set.
bool WeekArguments(sqlite3_context* ctx, int argc, sqlite3_value** a, int at, int& firstDay, int& firstWeek);

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);

struct Scalar {
    const char* name;
    int args;  // -1: any count (checked by the translator)
    ScalarFn fn;
    bool deterministic = true;
};

void RegisterScalars(sqlite3* db, std::span<const Scalar> scalars);
void RegisterMathFunctions(sqlite3* db);
void RegisterTextFunctions(sqlite3* db);
void RegisterDateFunctions(sqlite3* db);
void RegisterFormatFunction(sqlite3* db);

// Whether a Format pattern holds a code, a position where isCode(i) holds, outside its quoted and escaped
// literals. An unclosed quote makes the rest literal.
template <class IsCode>
bool HasCodeOutsideLiterals(std::string_view f, IsCode isCode) {
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '\\') {
            ++i;
        } else if (f[i] == '"') {
            const std::size_t close = f.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
        } else if (isCode(i)) {
            return true;
        }
    }
    return false;
}

}  // namespace corv::jetfn
