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

} // namespace fuzz
