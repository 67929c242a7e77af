// Base64 (RFC 4648, the standard alphabet with padding): the form of Basic
// credentials and of the tokens of the Negotiate and NTLM schemes in HTTP
// authentication fields. No platform header, so this also builds natively.
#pragma once

#include <string>
#include <string_view>

namespace base64 {

std::string Encode(std::string_view bytes);

// The bytes of text; false for anything but whole groups of four alphabet
// characters, padded at the end only, with the bits the padding leaves
// over zero (a token is never cut or mended).
bool Decode(std::string_view text, std::string* pBytes);

} // namespace base64
