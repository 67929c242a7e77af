// CDiagLog: the trace file that the clients write while they work. Each entry
// is the entry text byte for byte, optionally after a UTC timestamp prefix;
// the log adds no line ending. A log that could not be opened stays in place
// and refuses every entry; no failure of the log reaches a transfer.
#pragma once

#include "AnsiString.h"
#include "LocalFile.h"

#include <string>

class CDiagLog final : public CLocalFile
{
public:
    // A null name gives "vexlogger.txt" in the current directory.
    // bKeepExisting keeps an existing file (entries go after its content)
    // and creates a missing one; false starts the file empty.
    CDiagLog(const char* pszFileName, bool bKeepExisting);
    // The same for a wide name, opened through the wide functions;
    // m_pszFileName holds its UTF-8 form.
    CDiagLog(const std::wstring& fileName, bool bKeepExisting);

    // True when the whole text was written. An empty or null text writes
    // nothing, not even the timestamp, and gives false.
    bool WriteEntry(const char* pszText, bool bTimestamp);

    long m_lError = 0;
    bool m_bOpened = false;
    CAnsiString m_pszFileName;
    long m_lOpenResult = -1;

private:
    // The result of the open, and on failure its reason (read at once).
    void NoteOpenResult(long lResult);
};
