// Failures inside a test helper name the line of the test that called it. A
// helper takes `const CCallerTrace& = {}` as its last parameter: the default
// argument is built at each call, where GCC's and Clang's __builtin_FILE and
// __builtin_LINE give the caller's position, and it lives until the call's
// full expression ends.
#pragma once

#include <gtest/gtest.h>

class CCallerTrace
{
public:
    CCallerTrace(const char* pszFile = __builtin_FILE(), int line = __builtin_LINE())
        : m_trace(pszFile, line, "helper called from here")
    {
    }
    CCallerTrace(const CCallerTrace&) = delete;
    CCallerTrace& operator=(const CCallerTrace&) = delete;

private:
    ::testing::ScopedTrace m_trace;
};
