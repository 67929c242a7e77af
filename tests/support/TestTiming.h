// Elapsed wall time for tests that bound how long a call may take.
#pragma once

#include <chrono>

inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
