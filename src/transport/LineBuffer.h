// Received bytes waiting to be taken as lines (FTP replies, HTTP status and
// header lines). A fixed 1024-byte block; at most 1023 bytes are ever
// buffered, and every byte after them is zero, so the content is always
// terminated. No sockets here: the reader receives into FreeSpace() and
// commits.
#pragma once

#include <cstddef>

class CLineBuffer
{
public:
    static constexpr int kBlockSize = 1024;
    static constexpr int kMaxBuffered = kBlockSize - 1;

    CLineBuffer();
    ~CLineBuffer();
    CLineBuffer(const CLineBuffer&) = delete;
    CLineBuffer& operator=(const CLineBuffer&) = delete;

    bool IsAllocated() const { return m_pBuffer != nullptr; }
    int Buffered() const { return m_nBuffered; }
    const char* Data() const { return m_pBuffer; }
    char* FreeSpace() { return m_pBuffer + m_nBuffered; }
    int FreeCount() const { return kMaxBuffered - m_nBuffered; }
    void Commit(int cb);

    bool HasLine() const;
    bool IsFull() const { return m_nBuffered == kMaxBuffered; }

    // The peer closed the connection: nothing more will arrive.
    void MarkPeerClosed() { m_bPeerClosed = true; }
    bool PeerClosed() const { return m_bPeerClosed; }

    // Takes the first complete line: copies the characters before its line
    // feed to line, with the character just before the line feed (the CR of
    // a CR LF line) replaced by the terminator, and removes the line and its
    // line feed. Returns the number of characters before the line feed, or
    // -1 when no complete line is buffered.
    int TakeLine(char (&line)[kBlockSize]);

private:
    int m_nBuffered = 0;
    char* m_pBuffer;
    bool m_bPeerClosed = false;
};
