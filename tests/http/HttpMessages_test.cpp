// The HTTP/1.0 reader's Content-Length: every bit of a length at and beyond
// 4 GiB is kept, so a body is never counted complete against a wrapped size.
#include "HttpMessages.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(FindContentLength, KeepsLengthsBeyondThirtyTwoBits)
{
    const struct
    {
        const char* line;
        bool found;
        uint64_t length;
    } cases[] = {
        {"Content-Length: 0", true, 0},
        {"Content-Length: 4294967295", true, 4294967295u},
        {"Content-Length: 4294967296", true, 4294967296u},
        {"Content-Length: 5000000000", true, 5000000000u},
        {"Content-Length: 9223372036854775807", true, INT64_MAX},
        {"Content-Length: 99999999999999999999999", true, INT64_MAX},
        // A negative length can never be met.
        {"Content-Length: -1", true, UINT64_MAX},
        {"content-length: 5", false, 7},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.line);
        uint64_t length = 7;
        EXPECT_EQ(http::FindContentLength(c.line, &length), c.found);
        EXPECT_EQ(length, c.length);
    }
}
