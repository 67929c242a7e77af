// The server's FEAT list (RFC 2389): one feature a line, each line starting
// with a space, the feature's name first, then its parameters. No platform
// headers, so this also builds natively.
#pragma once

#include <cstddef>

namespace ftp {

// Lines of a FEAT reply that are read at most; a server that sends more
// lists nothing beyond them.
constexpr size_t kMaxFeatureLines = 64;

// The line names the feature pszName (case ignored, parameters after it
// allowed): " UTF8" and " utf8" name UTF8, " UTF8X" and "211 UTF8" do not.
bool ListsFeature(const char* pszLine, const char* pszName);

// The path holds a byte beyond ASCII: it means different files in different
// encodings.
bool HasNonAsciiByte(const char* psz);

} // namespace ftp
