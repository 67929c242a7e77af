#include "TlsReceiveBuffer.h"

#include <cstring>
#include <new>

namespace tls {

Frame FrameRecord(const uint8_t* pData, size_t cbData, size_t* pcbRecord)
{
    *pcbRecord = 0;
    // The type and the version's major byte are known from the first two
    // bytes: garbage shows before a whole header has arrived.
    if (cbData >= 1 && (pData[0] < kContentChangeCipherSpec || pData[0] > kContentApplicationData))
        return Frame::kMalformed;
    if (cbData >= 2 && pData[1] != 3)
        return Frame::kMalformed;
    if (cbData < kRecordHeaderSize)
        return Frame::kIncomplete;
    const size_t cbFragment = static_cast<size_t>(pData[3]) << 8 | pData[4];
    if (cbFragment > kMaxFragmentSize)
        return Frame::kMalformed;
    if (cbData < kRecordHeaderSize + cbFragment)
        return Frame::kIncomplete;
    *pcbRecord = kRecordHeaderSize + cbFragment;
    return Frame::kComplete;
}

bool ServerHelloVersion(const uint8_t* pData, size_t cbData, uint16_t* pVersion)
{
    constexpr uint8_t kServerHello = 2;
    constexpr size_t kVersionAt = kRecordHeaderSize + 4;
    size_t cbRecord = 0;
    if (FrameRecord(pData, cbData, &cbRecord) == Frame::kMalformed || cbData < kVersionAt + 2 ||
        pData[0] != kContentHandshake || pData[kRecordHeaderSize] != kServerHello)
        return false;
    *pVersion = static_cast<uint16_t>(pData[kVersionAt] << 8 | pData[kVersionAt + 1]);
    return true;
}

CTlsReceiveBuffer::CTlsReceiveBuffer(size_t capacity)
{
    if (capacity < kMaxRecordSize)
        capacity = kMaxRecordSize;
    m_pBuffer.reset(new (std::nothrow) char[capacity]);
    m_cbCapacity = m_pBuffer ? capacity : 0;
}

char* CTlsReceiveBuffer::Space(size_t* pcbSpace)
{
    if (m_cbPlaintext == 0 && m_begin > 0)
    {
        std::memmove(m_pBuffer.get(), m_pBuffer.get() + m_begin, Size());
        m_end -= m_begin;
        m_begin = 0;
        m_plaintext = 0;
    }
    *pcbSpace = m_cbCapacity - m_end;
    return *pcbSpace > 0 ? m_pBuffer.get() + m_end : nullptr;
}

void CTlsReceiveBuffer::Commit(size_t cb)
{
    m_end += cb <= m_cbCapacity - m_end ? cb : m_cbCapacity - m_end;
}

void CTlsReceiveBuffer::Consume(size_t cb)
{
    m_begin += cb <= Size() ? cb : Size();
}

Frame CTlsReceiveBuffer::FirstRecord(size_t* pcbRecord) const
{
    return FrameRecord(reinterpret_cast<const uint8_t*>(Data()), Size(), pcbRecord);
}

uint8_t CTlsReceiveBuffer::FirstRecordType() const
{
    return Size() > 0 ? static_cast<uint8_t>(Data()[0]) : 0;
}

bool CTlsReceiveBuffer::HoldPlaintext(const char* p, size_t cb)
{
    m_plaintext = 0;
    m_cbPlaintext = 0;
    // As addresses: p may come from anywhere.
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_pBuffer.get());
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    if (cb == 0 || base == 0 || at < base || at - base > m_begin || cb > m_begin - (at - base))
        return cb == 0;
    m_plaintext = at - base;
    m_cbPlaintext = cb;
    return true;
}

size_t CTlsReceiveBuffer::TakePlaintext(char* pOut, size_t cbOut)
{
    const size_t cb = cbOut < m_cbPlaintext ? cbOut : m_cbPlaintext;
    if (cb > 0)
        std::memcpy(pOut, m_pBuffer.get() + m_plaintext, cb);
    m_plaintext += cb;
    m_cbPlaintext -= cb;
    return cb;
}

void CTlsReceiveBuffer::Clear()
{
    m_begin = m_end = 0;
    m_plaintext = m_cbPlaintext = 0;
}

} // namespace tls
