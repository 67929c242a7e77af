// The bookkeeping of what a TLS client receives: encrypted bytes in one
// bounded buffer, cut into records, and the decrypted data of the last record
// that did not fit the caller's buffer. No socket and no platform header: the
// channel receives into Space(), the security package decrypts in place, and
// this class says which bytes are which.
//
// Every TLS record starts with a five-byte header:
//
//   +------+---------+---------+-------------------------------+
//   | type | version | length  | fragment (length bytes)       |
//   |  1   | 2       | 2, BE   | at most 16384 + 2048          |
//   +------+---------+---------+-------------------------------+
//
// Layout of the buffer:
//
//   0        plaintext          begin           end           capacity
//   | used   | decrypted, waiting | encrypted, held | free        |
//
// The decrypted data always lies in bytes already consumed (the package
// decrypts a record where it stands), so nothing moves while any waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tls {

constexpr size_t kRecordHeaderSize = 5;
// The largest fragment a peer may send in any TLS version: 2^14 bytes of
// data plus 2048 bytes of expansion (TLS 1.2; TLS 1.3 allows 256).
constexpr size_t kMaxFragmentSize = 16384 + 2048;
constexpr size_t kMaxRecordSize = kRecordHeaderSize + kMaxFragmentSize;

// Record content types.
constexpr uint8_t kContentChangeCipherSpec = 20;
constexpr uint8_t kContentAlert = 21;
constexpr uint8_t kContentHandshake = 22;
constexpr uint8_t kContentApplicationData = 23;

enum class Frame
{
    kIncomplete, // fewer bytes held than the first record needs
    kComplete,   // the first record is held whole
    kMalformed,  // the first bytes are no TLS record header
};

// What the held bytes begin with.
Frame FrameRecord(const uint8_t* pData, size_t cbData, size_t* pcbRecord);

// The version a server chose in the ServerHello that the bytes begin with,
// if they do (TLS 1.2 is 0x0303; TLS 1.3 names 0x0303 here too):
//
//   record header      handshake header           ServerHello
//   22 | 3 x | len(2)  2 (server_hello) | len(3)  version(2) | random ...
bool ServerHelloVersion(const uint8_t* pData, size_t cbData, uint16_t* pVersion);

class CTlsReceiveBuffer
{
public:
    // capacity is raised to kMaxRecordSize at least. Allocation failure
    // leaves an object whose Allocated() is false.
    explicit CTlsReceiveBuffer(size_t capacity);
    CTlsReceiveBuffer(const CTlsReceiveBuffer&) = delete;
    CTlsReceiveBuffer& operator=(const CTlsReceiveBuffer&) = delete;

    bool Allocated() const { return m_pBuffer != nullptr; }
    size_t Capacity() const { return m_cbCapacity; }

    // Encrypted bytes received and not yet consumed.
    char* Data() { return m_pBuffer.get() + m_begin; }
    const char* Data() const { return m_pBuffer.get() + m_begin; }
    size_t Size() const { return m_end - m_begin; }

    // Room for the next receive, right after the held bytes. The held bytes
    // move to the front first, unless decrypted data is waiting. Null with
    // *pcbSpace 0 when there is no room.
    char* Space(size_t* pcbSpace);
    // cb bytes were received into Space().
    void Commit(size_t cb);
    // The first cb held bytes are used up (at most Size()).
    void Consume(size_t cb);
    // The first held record.
    Frame FirstRecord(size_t* pcbRecord) const;
    uint8_t FirstRecordType() const;

    // Decrypted bytes at p that the caller has not taken yet. They must lie
    // in the consumed part of the buffer; false (and nothing held) if not.
    bool HoldPlaintext(const char* p, size_t cb);
    // Copies up to cbOut waiting decrypted bytes; returns how many.
    size_t TakePlaintext(char* pOut, size_t cbOut);
    size_t PlaintextSize() const { return m_cbPlaintext; }

    // Forgets everything held.
    void Clear();

private:
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_cbCapacity = 0;
    size_t m_begin = 0;
    size_t m_end = 0;
    size_t m_plaintext = 0;
    size_t m_cbPlaintext = 0;
};

} // namespace tls
