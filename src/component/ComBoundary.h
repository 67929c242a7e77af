// The edge between the host and the control. A host's frames (a script
// engine, VB6's runtime, a Delphi or C program) cannot take a C++
// exception: one that unwound into them would end the host. So every COM
// method whose body is more than the return of a constant runs that body
// here, and an exception comes back as the HRESULT that says what it was.
#pragma once

#include <windows.h>

#include <new>

template <typename Body>
HRESULT ComBoundary(Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_FAIL;
    }
}

// The same, and interrupted() (which must not throw) runs when an exception
// broke the body off: a fetch records then that it failed.
template <typename Body, typename Interrupted>
HRESULT ComBoundary(Body&& body, Interrupted&& interrupted) noexcept
{
    try
    {
        return body();
    }
    catch (const std::bad_alloc&)
    {
        interrupted();
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        interrupted();
        return E_FAIL;
    }
}
