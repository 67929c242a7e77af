// Chunked bodies decoded in place, fed in every possible split.
#include "ChunkedDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using http::ChunkState;

struct Decoded
{
    ChunkState state = ChunkState::kNeedMore;
    std::string body;
    std::string leftover; // input after the final CR LF, never read
};

// Feeds the pieces one Decode call each, in a buffer of exactly their size,
// as the client does with what each receive brings.
Decoded DecodePieces(const std::vector<std::string>& pieces)
{
    http::CChunkedDecoder decoder;
    Decoded result;
    for (const std::string& piece : pieces)
    {
        if (result.state == ChunkState::kDone)
        {
            result.leftover += piece;
            continue;
        }
        std::vector<char> buffer(piece.begin(), piece.end());
        size_t cbBody = 0;
        size_t cbConsumed = 0;
        result.state = decoder.Decode(buffer.data(), buffer.size(), &cbBody, &cbConsumed);
        EXPECT_LE(cbBody, cbConsumed);
        result.body.append(buffer.data(), cbBody);
        if (result.state == ChunkState::kDone)
        {
            result.leftover += piece.substr(cbConsumed);
        }
        else
        {
            EXPECT_EQ(cbConsumed, piece.size());
        }
    }
    return result;
}

void ExpectEverySplit(const std::string& input, const Decoded& expected, const std::string& name)
{
    auto check = [&](const std::vector<std::string>& pieces, const std::string& how) {
        const Decoded decoded = DecodePieces(pieces);
        EXPECT_EQ(decoded.state, expected.state) << name << how;
        EXPECT_EQ(decoded.body, expected.body) << name << how;
        if (expected.state == ChunkState::kDone)
        {
            EXPECT_EQ(decoded.leftover, expected.leftover) << name << how;
        }
    };
    for (size_t split = 0; split <= input.size(); ++split)
        check({input.substr(0, split), input.substr(split)}, " split at " + std::to_string(split));
    std::vector<std::string> bytes;
    for (char c : input)
        bytes.emplace_back(1, c);
    check(bytes, " byte by byte");
}

struct ChunkCase
{
    std::string name;
    std::string input;
    ChunkState state;
    std::string body;
    std::string leftover;
};

std::vector<ChunkCase> Cases()
{
    const ChunkState kDone = ChunkState::kDone;
    const ChunkState kMore = ChunkState::kNeedMore;
    const ChunkState kError = ChunkState::kError;
    const size_t kLine = http::CChunkedDecoder::kMaxSizeLineLength;
    const size_t kTrailerLine = http::CChunkedDecoder::kMaxTrailerLineLength;
    std::string trailers;
    for (size_t i = 0; i < http::CChunkedDecoder::kMaxTrailerLines; ++i)
        trailers += "X-T: 1\r\n";
    return {
        {"one chunk", "5\r\nhello\r\n0\r\n\r\n", kDone, "hello", ""},
        {"two chunks, data after", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\nHTTP/1.1", kDone, "hello world", "HTTP/1.1"},
        {"upper hex", "A\r\n0123456789\r\n0\r\n\r\n", kDone, "0123456789", ""},
        {"lower hex", "a\r\n0123456789\r\n0\r\n\r\n", kDone, "0123456789", ""},
        {"leading zeros", "0000000000000000000005\r\nhello\r\n000\r\n\r\n", kDone, "hello", ""},
        {"empty body", "0\r\n\r\n", kDone, "", ""},
        {"CR LF inside data", "4\r\n\r\n\r\n\r\n0\r\n\r\n", kDone, "\r\n\r\n", ""},
        {"extensions", "5;name=value;x=\"q\"\r\nhello\r\n0;last\r\n\r\n", kDone, "hello", ""},
        {"white space before extension", "5 \t;ext\r\nhello\r\n0 ;e\r\n\r\n", kDone, "hello", ""},
        {"white space after size", "5 \r\nhello\r\n0\t\r\n\r\n", kDone, "hello", ""},
        {"trailer fields", "3\r\nabc\r\n0\r\nExpires: never\r\nX-Sum: 1\r\n\r\nrest", kDone, "abc", "rest"},
        {"longest size line", "1;" + std::string(kLine - 2, 'e') + "\r\nx\r\n0\r\n\r\n", kDone, "x", ""},
        {"most trailer lines", "0\r\n" + trailers + "\r\n", kDone, "", ""},
        {"longest trailer line", "0\r\n" + std::string(kTrailerLine, 't') + "\r\n\r\n", kDone, "", ""},
        {"in the data", "5\r\nhel", kMore, "hel", ""},
        {"before the final line", "5\r\nhello\r\n0\r\n", kMore, "hello", ""},
        {"in a trailer", "0\r\nX: 1", kMore, "", ""},
        {"16 significant digits", "FFFFFFFFFFFFFFFF\r\nabc", kMore, "abc", ""},
        {"17 significant digits", "10000000000000000\r\n", kError, "", ""},
        {"bare LF after size", "5\nhello\r\n0\r\n\r\n", kError, "", ""},
        {"bare LF after data", "5\r\nhello\n0\r\n\r\n", kError, "hello", ""},
        {"data longer than its size", "5\r\nhelloX\r\n0\r\n\r\n", kError, "hello", ""},
        {"CR CR LF after data", "5\r\nhello\r\r\n", kError, "hello", ""},
        {"no size", "\r\nhello", kError, "", ""},
        {"not hex", "g\r\n", kError, "", ""},
        {"sign", "+5\r\nhello", kError, "", ""},
        {"text after white space", "5 x\r\nhello", kError, "", ""},
        {"control byte in extension", "5;a\x01\r\nhello", kError, "", ""},
        {"size line too long", "1;" + std::string(kLine - 1, 'e') + "\r\nx\r\n0\r\n\r\n", kError, "", ""},
        {"too many trailer lines", "0\r\n" + trailers + "X: 1\r\n\r\n", kError, "", ""},
        {"trailer line too long", "0\r\n" + std::string(kTrailerLine + 1, 't') + "\r\n\r\n", kError, "", ""},
        {"bare LF in trailer", "0\r\nX: 1\nY: 2\r\n\r\n", kError, "", ""},
        {"bare LF at the end", "0\r\n\n", kError, "", ""},
    };
}

TEST(ChunkedDecoder, EverySplitGivesTheSameBody)
{
    for (const ChunkCase& c : Cases())
        ExpectEverySplit(c.input, {c.state, c.body, c.leftover}, c.name);
}

TEST(ChunkedDecoder, NothingIsReadOnceFinished)
{
    http::CChunkedDecoder done;
    char body[] = "0\r\n\r\nabc";
    size_t cbBody = 99;
    size_t cbConsumed = 99;
    EXPECT_EQ(done.Decode(body, 8, &cbBody, &cbConsumed), ChunkState::kDone);
    EXPECT_EQ(cbConsumed, 5u);
    EXPECT_EQ(done.Decode(body + 5, 3, &cbBody, &cbConsumed), ChunkState::kDone);
    EXPECT_EQ(cbBody, 0u);
    EXPECT_EQ(cbConsumed, 0u);

    http::CChunkedDecoder failed;
    char bad[] = "x\r\n1\r\na\r\n";
    EXPECT_EQ(failed.Decode(bad, 3, &cbBody, &cbConsumed), ChunkState::kError);
    EXPECT_EQ(failed.Decode(bad + 3, 6, &cbBody, &cbConsumed), ChunkState::kError);
    EXPECT_EQ(cbBody, 0u);
    EXPECT_EQ(cbConsumed, 6u);
    EXPECT_EQ(failed.State(), ChunkState::kError);
}

} // namespace
