// The one reader of decimal numbers in what peers send (FTP reply codes and
// SIZE replies, HTTP status codes and lengths). No platform header.
#pragma once

#include <cstdint>

// Reads the run of decimal digits at p (none reads as 0), clamped to max:
// a number too large for max reads as max, never as a wrapped value.
// *ppEnd, when given, receives the first character after the digits.
uint64_t LeadingDigits(const char* p, uint64_t max, const char** ppEnd = nullptr);
