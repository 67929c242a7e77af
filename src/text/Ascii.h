// ASCII character classes, case folding and digit values, for the texts
// peers, URLs and the registry send. Locale-free on purpose: the C library's
// classes follow the process locale, and a byte above 0x7F is never a
// letter or a digit here. No platform header, so this also builds natively.
#pragma once

#include <string>
#include <string_view>

namespace ascii {

bool IsDigit(char c);  // '0'-'9'
bool IsLetter(char c); // 'a'-'z', 'A'-'Z'
bool IsControl(char c); // 0x00-0x1F and 0x7F

// No byte above 0x7F.
bool IsAscii(std::string_view text);

// 0-9 for a decimal digit, -1 for any other byte.
int DecimalValue(char c);
// 0-15 for a hex digit of either case, -1 for any other byte.
int HexValue(char c);

// 'A'-'Z' to 'a'-'z'; every other byte as it is.
char ToLower(char c);
std::string ToLower(std::string text);

// Whether text starts with lowerPrefix, text's case ignored; lowerPrefix is
// written in lower case.
bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix);
// The same for the whole text.
bool EqualsNoCase(std::string_view text, std::string_view lower);

} // namespace ascii
