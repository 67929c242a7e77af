// Owners of the CryptoAPI and SSPI objects the TLS client holds: each is
// released here, in a destructor, and nowhere else.
#pragma once

#include <windows.h>

#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>

// A pointer-like CryptoAPI object released by one function. Release keeps
// its declared calling convention (WINAPI): a template argument of the right
// function pointer type cannot lose it on 32-bit builds.
template <typename T, typename ReleaseFn, ReleaseFn Release>
class CCryptOwner
{
public:
    CCryptOwner() = default;
    explicit CCryptOwner(T p) : m_p(p) {}
    ~CCryptOwner() { Reset(); }
    CCryptOwner(const CCryptOwner&) = delete;
    CCryptOwner& operator=(const CCryptOwner&) = delete;

    T Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For functions that hand out a new object through a T*.
    T* Receive()
    {
        Reset();
        return &m_p;
    }
    void Reset()
    {
        if (m_p)
            Release(m_p);
        m_p = nullptr;
    }

private:
    T m_p = nullptr;
};

using CCertContext = CCryptOwner<PCCERT_CONTEXT, BOOL(WINAPI*)(PCCERT_CONTEXT), CertFreeCertificateContext>;
using CChainContext = CCryptOwner<PCCERT_CHAIN_CONTEXT, VOID(WINAPI*)(PCCERT_CHAIN_CONTEXT), CertFreeCertificateChain>;

// A memory block that the security package allocated (ISC_REQ_ALLOCATE_MEMORY,
// context attributes): FreeContextBuffer.
class CContextBuffer
{
public:
    CContextBuffer() = default;
    ~CContextBuffer() { Reset(); }
    CContextBuffer(const CContextBuffer&) = delete;
    CContextBuffer& operator=(const CContextBuffer&) = delete;

    // Takes over what the package put into a buffer.
    void Adopt(void* p)
    {
        Reset();
        m_p = p;
    }
    void Reset()
    {
        if (m_p)
            FreeContextBuffer(m_p);
        m_p = nullptr;
    }

private:
    void* m_p = nullptr;
};

// A security context from InitializeSecurityContext.
class CSecurityContext
{
public:
    CSecurityContext() { SecInvalidateHandle(&m_handle); }
    ~CSecurityContext() { Reset(); }
    CSecurityContext(const CSecurityContext&) = delete;
    CSecurityContext& operator=(const CSecurityContext&) = delete;

    bool IsValid() const { return SecIsValidHandle(&m_handle); }
    CtxtHandle* Get() { return &m_handle; }
    void Reset()
    {
        if (IsValid())
            DeleteSecurityContext(&m_handle);
        SecInvalidateHandle(&m_handle);
    }

private:
    CtxtHandle m_handle;
};
