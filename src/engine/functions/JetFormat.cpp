// Format(value [, format [, firstdayofweek [, firstweekofyear]]]): named and custom formats for numbers,
// dates and texts, written with the separators, names and patterns of the published JetLocale.

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/functions/JetFormatDates.h"
#include "engine/functions/JetFormatText.h"
#include "engine/functions/JetFunctionSupport.h"
#include "engine/functions/JetLocale.h"

namespace corv::jetfn {

namespace {

// ---------------------------------------------------------------- decimal digits

// A magnitude as decimal digits: 0.<digits> times ten to the power point. Rounding works on these digits,
// so 2.675 (stored a hair below) rounds to 2.68 as Jet shows it.
struct Decimal {
    std::string digits;  // no leading or trailing zeros; empty for zero
    int point = 0;       // digits before the decimal point
};

void Normalise(Decimal& d) {
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
    d.digits.erase(0, lead);
    d.point -= static_cast<int>(lead);
    if (d.digits.empty()) d.point = 0;
}

Decimal DecimalOf(const Num& n) {
    Decimal d;
    if (n.isInt) {
        std::uint64_t u = n.i < 0 ? 0 - static_cast<std::uint64_t>(n.i) : static_cast<std::uint64_t>(n.i);
        d.digits = std::to_string(u);
        d.point = static_cast<int>(d.digits.size());
    } else {
        const double m = std::fabs(n.d);
        if (m == 0 || !std::isfinite(m)) return d;
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.14e", m);  // the 15 digits a Double shows
        d.digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
        d.point = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    }
    Normalise(d);
    return d;
}

// Rounds half away from zero to `fraction` digits after the point.
void RoundTo(Decimal& d, int fraction) {
    const int keep = d.point + fraction;
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d = Decimal{};
        return;
    }
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int k = keep - 1;
        while (k >= 0 && d.digits[static_cast<size_t>(k)] == '9') d.digits[static_cast<size_t>(k--)] = '0';
        if (k < 0) {
            d.digits.insert(0, "1");
            ++d.point;
        } else {
            ++d.digits[static_cast<size_t>(k)];
        }
    }
    Normalise(d);
}

std::string IntegerDigits(const Decimal& d) {
    if (d.point <= 0) return {};
    std::string s = d.digits.substr(0, static_cast<size_t>(d.point));
    s.resize(static_cast<size_t>(d.point), '0');
    return s;
}

char FractionDigit(const Decimal& d, int i) {
    const int at = d.point + i;
    return at >= 0 && at < static_cast<int>(d.digits.size()) ? d.digits[static_cast<size_t>(at)] : '0';
}

// ---------------------------------------------------------------- sections

// Splits a format at the semicolons outside quotes and escapes.
std::vector<std::string> Sections(std::string_view f) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '\\' && i + 1 < f.size()) {
            out.back() += f.substr(i, 2);
            ++i;
        } else if (c == '"') {
            const size_t close = f.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? f.size() : close + 1;
            out.back() += f.substr(i, end - i);
            i = end - 1;
        } else if (c == ';') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

// ---------------------------------------------------------------- number formats

struct NumItem {
    enum Kind { Zero, Hash, Point, Exponent, Text } kind = Text;
    std::string text;  // Text: the literal; Exponent: its letter and sign as written ("E+", "e-")
};

struct NumberPattern {
    std::vector<NumItem> items;
    int intPlaces = 0, fracPlaces = 0, expPlaces = 0;
    bool group = false, percent = false, scientific = false;
    int thousands = 0;  // commas scaling by a thousand each
};

