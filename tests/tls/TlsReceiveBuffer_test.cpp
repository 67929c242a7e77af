// The TLS client's receive bookkeeping: record framing, and a stream of
// records fed in pieces of every size, decrypted in place and taken out in
// pieces smaller than a record, as the channel does it.
#include "TlsReceiveBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using tls::CTlsReceiveBuffer;
using tls::Frame;

std::string Record(uint8_t type, const std::string& fragment)
{
    std::string record;
    record += static_cast<char>(type);
    record += '\x03'; // version 3.3
    record += '\x03';
    record += static_cast<char>(fragment.size() >> 8);
    record += static_cast<char>(fragment.size() & 0xff);
    return record + fragment;
}

Frame FrameOf(const std::string& bytes, size_t* pcbRecord)
{
    return tls::FrameRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pcbRecord);
}

TEST(TlsFrame, HeadersAndLengths)
{
    const std::string maxFragment(tls::kMaxFragmentSize, 'x');
    const struct
    {
        const char* what;
        std::string bytes;
        Frame frame;
        size_t cbRecord;
    } cases[] = {
        {"nothing", "", Frame::kIncomplete, 0},
        {"type only", "\x17", Frame::kIncomplete, 0},
        {"header cut", std::string("\x17\x03\x03\x00", 4), Frame::kIncomplete, 0},
        {"empty fragment", Record(23, ""), Frame::kComplete, 5},
        {"fragment cut", Record(23, "abc").substr(0, 7), Frame::kIncomplete, 0},
        {"record and more", Record(22, "abc") + "\x17\x03", Frame::kComplete, 8},
        {"alert", Record(21, std::string("\x01\x00", 2)), Frame::kComplete, 7},
        {"largest fragment", Record(23, maxFragment), Frame::kComplete, tls::kMaxRecordSize},
        {"fragment too long", Record(23, maxFragment + "x").substr(0, 5), Frame::kMalformed, 0},
        {"HTTP reply", "HTTP/1.1 400 Bad Request\r\n", Frame::kMalformed, 0},
        {"'H' alone", "H", Frame::kMalformed, 0},
        {"type 19", Record(19, "abc"), Frame::kMalformed, 0},
        {"type 24", Record(24, "abc"), Frame::kMalformed, 0},
        {"version 2", std::string("\x16\x02\x00\x00\x00", 5), Frame::kMalformed, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        size_t cbRecord = 99;
        EXPECT_EQ(FrameOf(c.bytes, &cbRecord), c.frame);
        EXPECT_EQ(cbRecord, c.cbRecord);
    }
}

TEST(TlsFrame, VersionOfAServerHello)
{
    // Handshake header (type 2, length) and the version, then the random.
    const std::string tls11Hello = Record(22, std::string("\x02\x00\x00\x46\x03\x02", 6) + std::string(32, 'r'));
    const std::string tls12Hello = Record(22, std::string("\x02\x00\x00\x46\x03\x03", 6));
    const struct
    {
        const char* what;
        std::string bytes;
        bool bHello;
        uint16_t version;
    } cases[] = {
        {"TLS 1.1", tls11Hello, true, 0x0302},
        {"TLS 1.2, record cut short", tls12Hello.substr(0, 11), true, 0x0303},
        {"version cut off", tls12Hello.substr(0, 10), false, 0},
        {"certificate message", Record(22, std::string("\x0b\x00\x00\x46\x03\x02", 6)), false, 0},
        {"alert", Record(21, std::string("\x02\x46", 2)), false, 0},
        {"garbage", "HTTP/1.1 400 Bad Request", false, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        uint16_t version = 0;
        EXPECT_EQ(tls::ServerHelloVersion(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &version),
                  c.bHello);
        EXPECT_EQ(version, c.version);
    }
}

// The channel's receive loop without the package: each record's fragment
// counts as its decrypted data, which stands where the fragment stood.
std::string Replay(const std::string& stream, size_t cbPerReceive, size_t cbPerTake, size_t capacity)
{
    CTlsReceiveBuffer buffer(capacity);
    std::string out;
    size_t fed = 0;
    std::vector<char> piece(cbPerTake);
    for (;;)
    {
        const size_t cbTaken = buffer.TakePlaintext(piece.data(), piece.size());
        if (cbTaken > 0)
        {
            out.append(piece.data(), cbTaken);
            continue;
        }
        size_t cbRecord = 0;
        const Frame frame = buffer.FirstRecord(&cbRecord);
        if (frame == Frame::kMalformed)
            return out + "<malformed>";
        if (frame == Frame::kComplete)
        {
            char* pFragment = buffer.Data() + tls::kRecordHeaderSize;
            buffer.Consume(cbRecord);
            EXPECT_TRUE(buffer.HoldPlaintext(pFragment, cbRecord - tls::kRecordHeaderSize));
            continue;
        }
        if (fed == stream.size())
            return buffer.Size() == 0 ? out : out + "<cut>";
        size_t cbSpace = 0;
        char* pSpace = buffer.Space(&cbSpace);
        if (!pSpace)
            return out + "<full>";
        const size_t cb = std::min({cbSpace, cbPerReceive, stream.size() - fed});
        std::memcpy(pSpace, stream.data() + fed, cb);
        buffer.Commit(cb);
        fed += cb;
    }
}

TEST(TlsReceiveBuffer, RecordsFedInPiecesOfEverySizeComeOutWhole)
{
    std::string stream, expected;
    for (const std::string& fragment : {std::string("first"), std::string(), std::string(3000, 'm'),
                                        std::string("\x00\x01\x02", 3), std::string(tls::kMaxFragmentSize, 'L')})
    {
        stream += Record(23, fragment);
        expected += fragment;
    }
    for (size_t cbPerReceive : {size_t(1), size_t(2), size_t(4), size_t(5), size_t(6), size_t(7), size_t(4099),
                                size_t(18000), size_t(1) << 20})
    {
        for (size_t cbPerTake : {size_t(1), size_t(1000), size_t(16384), size_t(1) << 20})
        {
            SCOPED_TRACE(testing::Message() << cbPerReceive << " per receive, " << cbPerTake << " per take");
            // The smallest buffer holds one record; a larger one many.
            for (size_t capacity : {size_t(0), size_t(256) * 1024})
                EXPECT_TRUE(Replay(stream, cbPerReceive, cbPerTake, capacity) == expected);
        }
    }
}

TEST(TlsReceiveBuffer, StreamEndingInsideARecordIsCut)
{
    const std::string stream = Record(23, "whole") + Record(23, "cut short").substr(0, 9);
    EXPECT_EQ(Replay(stream, 3, 100, 0), "whole<cut>");
    EXPECT_EQ(Replay(Record(23, "ok") + "GET / HTTP/1.0\r\n", 100, 100, 0), "ok<malformed>");
}

TEST(TlsReceiveBuffer, CapacityHoldsAtLeastTheLargestRecord)
{
    CTlsReceiveBuffer buffer(10);
    ASSERT_TRUE(buffer.Allocated());
    EXPECT_EQ(buffer.Capacity(), tls::kMaxRecordSize);
    size_t cbSpace = 0;
    EXPECT_NE(buffer.Space(&cbSpace), nullptr);
    EXPECT_EQ(cbSpace, tls::kMaxRecordSize);
    buffer.Commit(cbSpace + 100);
    EXPECT_EQ(buffer.Size(), tls::kMaxRecordSize);
    EXPECT_EQ(buffer.Space(&cbSpace), nullptr);
    EXPECT_EQ(cbSpace, 0u);
}

TEST(TlsReceiveBuffer, HeldBytesMoveToTheFrontOnlyWhileNoDecryptedDataWaits)
{
    CTlsReceiveBuffer buffer(0);
    size_t cbSpace = 0;
    char* pFront = buffer.Space(&cbSpace);
    const std::string stream = Record(23, "0123456789") + "\x17\x03";
    std::memcpy(pFront, stream.data(), stream.size());
    buffer.Commit(stream.size());
    buffer.Consume(15);
    ASSERT_TRUE(buffer.HoldPlaintext(pFront + 5, 10));

    // Decrypted data waits: the held "\x17\x03" stays where it is.
    EXPECT_EQ(buffer.Space(&cbSpace), pFront + stream.size());
    EXPECT_EQ(cbSpace, tls::kMaxRecordSize - stream.size());
    char out[10];
    EXPECT_EQ(buffer.TakePlaintext(out, sizeof(out)), 10u);
    EXPECT_EQ(std::string(out, 10), "0123456789");

    EXPECT_EQ(buffer.Space(&cbSpace), pFront + 2);
    EXPECT_EQ(std::string(buffer.Data(), buffer.Size()), "\x17\x03");
    EXPECT_EQ(buffer.Data(), pFront);
}

TEST(TlsReceiveBuffer, DecryptedDataMustLieInConsumedBytes)
{
    CTlsReceiveBuffer buffer(0);
    size_t cbSpace = 0;
    char* pFront = buffer.Space(&cbSpace);
    buffer.Commit(100);
    buffer.Consume(40);
    const char elsewhere[8] = {};
    const struct
    {
        const char* what;
        const char* p;
        size_t cb;
        bool bHeld;
    } cases[] = {
        {"consumed bytes", pFront + 10, 30, true},
        {"all consumed bytes", pFront, 40, true},
        {"nothing", elsewhere, 0, true},
        {"into held bytes", pFront + 10, 31, false},
        {"held bytes", pFront + 40, 5, false},
        {"outside", elsewhere, 8, false},
        {"before the buffer", pFront - 1, 2, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(buffer.HoldPlaintext(c.p, c.cb), c.bHeld);
        EXPECT_EQ(buffer.PlaintextSize(), c.bHeld ? c.cb : 0u);
    }
}

} // namespace
