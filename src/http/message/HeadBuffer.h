// The status line and header fields of an HTTP/1.1 response as they arrive:
// bytes are received into FreeSpace() and committed, lines are taken one by
// one, and what follows the empty line is the start of the body. Bounded:
// a head larger than kCapacity is never buffered whole, and a response whose
// head does not fit is refused by the caller. No sockets, no platform header.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace http {

class CHeadBuffer
{
public:
    // Room for the status line, 100 header lines of a few hundred bytes, and
    // the first body bytes that come with them.
    static constexpr size_t kCapacity = 64 * 1024;

    CHeadBuffer();
    CHeadBuffer(const CHeadBuffer&) = delete;
    CHeadBuffer& operator=(const CHeadBuffer&) = delete;

    bool IsAllocated() const { return m_pData != nullptr; }
    char* FreeSpace() { return m_pData.get() + m_cbBuffered; }
    size_t FreeCount() const { return m_pData ? kCapacity - m_cbBuffered : 0; }
    void Commit(size_t cb);

    // Takes the next complete line without its line end (CR LF, or a bare
    // LF that some servers send). False when no complete line is buffered.
    bool TakeLine(std::string* pLine);

    // Forgets everything buffered, for the next response on the connection.
    void Clear() { m_cbBuffered = m_cbTaken = 0; }

    // What is buffered after the lines taken so far: the body's first bytes
    // once the empty line was taken.
    const char* Rest() const { return m_pData.get() + m_cbTaken; }
    size_t RestCount() const { return m_cbBuffered - m_cbTaken; }

private:
    std::unique_ptr<char[]> m_pData;
    size_t m_cbBuffered = 0;
    size_t m_cbTaken = 0;
};

} // namespace http
