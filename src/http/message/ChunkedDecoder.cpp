#include "ChunkedDecoder.h"

#include "Ascii.h"

#include <cstring>

namespace http {
namespace {

constexpr size_t kMaxSignificantDigits = 16; // 64 bits

bool IsWhite(char c)
{
    return c == ' ' || c == '\t';
}

// Bytes a size line's extension or a trailer field may not hold.
bool IsForbiddenControl(char c)
{
    return ascii::IsControl(c) && c != '\t';
}

} // namespace

ChunkState CChunkedDecoder::State() const
{
    if (m_step == Step::kDone)
        return ChunkState::kDone;
    if (m_step == Step::kError)
        return ChunkState::kError;
    return ChunkState::kNeedMore;
}

void CChunkedDecoder::StartSizeLine()
{
    m_step = Step::kSize;
    m_cbChunk = 0;
    m_nSignificantDigits = 0;
    m_bHasDigit = false;
    m_cchLine = 0;
}

ChunkState CChunkedDecoder::Decode(char* pData, size_t cbData, size_t* pcbBody, size_t* pcbConsumed)
{
    size_t cbBodyIgnored = 0;
    size_t cbConsumedIgnored = 0;
    if (!pcbBody)
        pcbBody = &cbBodyIgnored;
    if (!pcbConsumed)
        pcbConsumed = &cbConsumedIgnored;
    *pcbBody = 0;
    *pcbConsumed = m_step == Step::kError ? cbData : 0;
    if (m_step == Step::kDone || m_step == Step::kError || !pData)
        return State();

    // Body bytes are written at cbBody, never after the read position, so
    // moving them forward within the same buffer is safe.
    size_t cbBody = 0;
    size_t pos = 0;
    while (pos < cbData && m_step != Step::kDone && m_step != Step::kError)
    {
        if (m_step == Step::kData)
        {
            const size_t cbAvailable = cbData - pos;
            const size_t cb = m_cbChunk < cbAvailable ? static_cast<size_t>(m_cbChunk) : cbAvailable;
            std::memmove(pData + cbBody, pData + pos, cb);
            cbBody += cb;
            pos += cb;
            m_cbChunk -= cb;
            if (m_cbChunk == 0)
                m_step = Step::kDataCr;
            continue;
        }
        ReadFramingByte(pData[pos++]);
    }
    *pcbBody = cbBody;
    *pcbConsumed = m_step == Step::kError ? cbData : pos;
    return State();
}

void CChunkedDecoder::ReadFramingByte(char c)
{
    switch (m_step)
    {
    case Step::kSize:
    case Step::kSizeWhite:
    case Step::kExtension:
        ReadSizeLineByte(c);
        // Still on the size line: the CR that ends it is not counted.
        if (m_step != Step::kSizeLf && m_step != Step::kError && ++m_cchLine > kMaxSizeLineLength)
            m_step = Step::kError;
        return;
    case Step::kSizeLf:
        if (c != '\n')
            m_step = Step::kError;
        else
            m_step = m_cbChunk == 0 ? Step::kTrailerStart : Step::kData;
        return;
    case Step::kDataCr:
        m_step = c == '\r' ? Step::kDataLf : Step::kError;
        return;
    case Step::kDataLf:
        if (c == '\n')
            StartSizeLine();
        else
            m_step = Step::kError;
        return;
    case Step::kTrailerStart:
    case Step::kTrailer:
    case Step::kTrailerLf:
    case Step::kFinalLf:
        ReadTrailerByte(c);
        return;
    case Step::kData:
    case Step::kDone:
    case Step::kError:
        return;
    }
}

void CChunkedDecoder::ReadSizeLineByte(char c)
{
    if (m_step == Step::kSize)
    {
        ReadSizeByte(c);
    }
    else if (m_step == Step::kSizeWhite)
    {
        if (c == ';')
            m_step = Step::kExtension;
        else if (c == '\r')
            m_step = Step::kSizeLf;
        else if (!IsWhite(c))
            m_step = Step::kError;
    }
    else if (c == '\r')
    {
        m_step = Step::kSizeLf;
    }
    else if (IsForbiddenControl(c))
    {
        m_step = Step::kError;
    }
}

void CChunkedDecoder::ReadSizeByte(char c)
{
    const int digit = ascii::HexValue(c);
    if (digit >= 0)
    {
        m_bHasDigit = true;
        if (m_cbChunk == 0 && digit == 0)
            return;
        if (++m_nSignificantDigits > kMaxSignificantDigits)
            m_step = Step::kError;
        else
            m_cbChunk = m_cbChunk << 4 | static_cast<uint64_t>(digit);
        return;
    }
    if (!m_bHasDigit)
        m_step = Step::kError;
    else if (IsWhite(c))
        m_step = Step::kSizeWhite;
    else if (c == ';')
        m_step = Step::kExtension;
    else if (c == '\r')
        m_step = Step::kSizeLf;
    else
        m_step = Step::kError;
}

void CChunkedDecoder::ReadTrailerByte(char c)
{
    switch (m_step)
    {
    case Step::kTrailerStart:
        if (c == '\r')
        {
            m_step = Step::kFinalLf;
            return;
        }
        if (++m_nTrailerLines > kMaxTrailerLines)
        {
            m_step = Step::kError;
            return;
        }
        m_cchLine = 0;
        m_step = Step::kTrailer;
        ReadTrailerByte(c);
        return;
    case Step::kTrailer:
        if (c == '\r')
            m_step = Step::kTrailerLf;
        else if (IsForbiddenControl(c) || ++m_cchLine > kMaxTrailerLineLength)
            m_step = Step::kError;
        return;
    case Step::kTrailerLf:
        m_step = c == '\n' ? Step::kTrailerStart : Step::kError;
        return;
    case Step::kFinalLf:
        m_step = c == '\n' ? Step::kDone : Step::kError;
        return;
    default:
        return;
    }
}

} // namespace http
