// Conversions between the engine's 8-bit texts and the system's wide
// (UTF-16) strings. Paths that reach the file system travel wide, so a
// temporary directory whose name the ANSI code page cannot spell still
// works; the ANSI forms are only for fields the classic interface fixes.
#pragma once

#include <string>

// Text in the system's ANSI code page, as the A-functions would read it; a
// null text counts as empty.
std::wstring AnsiToWide(const char* psz);

// UTF-8 text; invalid sequences become U+FFFD as the system converts them.
std::wstring Utf8ToWide(const std::string& text);

// The UTF-8 form of a wide string (null counts as empty), for traces and
// sentences; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(const wchar_t* pwsz);

// The ANSI form of a wide string, only when every character has an exact
// form in the code page (no '?' and no look-alike): false otherwise.
bool WideToAnsiExact(const wchar_t* pwsz, std::string& text);
