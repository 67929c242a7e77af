// How registry data become values: the type and size a number needs, the
// termination of texts that arrive without one. Registry data are untrusted
// bytes: these rules decide what counts and never read past the size that
// the registry reported. No platform header, so they also build natively.
#pragma once

#include "AnsiString.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace registry {

// Registry value types, numbered as the platform numbers them.
constexpr uint32_t kTypeSz = 1;
constexpr uint32_t kTypeDword = 4;

// Largest value that the settings read at all. Every value they know is a
// few bytes or a short text; anything larger is treated as absent instead of
// being copied.
constexpr uint32_t kMaxValueBytes = 4096;

// A number counts only when its type is REG_DWORD and its data are exactly
// four bytes (little-endian, as the platform stores them).
bool DwordFromData(uint32_t type, const uint8_t* pData, size_t cb, uint32_t* pValue);

// A text counts only when its type is REG_SZ (REG_EXPAND_SZ does not). The
// copy ends at the first zero byte within cb, or after all cb bytes when the
// data carry no terminator; it is always terminated. *pcbText receives the
// byte size of the value with its terminator: cb for well-formed data, one
// more when the terminator had to be added. False for another type or when
// the copy cannot be allocated.
bool StringFromData(uint32_t type, const uint8_t* pData, size_t cb, CAnsiString& text,
                    size_t* pcbText);

// The same rule for a REG_SZ read through the wide functions, whose data are
// UTF-16 units (little-endian): the text ends at the first zero unit, or
// after the last whole unit when the data carry no terminator; an odd last
// byte is no unit and is left out. False for another type.
bool Utf16StringFromData(uint32_t type, const uint8_t* pData, size_t cb, std::u16string& text);

} // namespace registry
