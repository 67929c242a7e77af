// The trace log operations of VEXSOCK.
#include "VexSock.h"

#include "DiagLog.h"
#include "TraceText.h"

#include <cstdarg>
#include <cstdio>
#include <new>

void VEXSOCK::ReleaseLog()
{
    if (!m_bLogBorrowed)
        delete m_pLog;
    m_pLog = nullptr;
}

void VEXSOCK::EnableLog(const char* pszFileName)
{
    ReleaseLog();
    m_pLog = new (std::nothrow) CDiagLog(pszFileName, true);
    m_bLogBorrowed = false;
    m_bLogging = true;
}

void VEXSOCK::AttachLog(CDiagLog* pLog)
{
    ReleaseLog();
    m_pLog = pLog;
    m_bLogBorrowed = true;
    m_bLogging = true;
}

void VEXSOCK::Log(const char* pszText, bool bTimestamp)
{
    if (m_bLogging && m_pLog)
        m_pLog->WriteEntry(pszText, bTimestamp);
}

void VEXSOCK::LogFormat(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    LogEntryV(pszFormat, args, false);
    va_end(args);
}

void VEXSOCK::LogReturned(const char* pszStep, bool bResult)
{
    LogFormat("%s returned %s. m_lLastError: %ld m_lLastErrorEx: %ld\n", pszStep, TrueFalse(bResult), m_lLastError,
              m_lLastErrorEx);
}

void VEXSOCK::LogWithErrors(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    LogEntryV(pszFormat, args, true);
    va_end(args);
}

void VEXSOCK::LogEntryV(const char* pszFormat, va_list args, bool bWithErrors)
{
    if (!m_bLogging || !m_pLog)
        return;
    char text[1024];
    if (std::vsnprintf(text, sizeof(text), pszFormat, args) < 0)
        return;
    if (bWithErrors)
        LogFormat("%s m_lLastError: %ld m_lLastErrorEx: %ld\n", text, m_lLastError, m_lLastErrorEx);
    else
        Log(text, true);
}
