// Reply codes, multi-line replies, the 227 address, SIZE answers and PORT
// arguments.
#include "FtpReplies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(FtpReplyCode, LeadingNumberOfTheLine)
{
    EXPECT_EQ(ftp::ReplyCode(nullptr), -1);
    EXPECT_EQ(ftp::ReplyCode("220 Ready"), 220);
    EXPECT_EQ(ftp::ReplyCode("220-Welcome"), 220);
    EXPECT_EQ(ftp::ReplyCode("  331 blanks first"), 331);
    EXPECT_EQ(ftp::ReplyCode("    continued"), 0);
    EXPECT_EQ(ftp::ReplyCode(""), 0);
    EXPECT_EQ(ftp::ReplyCode("99999999999999999999"), 2147483647);
}

std::vector<ftp::CReplyAssembler::Result> FeedAll(std::initializer_list<const char*> lines)
{
    ftp::CReplyAssembler assembler;
    std::vector<ftp::CReplyAssembler::Result> results;
    for (const char* line : lines)
        results.push_back(assembler.Feed(line));
    return results;
}

TEST(FtpReplyAssembler, SingleAndMultiLineReplies)
{
    using R = ftp::CReplyAssembler;
    EXPECT_EQ(FeedAll({"200 OK"}), std::vector<R::Result>{R::kComplete});
    EXPECT_EQ(FeedAll({"220-Welcome", "220-second line", "220 Ready"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kNeedMoreLines, R::kComplete}));
    // A continuation line indented by four blanks ends the reply at its
    // fourth character; it starts with no digit, so no code is compared.
    EXPECT_EQ(FeedAll({"220-Welcome", "    indented text"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kComplete}));
    // Exactly three digits do not end a reply; short lines never do.
    EXPECT_EQ(FeedAll({"220", "ab", "220 done"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kNeedMoreLines, R::kComplete}));
    EXPECT_EQ(FeedAll({"230-first", "226 other code"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kCodeMismatch}));
    // The code of the last digit-led line counts: a line in between
    // carries it when the ending line starts with no digit.
    EXPECT_EQ(FeedAll({"220-Welcome", "571-other code in between", "    indented end"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kNeedMoreLines, R::kCodeMismatch}));
    EXPECT_EQ(FeedAll({"220-Welcome", "571-other code in between", "220 Ready"}),
              (std::vector<R::Result>{R::kNeedMoreLines, R::kNeedMoreLines, R::kComplete}));
    EXPECT_EQ(FeedAll({"Hello"}), std::vector<R::Result>{R::kNotAReply});
    EXPECT_EQ(FeedAll({""}), std::vector<R::Result>{R::kNotAReply});
}

struct PassiveCase
{
    const char* line;
    bool ok;
    const char* address;
    uint32_t port;
};

TEST(FtpPassiveReply, NumbersAreFoundByPosition)
{
    const PassiveCase cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).", true, "127.0.0.1", 1025},
        {"227 Entering Passive Mode 127,1,2,3,200,7", true, "127.1.2.3", 51207},
        {"227 Entering Passive Mode=127,168,0,9,0,21", true, "127.168.0.9", 21},
        {"227 =999,999,999,999,1,2)", true, "999.999.999.999", 258},
        {"227 (127,0,0,1,4)", false, "", 0},        // five numbers
        {"227 (127,0,0,1,4,", false, "", 0},        // nothing after the fifth comma
        {"227 (127,,0,1,4,1)", false, "", 0},       // empty field
        {"227 (127,0,0,1,,1)", false, "", 0},       // empty p1
        {"127,0,0,1,4,1", false, "", 0},            // the line begins with the number
        {",127,0,0,1,4,1", false, "", 0},           // the line begins with a comma
        {"227 (a,0,0,1,4,1)", false, "", 0},        // no digit before the first comma
        {"227 No numbers at all", false, "", 0},
        {"227 (1270000000,0,0,1000000001,4,1)", false, "", 0}, // address too long
    };
    for (const PassiveCase& c : cases)
    {
        char address[ftp::kPassiveAddressSize] = {};
        uint32_t port = 0;
        EXPECT_EQ(ftp::ParsePassiveReply(c.line, address, &port), c.ok) << c.line;
        if (c.ok)
        {
            EXPECT_STREQ(address, c.address) << c.line;
            EXPECT_EQ(port, c.port) << c.line;
        }
    }
}

