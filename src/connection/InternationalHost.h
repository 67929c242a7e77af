// The platform's IDNA conversion for URL hosts: a name with labels beyond
// ASCII is resolved, sent as SNI and in Host, matched against proxy rules
// and certificates in its A-label form, as the platform's own clients do.
#pragma once

#include <string>

// unicodeHost in UTF-8 to its A-label form through IdnToAscii, with the
// platform's refusals (invalid UTF-8, disallowed characters, labels or names
// too long). Fits url::HostToAscii.
bool InternationalHostToAscii(const std::string& unicodeHost, std::string* pAsciiHost);