NumberPattern CompileNumber(std::string_view f) {
    NumberPattern p;
    enum { Int, Frac, Exp } part = Int;
    std::vector<size_t> commas;  // items index where an integer-part comma stood
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '0' || c == '#') {
            p.items.push_back({c == '0' ? NumItem::Zero : NumItem::Hash, {}});
            (part == Int ? p.intPlaces : part == Frac ? p.fracPlaces : p.expPlaces) += 1;
        } else if (c == '.' && part == Int) {
            p.items.push_back({NumItem::Point, {}});
            part = Frac;
        } else if (c == ',') {
            if (part == Int) commas.push_back(p.items.size());
        } else if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-') &&
                   part != Exp) {
            p.items.push_back({NumItem::Exponent, std::string(f.substr(i, 2))});
            p.scientific = true;
            part = Exp;
            ++i;
        } else if (c == '\\' && i + 1 < f.size()) {
            p.items.push_back({NumItem::Text, std::string(1, f[++i])});
        } else if (c == '"') {
            size_t close = f.find('"', i + 1);
            if (close == std::string_view::npos) close = f.size();
            p.items.push_back({NumItem::Text, std::string(f.substr(i + 1, close - i - 1))});
            i = close;
        } else {
            if (c == '%') p.percent = true;
            p.items.push_back({NumItem::Text, std::string(1, c)});
        }
    }
    // A comma with integer places after it groups thousands; one after the last of them scales.
    for (size_t at : commas) {
        bool placesAfter = false;
        for (size_t k = at; k < p.items.size(); ++k) {
            const NumItem::Kind kind = p.items[k].kind;
            if (kind == NumItem::Point || kind == NumItem::Exponent) break;
            if (kind == NumItem::Zero || kind == NumItem::Hash) placesAfter = true;
        }
        bool placesBefore = false;
        for (size_t k = 0; k < at; ++k)
            if (p.items[k].kind == NumItem::Zero || p.items[k].kind == NumItem::Hash) placesBefore = true;
        if (placesAfter && placesBefore)
            p.group = true;
        else if (placesBefore)
            ++p.thousands;
    }
    return p;
}

bool HasNumberPlaces(std::string_view f) {
    for (const NumItem& it : CompileNumber(f).items)
        if (it.kind == NumItem::Zero || it.kind == NumItem::Hash) return true;
    return false;
}

// A magnitude written by one section's pattern; the caller sees to the sign.
std::string RenderNumber(Decimal d, const NumberPattern& p, const JetLocale& loc) {
    if (!d.digits.empty()) d.point += (p.percent ? 2 : 0) - 3 * p.thousands;
    int exponent = 0;
    if (p.scientific) {
        const int places = std::max(p.intPlaces, 1);
        if (!d.digits.empty()) {
            exponent = d.point - places;
            d.point = places;
            RoundTo(d, p.fracPlaces);
            if (d.point > places) {  // rounding carried into a new digit: 9.99 to 10.0
                d.point = places;
                ++exponent;
            }
        }
    } else {
        RoundTo(d, p.fracPlaces);
    }

    // Integer digits, padded to the places from the first 0 on.
    std::string whole = IntegerDigits(d);
    int minWidth = 0, seen = 0;
    for (const NumItem& it : p.items) {
        if (it.kind == NumItem::Point || it.kind == NumItem::Exponent) break;
        if (it.kind == NumItem::Zero && minWidth == 0) minWidth = p.intPlaces - seen;
        if (it.kind == NumItem::Zero || it.kind == NumItem::Hash) ++seen;
    }
    if (static_cast<int>(whole.size()) < minWidth) whole.insert(0, minWidth - whole.size(), '0');

    // Fraction digits; those under a trailing # are dropped when zero.
    std::string frac;
    for (int i = 0; i < p.fracPlaces; ++i) frac += FractionDigit(d, i);
    {
        std::vector<NumItem::Kind> fracKinds;
        bool inFrac = false;
        for (const NumItem& it : p.items) {
            if (it.kind == NumItem::Point) inFrac = true;
            if (it.kind == NumItem::Exponent) break;
            if (inFrac && (it.kind == NumItem::Zero || it.kind == NumItem::Hash))
                fracKinds.push_back(it.kind);
        }
        while (!frac.empty() && frac.back() == '0' && fracKinds[frac.size() - 1] == NumItem::Hash)
            frac.pop_back();
    }

    std::string exp = std::to_string(std::abs(exponent));
    int expZeros = 0;
    for (size_t k = 0; k < p.items.size(); ++k)
        if (p.items[k].kind == NumItem::Exponent)
            for (size_t j = k + 1; j < p.items.size(); ++j)
                if (p.items[j].kind == NumItem::Zero) ++expZeros;
    if (static_cast<int>(exp.size()) < expZeros) exp.insert(0, expZeros - exp.size(), '0');

    std::string out;
    const int wholeLen = static_cast<int>(whole.size());
    auto emitWhole = [&](int from, int to) {  // whole[from, to), with group separators
        for (int j = std::max(from, 0); j < to; ++j) {
            out += whole[static_cast<size_t>(j)];
            const int fromRight = wholeLen - 1 - j;
            if (p.group && fromRight > 0 && fromRight % 3 == 0) out += loc.groupSeparator;
        }
    };
    int intSeen = 0, fracSeen = 0;
    bool expDone = false;
    enum { Int, Frac, Exp } part = Int;
    for (const NumItem& it : p.items) {
        switch (it.kind) {
            case NumItem::Zero:
            case NumItem::Hash:
                if (part == Int) {
                    // Place k of n takes the digit as far from the right; the first also takes any surplus.
                    const int fromRight = p.intPlaces - 1 - intSeen;
                    const int at = wholeLen - 1 - fromRight;
                    emitWhole(intSeen == 0 ? 0 : at, at + 1);
                    ++intSeen;
                } else if (part == Frac) {
                    if (fracSeen < static_cast<int>(frac.size())) out += frac[static_cast<size_t>(fracSeen)];
                    ++fracSeen;
                } else if (!expDone) {
                    out += exp;
                    expDone = true;
                }
                break;
            case NumItem::Point:
                if (p.intPlaces == 0) emitWhole(0, wholeLen);
                out += loc.decimalPoint;
                part = Frac;
                break;
            case NumItem::Exponent:
                out += it.text[0];
                if (exponent < 0)
                    out += '-';
                else if (it.text[1] == '+')
                    out += '+';
                part = Exp;
                break;
            case NumItem::Text:
                out += it.text;
                break;
        }
    }
    return out;
}