TEST(FtpSizeReply, NumberAfterTheCode)
{
    EXPECT_EQ(ftp::ParseSizeReply("213 1048576"), 1048576u);
    EXPECT_EQ(ftp::ParseSizeReply("213    42 bytes"), 42u);
    EXPECT_EQ(ftp::ParseSizeReply("213"), 0u);
    EXPECT_EQ(ftp::ParseSizeReply("21"), 0u);
    // Sizes at and beyond 4 GiB keep every bit; only what no 64-bit count
    // can hold is clamped.
    EXPECT_EQ(ftp::ParseSizeReply("213 4294967295"), 4294967295u);
    EXPECT_EQ(ftp::ParseSizeReply("213 4294967296"), 4294967296u);
    EXPECT_EQ(ftp::ParseSizeReply("213 99999999999"), 99999999999u);
    EXPECT_EQ(ftp::ParseSizeReply("213 18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(ftp::ParseSizeReply("213 99999999999999999999999"), UINT64_MAX);
}

TEST(FtpPortCommand, AddressAndPortBytes)
{
    char buf[256];
    ASSERT_EQ(ftp::FormatPortCommand(buf, sizeof(buf), "127.0.0.7", 1500, "\r\n"), 22u);
    EXPECT_STREQ(buf, "PORT 127,0,0,7,5,220\r\n");
    EXPECT_EQ(ftp::FormatPortCommand(buf, sizeof(buf), "not an address", 21, "\r\n"), 0u);
    EXPECT_EQ(ftp::FormatPortCommand(buf, sizeof(buf), "1.2.3.4x", 21, "\r\n"), 0u);
    EXPECT_EQ(ftp::FormatPortCommand(buf, sizeof(buf), "1.2.3.256", 21, "\r\n"), 0u);
    EXPECT_EQ(ftp::FormatPortCommand(buf, 10, "1.2.3.4", 21, "\r\n"), 0u);
}

} // namespace

TEST(FtpExtendedPassiveReply, PortBetweenFourDelimiters)
{
    const struct { const char* line; bool bParsed; uint16_t port; } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", true, 6446},
        {"229 (!!!1!)", true, 1},
        {"229 ok (|||65535|) trailing", true, 65535},
        {"229 (|||0|)", false, 0},
        {"229 (|||65536|)", false, 0},
        {"229 (|||1234567|)", false, 0},
        {"229 (||1|)", false, 0},
        {"229 (|||12|", false, 0},
        {"229 (111123|)", false, 0},
        {"229 (|2|::1|21|)", false, 0},
        {"229 Entering Extended Passive Mode", false, 0},
    };
    for (const auto& c : cases)
    {
        uint16_t port = 0;
        EXPECT_EQ(ftp::ParseExtendedPassiveReply(c.line, &port), c.bParsed) << c.line;
        EXPECT_EQ(port, c.port) << c.line;
    }
}

TEST(FtpEprtCommand, FamilyAddressAndPort)
{
    char buf[64];
    const struct { const char* address; uint16_t port; const char* command; } cases[] = {
        {"127.0.0.1", 21, "EPRT |1|127.0.0.1|21|\r\n"},
        {"::1", 65535, "EPRT |2|::1|65535|\r\n"},
        {"2001:db8::5", 4660, "EPRT |2|2001:db8::5|4660|\r\n"},
        {"host.example", 21, ""},
        {"::1|2|", 21, ""},
        {"", 21, ""},
    };
    for (const auto& c : cases)
    {
        const size_t cch = ftp::FormatEprtCommand(buf, sizeof(buf), c.address, c.port, "\r\n");
        EXPECT_EQ(std::string(buf, cch), c.command) << c.address;
    }
    EXPECT_EQ(ftp::FormatEprtCommand(buf, 10, "::1", 21, "\r\n"), 0u);
}
