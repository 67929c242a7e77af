// Owned heap copy of a zero-terminated 8-bit string, or null.
#pragma once

#include <cstddef>

class CAnsiString
{
public:
    CAnsiString() = default;
    ~CAnsiString() { Reset(); }
    CAnsiString(const CAnsiString&) = delete;
    CAnsiString& operator=(const CAnsiString&) = delete;

    // Replaces the held string by a copy of psz (null clears it). Returns
    // false when the copy could not be allocated; the string is then null.
    bool Assign(const char* psz);
    void Reset();

    const char* Get() const { return m_psz; }
    bool IsNull() const { return m_psz == nullptr; }
    // Length with a null string counting as empty.
    size_t Length() const;

private:
    char* m_psz = nullptr;
};

// Length of a string that may be null; null counts as empty.
size_t SafeLength(const char* psz);