// A number by a custom format: sections for positive; negative; zero (; Null, handled by the caller).
std::string FormatNumber(const Num& n, std::string_view format, const JetLocale& loc) {
    const std::vector<std::string> sections = Sections(format);
    const double v = n.real();
    const Decimal d = DecimalOf(n);
    if (v < 0 && sections.size() > 1 && !sections[1].empty()) {
        return RenderNumber(d, CompileNumber(sections[1]), loc);
    }
    if (v == 0 && sections.size() > 2 && !sections[2].empty()) {
        return RenderNumber(d, CompileNumber(sections[2]), loc);
    }
    const std::string text = RenderNumber(d, CompileNumber(sections[0]), loc);
    return v < 0 ? "-" + text : text;
}

std::string GeneralNumber(const Num& n, const JetLocale& loc) {
    std::string t = n.isInt ? std::to_string(n.i) : NumberText(n.d);
    const size_t dot = t.find('.');
    if (dot != std::string::npos) t.replace(dot, 1, loc.decimalPoint);
    return t;
}

// ---------------------------------------------------------------- the function

enum class Named {
    None,
    GeneralNumber,
    Currency,
    Fixed,
    Standard,
    Percent,
    Scientific,
    YesNo,
    TrueFalse,
    OnOff,
    GeneralDate,
    LongDate,
    MediumDate,
    ShortDate,
    LongTime,
    MediumTime,
    ShortTime
};

Named NamedFormat(std::string_view f) {
    static const std::pair<const char*, Named> names[] = {{"general number", Named::GeneralNumber},
                                                          {"currency", Named::Currency},
                                                          {"fixed", Named::Fixed},
                                                          {"standard", Named::Standard},
                                                          {"percent", Named::Percent},
                                                          {"scientific", Named::Scientific},
                                                          {"yes/no", Named::YesNo},
                                                          {"true/false", Named::TrueFalse},
                                                          {"on/off", Named::OnOff},
                                                          {"general date", Named::GeneralDate},
                                                          {"long date", Named::LongDate},
                                                          {"medium date", Named::MediumDate},
                                                          {"short date", Named::ShortDate},
                                                          {"long time", Named::LongTime},
                                                          {"medium time", Named::MediumTime},
                                                          {"short time", Named::ShortTime}};
    const std::string key = Lowered(Trimmed(f));
    for (const auto& [name, named] : names)
        if (key == name) return named;
    return Named::None;
}

bool IsDateNamed(Named n) {
    return n >= Named::GeneralDate;
}

std::string NamedNumber(const Num& n, Named named, const JetLocale& loc) {
    const double v = n.real();
    switch (named) {
        case Named::Currency: {
            const std::string amount = RenderNumber(DecimalOf(n), CompileNumber("#,##0.00"), loc);
            std::string t = v < 0 ? loc.currencyNegative : loc.currencyPositive;
            const size_t mark = t.find('#');
            if (mark != std::string::npos) t.replace(mark, 1, amount);
            return t;
        }
        case Named::Fixed:
            return FormatNumber(n, "0.00", loc);
        case Named::Standard:
            return FormatNumber(n, "#,##0.00", loc);
        case Named::Percent:
            return FormatNumber(n, "0.00%", loc);
        case Named::Scientific:
            return FormatNumber(n, "0.00E+00", loc);
        case Named::YesNo:
            return v != 0 ? "Yes" : "No";
        case Named::TrueFalse:
            return v != 0 ? "True" : "False";
        case Named::OnOff:
            return v != 0 ? "On" : "Off";
        default:
            return GeneralNumber(n, loc);
    }
}

