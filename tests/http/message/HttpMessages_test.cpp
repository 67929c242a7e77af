// The HTTP/1.0 reader's Content-Length: every bit of a length at and beyond
// 4 GiB is kept, so a body is never counted complete against a wrapped size.
// And request paths that the system code page cannot hold, and the detail
// each status gets.
#include "HttpMessages.h"

#include "StatusDetail.h"
#include "VexErrors.h"

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

TEST(EscapeRequestPath, EncodesWhatCannotStandInARequestTarget)
{
    EXPECT_EQ(http::EscapeRequestPath(""), "");
    EXPECT_EQ(http::EscapeRequestPath("/a/%41?x=1&y=~"), "/a/%41?x=1&y=~");
    EXPECT_EQ(http::EscapeRequestPath("/a b\t\"<>\\^`{|}\x7f"), "/a%20b%09%22%3C%3E%5C%5E%60%7B%7C%7D%7F");
    EXPECT_EQ(http::EscapeRequestPath("/\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82.pdf"),
              "/%D0%9E%D1%82%D1%87%D1%91%D1%82.pdf");
    EXPECT_EQ(http::EscapeRequestPath("/\xe6\x8a\xa5\xe5\x91\x8a"), "/%E6%8A%A5%E5%91%8A");
}

TEST(StatusDetail, HttpVersionsDifferOnlyWhereRedirectsAndGoneDo)
{
    const struct { int status; long http10; long http11; } cases[] = {
        {301, VEXDET_NOT_FOUND, VEXDET_UNEXPECTED}, {302, VEXDET_NOT_FOUND, VEXDET_UNEXPECTED},
        {404, VEXDET_NOT_FOUND, VEXDET_NOT_FOUND},  {410, VEXDET_UNEXPECTED, VEXDET_NOT_FOUND},
        {401, VEXDET_NOT_AUTHORISED, VEXDET_NOT_AUTHORISED}, {403, VEXDET_NOT_AUTHORISED, VEXDET_NOT_AUTHORISED},
        {500, VEXDET_UNEXPECTED, VEXDET_UNEXPECTED},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(http::StatusDetail(c.status, http::Protocol::kHttp10), c.http10) << c.status;
        EXPECT_EQ(http::StatusDetail(c.status, http::Protocol::kHttp11), c.http11) << c.status;
    }
}
