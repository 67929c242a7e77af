// Words of the trace lines that every client writes the same way.
#pragma once

inline const char* TrueFalse(bool b)
{
    return b ? "true" : "false";
}