std::string NamedDate(const Stamp& st, Named named, const DateContext& cx) {
    const JetLocale& loc = cx.loc;
    switch (named) {
        case Named::LongDate:
            return FormatDate(st, loc.longDate, cx);
        case Named::MediumDate:
            return FormatDate(st, loc.mediumDate, cx);
        case Named::ShortDate:
            return FormatDate(st, loc.shortDate, cx);
        case Named::LongTime:
            return FormatDate(st, loc.longTime, cx);
        case Named::MediumTime:
            return FormatDate(st, loc.mediumTime, cx);
        case Named::ShortTime:
            return FormatDate(st, loc.shortTime, cx);
        default:
            return GeneralDate(st, cx, 0);
    }
}

// The literal text of a section: what Null shows under a fourth section.
std::string Literals(std::string_view f) {
    std::string out;
    for (const NumItem& it : CompileNumber(f).items)
        if (it.kind == NumItem::Text) out += it.text;
    return out;
}

void JetFormat(sqlite3_context* ctx, int argc, sqlite3_value** a) {
    int firstDay, firstWeek;
    if (!WeekArguments(ctx, argc, a, 2, firstDay, firstWeek)) return;
    const std::shared_ptr<const JetLocale> locale = CurrentJetLocale();
    const JetLocale& loc = *locale;
    const DateContext cx{loc, firstDay, firstWeek};
    const std::string format = argc > 1 && !IsNull(a[1]) ? TextOf(a[1]) : std::string();
    const Named named = NamedFormat(format);
    const std::vector<std::string> sections = Sections(format);
    // Text codes make a text format; its second section stands for Null and the empty text.
    const bool asText = named == Named::None && IsTextPattern(format) && !HasNumberPlaces(format);
    const auto byText = [&](const std::string& text) {
        const bool empty = text.empty() && sections.size() > 1;
        ResultText(ctx, FormatText(text, sections[empty ? 1 : 0]));
    };

    if (IsNull(a[0])) {
        if (asText && sections.size() > 1) return byText("");
        if (named == Named::None && sections.size() > 3) return ResultText(ctx, Literals(sections[3]));
        return sqlite3_result_null(ctx);
    }

    // The value as a number, a date, or a text that is neither (which comes back as it is).
    Num n;
    std::optional<Stamp> date;
    double serial = 0;
    if (StoredDateSerial(a[0], serial)) {
        date = StampOfSerial(serial);
    } else if (asText && IsText(a[0])) {
        return byText(TextOf(a[0]));
    } else if (GetNum(a[0], n) == Got::Ok) {
    } else if (IsText(a[0]) && (date = StampOfText(TextOf(a[0])))) {
        serial = SerialOf(*date);
    } else {
        return ResultText(ctx, TextOf(a[0]));
    }
    if (date) n = Num{false, 0, serial};
    if (asText) return byText(date ? GeneralDate(*date, cx, 0) : GeneralNumber(n, loc));

    const bool asDate = named != Named::None ? IsDateNamed(named)
                        : format.empty()     ? date.has_value()
                                             : !HasNumberPlaces(format) && IsDatePattern(format);
    if (asDate && !date) {
        if (!(n.real() > -657435.0 && n.real() < 2958466.0)) return Fail(ctx, kOverflow, "Overflow.");
        date = StampOfSerial(n.real());
    }
    if (asDate) {
        if (named != Named::None || format.empty()) return ResultText(ctx, NamedDate(*date, named, cx));
        return ResultText(ctx, FormatDate(*date, sections[0], cx));
    }
    if (named != Named::None) return ResultText(ctx, NamedNumber(n, named, loc));
    if (format.empty()) return ResultText(ctx, GeneralNumber(n, loc));
    ResultText(ctx, FormatNumber(n, format, loc));
}

}  // namespace

void RegisterFormatFunction(sqlite3* db) {
    static const Scalar scalars[] = {{"jet_format", -1, JetFormat}};
    RegisterScalars(db, scalars);
}

}  // namespace corv::jetfn
