// Where an HTTP/1.1 response body ends, decided from its header fields and
// applied to the bytes as they arrive: exactly Content-Length bytes, a
// chunked body up to its last chunk, or everything until the server closes.
// No sockets, no platform header.
#pragma once

#include "ChunkedDecoder.h"
#include "Http11Messages.h"

#include <cstddef>
#include <cstdint>

namespace http {

enum class BodyState
{
    kMore,       // the body goes on
    kComplete,   // the body ended with these bytes; any after it are not the body's
    kBadFraming, // a chunk that cannot be read
};

class CBodyFraming
{
public:
    explicit CBodyFraming(const CResponseHeaders& headers);

    // False for a response whose framing two readers could disagree on
    // (conflicting lengths) or that is coded in a way not undone here.
    bool IsUsable() const { return m_bUsable; }
    // The announced length, 0 when there is none (for progress only).
    uint64_t ExpectedLength() const { return m_mode == Mode::kLength ? m_cbRemaining + m_cbTaken : 0; }
    bool HasLength() const { return m_mode == Mode::kLength; }

    // Takes cbData received bytes in place: the body's bytes among them are
    // moved to the front, *pcbBody of them.
    BodyState Take(char* pData, size_t cbData, size_t* pcbBody);
    // Whether the body ends where the server closes the connection.
    bool EndsAtClose() const { return m_mode == Mode::kUntilClose; }
    // The server closed the connection: true when that completes the body
    // (a close-framed body, or one whose end already came).
    bool CompleteAtClose() const;

private:
    enum class Mode
    {
        kLength,
        kChunked,
        kUntilClose,
    };

    Mode m_mode = Mode::kUntilClose;
    bool m_bUsable = true;
    bool m_bComplete = false;
    uint64_t m_cbRemaining = 0;
    uint64_t m_cbTaken = 0;
    CChunkedDecoder m_chunks;
};

} // namespace http
