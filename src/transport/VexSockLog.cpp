// The trace log operations of VEXSOCK.
#include "VexSock.h"

#include "DiagLog.h"

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
    if (!m_bLogging || !m_pLog)
        return;
    char text[1024];
    va_list args;
    va_start(args, pszFormat);
    const int cch = std::vsnprintf(text, sizeof(text), pszFormat, args);
    va_end(args);
    if (cch >= 0)
        Log(text, true);
}
