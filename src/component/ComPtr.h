// Owner of one COM interface reference: released when the owner goes.
#pragma once

#include <unknwn.h>

template <typename T>
class CComPtr
{
public:
    CComPtr() = default;
    ~CComPtr() { Reset(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;

    // Takes a new reference to p (may be null) and drops the old one.
    void Assign(T* p)
    {
        if (p)
            p->AddRef();
        Reset();
        m_p = p;
    }
    void Reset()
    {
        T* p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    // For functions that hand out a new reference.
    T** Receive()
    {
        Reset();
        return &m_p;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
