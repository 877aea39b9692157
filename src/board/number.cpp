#include "board/number.h"

#include <limits>

namespace varnu {

int32_t parseNumber(std::string_view text) { return parseScaled(text, 0); }

int32_t parseScaled(std::string_view text, int places) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  auto isDigit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  auto addDigit = [&](char c) {
    value = value * 10 + (c - '0');
    if (value > limit) value = limit;
  };
  for (; isDigit(i); ++i) addDigit(text[i]);
  // The fraction's first places digits, padded with zeros.
  const bool fraction = i < text.size() && text[i] == '.';
  if (fraction) ++i;
  for (int p = 0; p < places; ++p) {
    if (fraction && isDigit(i))
      addDigit(text[i++]);
    else
      addDigit('0');
  }
  if (negative) return int32_t(-value);
  return value >= limit ? std::numeric_limits<int32_t>::max() : int32_t(value);
}

bool parseWholeNumber(std::string_view text, int32_t low, int32_t high, int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int32_t n = parseNumber(text);
  if (n < low || n > high) return false;
  value = n;
  return true;
}

}  // namespace varnu
