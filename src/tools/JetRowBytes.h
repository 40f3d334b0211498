#pragma once

// Plain conversions of the bytes of a Jet row, as the Jet reader stores them: little-endian numbers, dates
// and GUIDs.

#include <cstdint>
#include <string>

namespace corv::jetbytes {

// The n-byte little-endian integer at p, as its bits.
std::int64_t Le(const unsigned char* p, int n);
double LeDouble(const unsigned char* p);
// A Single shown with the digits it was typed with (1.1, not 1.10000002384186).
double SingleAsDouble(const unsigned char* p);
// Jet keeps a date as days since 1899-12-30; the whole part carries the sign, the fraction is the time
// of day whatever the sign (-1.25 is 1899-12-29 06:00). False outside the years a Jet file can hold.
bool JetDateText(double v, std::string& out);
std::string GuidText(const unsigned char* p);

}  // namespace corv::jetbytes
