#pragma once

#include <array>
#include <memory>
#include <string>

namespace corv {

// What the named formats of Format and the weeks of the date functions take from the user's locale.
// Patterns use Format's own codes (m/d/yyyy, h:mm:ss AMPM, ...). The defaults are those of en_US.
struct JetLocale {
    std::string decimalPoint = ".";
    std::string groupSeparator = ",";
    // The first '#' stands for the amount, written as "#,##0.00" would write it.
    std::string currencyPositive = "$#";
    std::string currencyNegative = "($#)";
    std::string dateSeparator = "/";
    std::string timeSeparator = ":";
    std::string shortDate = "m/d/yyyy";
    std::string mediumDate = "dd-mmm-yy";
    std::string longDate = "dddd, mmmm d, yyyy";
    std::string longTime = "h:mm:ss AMPM";
    std::string mediumTime = "hh:mm AMPM";
    std::string shortTime = "hh:mm";
    std::string amText = "AM";
    std::string pmText = "PM";
    std::array<std::string, 12> monthNames = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    std::array<std::string, 12> monthShortNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Sunday first.
    std::array<std::string, 7> dayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    std::array<std::string, 7> dayShortNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    int firstDayOfWeek = 1;  // 1 Sunday ... 7 Saturday
};

// Publishes the locale every later evaluation uses. Each evaluation takes the whole object current when it
// starts, so a statement running on a loader thread never sees half of one locale and half of another.
// The program calls this once at start-up (main thread), before it opens any database.
void SetJetLocale(JetLocale locale);
std::shared_ptr<const JetLocale> CurrentJetLocale();

}  // namespace corv
