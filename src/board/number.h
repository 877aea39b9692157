// The one parser for numeric arguments and FEN counters.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnu {

// Reads a decimal integer the way atoi does: leading white space, an optional sign, the leading
// digits; the rest is ignored and a text without digits gives 0. Values beyond the 32-bit range
// saturate instead of overflowing.
int32_t parseNumber(std::string_view text);

// Reads a decimal number with an optional fraction ("2.5") the same way, scaled by ten to the
// power places and cut towards zero: parseScaled("0.505", 2) is 50. Saturates like parseNumber.
int32_t parseScaled(std::string_view text, int places);

// Reads a setting's value strictly: true, with the value, when the text is a whole decimal
// number (digits only) from low to high; false for anything else.
bool parseWholeNumber(std::string_view text, int32_t low, int32_t high, int32_t& value);

}  // namespace varnu
