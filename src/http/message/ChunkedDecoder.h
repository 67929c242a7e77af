// Undoes the chunked transfer coding of an HTTP/1.1 response body as it
// arrives, in the receive buffer itself. The sizes and lines come from the
// server, so each is bounded; anything that does not frame cleanly stops
// the body rather than being guessed at. No platform header, so this also
// builds natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace http {

enum class ChunkState
{
    kNeedMore, // all input read, the body goes on
    kDone,     // the last chunk, the trailer and its empty line were read
    kError,    // the input is no chunked body; nothing more is read
};

// Reads:
//
//   *( size [white space] [";" extension] CR LF  data CR LF )
//   "0" [white space] [";" extension] CR LF  *( trailer field CR LF )  CR LF
//
// - size: hex digits in either case, leading zeros allowed, at most 16
//   significant digits (a size beyond 64 bits is an error);
// - a size line (size, white space, extension) holds at most
//   kMaxSizeLineLength bytes; extensions are skipped, they may hold no
//   control byte but tab;
// - every line ends with CR LF, never a bare LF: a body is framed the same
//   way by whatever reads it after this client, or not at all;
// - trailer fields are read and dropped: at most kMaxTrailerLines lines of
//   at most kMaxTrailerLineLength bytes, no control byte but tab.
//
// Any split of the input into Decode calls gives the same body and state.
class CChunkedDecoder
{
public:
    static constexpr size_t kMaxSizeLineLength = 4096;
    static constexpr size_t kMaxTrailerLines = 100;
    static constexpr size_t kMaxTrailerLineLength = 4096;

    // Reads the cbData bytes received at pData and moves the body bytes
    // among them to the front of pData (*pcbBody of them, in order).
    // *pcbConsumed is the number of input bytes read: all of them, except
    // on kDone, where the bytes after the final CR LF are left (they are no
    // part of the body). Once kDone or kError, later calls read nothing and
    // return the same state (consuming all bytes after kError).
    ChunkState Decode(char* pData, size_t cbData, size_t* pcbBody, size_t* pcbConsumed);

    ChunkState State() const;

private:
    enum class Step
    {
        kSize,         // hex digits of a chunk's size
        kSizeWhite,    // white space after the size
        kExtension,    // after ';', up to the line end
        kSizeLf,       // CR of a size line read
        kData,         // the chunk's data
        kDataCr,       // data read, its CR LF expected
        kDataLf,
        kTrailerStart, // start of a trailer field or of the final empty line
        kTrailer,      // in a trailer field
        kTrailerLf,
        kFinalLf,      // CR of the final empty line read
        kDone,
        kError,
    };

    // One byte of the framing (anything but chunk data).
    void ReadFramingByte(char c);
    // A byte of a size line before its CR: the size, white space, an
    // extension.
    void ReadSizeLineByte(char c);
    void ReadSizeByte(char c);
    // A byte of the trailer or of the final empty line.
    void ReadTrailerByte(char c);
    void StartSizeLine();

    Step m_step = Step::kSize;
    uint64_t m_cbChunk = 0; // the size as read so far, then the data bytes still to come
    size_t m_nSignificantDigits = 0;
    bool m_bHasDigit = false;
    size_t m_cchLine = 0; // bytes of the current size or trailer line
    size_t m_nTrailerLines = 0;
};

} // namespace http
