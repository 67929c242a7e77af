// Small helpers shared by the fuzz targets: a check that stops the run like
// a crash (so that libFuzzer saves the input), and the split of an input
// into zero-terminated fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A broken rule of a parser is a finding like a crash: print where and
// abort, and libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                                     \
    do                                                                                            \
    {                                                                                             \
        if (!(condition))                                                                         \
        {                                                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace fuzz {

// The input cut at its zero bytes: "a\0b\0c" gives {"a", "b", "c"}. At most
// maxFields fields; the last one keeps the rest, zero bytes included.
inline std::vector<std::string> SplitAtZero(const uint8_t* data, size_t size, size_t maxFields)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < size && fields.size() + 1 < maxFields; ++i)
    {
        if (data[i] == 0)
        {
            fields.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 1;
        }
    }
    fields.emplace_back(reinterpret_cast<const char*>(data + start), size - start);
    return fields;
}

// An exact-size heap copy: AddressSanitizer then sees every read past size.
struct ExactCopy
{
    ExactCopy(const void* p, size_t cb) : bytes(new uint8_t[cb]), size(cb)
    {
        if (cb)
            std::memcpy(bytes, p, cb);
    }
    ~ExactCopy() { delete[] bytes; }
    ExactCopy(const ExactCopy&) = delete;
    ExactCopy& operator=(const ExactCopy&) = delete;

    uint8_t* bytes;
    size_t size;
};

// A message builder of the form build(buf, cap) -> length, run into
// exact-size buffers around the expected length and at bigCap: it must give
// 0 when refused or when the message and its terminator do not fit, and
// otherwise exactly the expected bytes, terminated.
template <typename Build>
void CheckBuildForEveryCapacity(const std::string& expected, bool bRefused, size_t bigCap, Build build)
{
    const size_t caps[] = {0, 1, expected.size() - 1, expected.size(), expected.size() + 1, bigCap};
    for (size_t cap : caps)
    {
        char* const pBuf = new char[cap ? cap : 1];
        const size_t cch = build(pBuf, cap);
        if (bRefused || expected.size() >= cap)
        {
            FUZZ_CHECK(cch == 0);
        }
        else
        {
            FUZZ_CHECK(cch == expected.size());
            FUZZ_CHECK(std::memcmp(pBuf, expected.c_str(), cch + 1) == 0);
        }
        delete[] pBuf;
    }
}

} // namespace fuzz
