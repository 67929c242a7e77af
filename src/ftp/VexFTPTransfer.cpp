// CVexFTP transfers: one whole file retrieved (RETR) or stored (STOR).
#include "VexFTP.h"

#include "BlockProgress.h"
#include "LocalFile.h"
#include "TraceText.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "WideText.h"

#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr size_t kCommandSize = 1024;
constexpr size_t kSizeCommandSize = 512;


long RefusalDetail(int replyCode)
{
    switch (replyCode)
    {
    case 532: return VEXDET_ACCOUNT_NEEDED;
    case 550: return VEXDET_NOT_FOUND;
    case 552: return VEXDET_STORAGE_EXCEEDED;
    case 553: return VEXDET_NAME_NOT_ALLOWED;
    default: return VEXDET_UNEXPECTED;
    }
}

} // namespace

bool CVexFTP::GetRemoteSize(const char* pszRemote, uint64_t* pSize)
{
    *pSize = 0;
    char command[kSizeCommandSize] = {};
    if (!FormatCommand(command, sizeof(command), "SIZE", pszRemote) || !PutMessage(command))
        return false;
    CAnsiString reply;
    if (!GetMessage(reply) || ftp::ReplyCode(reply.Get()) / 100 != 2)
        return false;
    *pSize = ftp::ParseSizeReply(reply.Get());
    return true;
}

bool CVexFTP::MoveFile(const char* pszRemote, const char* pszLocal, bool bImageType, bool bDownload, bool bPassive)
{
    return MoveFile(pszRemote, pszLocal ? AnsiToWide(pszLocal).c_str() : nullptr, bImageType, bDownload, bPassive);
}

bool CVexFTP::MoveFile(const char* pszRemote, const wchar_t* pwszLocal, bool bImageType, bool bDownload, bool bPassive)
{
    std::unique_ptr<VEXSOCK> data(new (std::nothrow) VEXSOCK(false));
    if (!data)
        return false;
    data->AttachWatch(Watch());
    CFtpStream stream(*data);
    LogFormat("CVexFTP::MoveFile( %s,%s,%s,%s,%s )\n", pszRemote, WideToUtf8(pwszLocal).c_str(), TrueFalse(bImageType),
              TrueFalse(bDownload), TrueFalse(bPassive));

    uint64_t cbFile = 0;
    bool bSizeKnown = true;
    if (bDownload)
    {
        // A server without SIZE leaves the size unknown; the transfer goes on.
        bSizeKnown = GetRemoteSize(pszRemote, &cbFile);
    }
    else
    {
        CLocalFile source;
        source.Open(pwszLocal, false, true);
        cbFile = source.GetSize64();
    }

    char address[ftp::kPassiveAddressSize] = {};
    uint32_t passivePort = 0;
    char command[kCommandSize] = {};
    bool bReady = false;
    std::snprintf(command, sizeof(command), "TYPE %s%s", bImageType ? "I" : "A", kLineEnd);
    if (!SendCommand(command, 200))
    {
        if (m_lLastError == VEXERR_FTP)
            m_lLastErrorEx = VEXDET_UNEXPECTED;
    }
    else if (OpenDataChannel(*data, bPassive, address, &passivePort) &&
             FormatCommand(command, sizeof(command), bDownload ? "RETR" : "STOR", pszRemote) &&
             PutMessage(command))
    {
        // Connect the passive data connection before waiting for the 1xx
        // reply: many servers send it only once the connection is there.
        const bool bConnected = !bPassive || CompleteDataChannel(*data, true, address, passivePort);
        if (bConnected && !FTPResponse(1))
        {
            if (m_lLastError == VEXERR_FTP)
                m_lLastErrorEx = RefusalDetail(m_nReplyCode);
        }
        else if (bConnected)
        {
            bReady = bPassive || CompleteDataChannel(*data, false, address, passivePort);
        }
    }
    const bool bDataTlsFailed = bReady && m_bProtectData && !StartDataTls(*data, stream);
    if (bDataTlsFailed)
    {
        bReady = false;
        data->Close();
        ExplainDataTlsFailure();
    }
    if (!bReady)
    {
        LogWithErrors("CVexFTP::MoveFile() Error Exit. nWritten: %u  filesize: %llu", 0u, static_cast<unsigned long long>(cbFile));
        data->Close();
        return false;
    }

    if (bDownload)
        BodyStarted(bSizeKnown ? static_cast<int64_t>(cbFile) : -1);
    const uint64_t cbWritten = bDownload ? GetFile(pszRemote, pwszLocal, stream, cbFile)
                                         : PutFile(pszRemote, pwszLocal, stream, cbFile);
    const bool bCut = m_lLastError == 0 && bDownload && !stream.ClosedByServer();
    // For a store, closing the data connection (after close_notify) is what
    // ends the file.
    stream.EndTls();
    data->Close();
    if (m_lLastError == 0)
    {
        ReadCompletion(bCut);
    }
    else if (QueryAbort())
    {
        SetError(VEXERR_ABORTED, VEXDET_ABORTED);
    }
    NotifyProgress(cbFile, cbWritten);
    PumpMessages();
    LogWithErrors("CVexFTP::MoveFile() Normal Exit. nWritten: %llu  filesize: %llu", static_cast<unsigned long long>(cbWritten), static_cast<unsigned long long>(cbFile));
    return m_lLastError == 0;
}

void CVexFTP::ReadCompletion(bool bCut)
{
    if (!FTPResponse(2))
    {
        if (m_lLastError == VEXERR_FTP)
            m_lLastErrorEx =
                m_nReplyCode == ftp::kDataTlsRefused ? VEXDET_FTP_DATA_TLS_REFUSED : VEXDET_PORT_OR_COMPLETION;
    }
    else if (bCut)
    {
        // The server reports the file sent, but its end did not come
        // through TLS: whoever closed the connection may have cut it short.
        SetError(VEXERR_FTP, VEXDET_FTP_DATA_CUT);
    }
}

uint64_t CVexFTP::GetFile(const char* pszRemote, const wchar_t* pwszLocal, CFtpStream& data, uint64_t cbExpected)
{
    std::unique_ptr<CLocalFile> file(new (std::nothrow) CLocalFile);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kTransferBlockSize]);
    if (!file || !block)
    {
        SetError(VEXERR_LOCALFILE, VEXERR_ABORTED);
        return 0;
    }
    LogFormat("CVexFTP::GetFile( \"%s\", \"%s\", VEXSOCK, %llu )\n", pszRemote, WideToUtf8(pwszLocal).c_str(),
              static_cast<unsigned long long>(cbExpected));
    NotifyStart(cbExpected);

    uint64_t cbTotal = 0;
    if (file->Open(pwszLocal, true, false) == -1)
    {
        SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
    }
    else
    {
        SetError(0, 0);
        CBlockProgress progress(*this, cbExpected);
        const CopyEnd end = CopyBlocks(
            block.get(), kTransferBlockSize, progress, &cbTotal,
            [&](char* pBlock, int cb) { return data.Receive(pBlock, cb); },
            [&](const char* pBlock, int cb) {
                if (file->Write(pBlock, cb) != cb)
                    return false;
                BodyWritten(pBlock, static_cast<size_t>(cb));
                return true;
            });
        const bool bLocalFailure = end == CopyEnd::kWriteFailed;
        if (end == CopyEnd::kReadFailed)
            CopyErrorFrom(data);
        else if (bLocalFailure)
            SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
        else if (end == CopyEnd::kAborted)
            SetError(VEXERR_ABORTED, VEXDET_ABORTED);
        if (bLocalFailure)
        {
            cbTotal = 0;
        }
        else
        {
            NotifyProgress(cbExpected, cbTotal);
            PumpMessages();
        }
        file->Close();
    }
    LogWithErrors("CVexFTP::GetFile() Returned:%llu.", static_cast<unsigned long long>(cbTotal));
    return cbTotal;
}

uint64_t CVexFTP::PutFile(const char* pszRemote, const wchar_t* pwszLocal, CFtpStream& data, uint64_t cbExpected)
{
    std::unique_ptr<CLocalFile> file(new (std::nothrow) CLocalFile);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kTransferBlockSize]);
    if (!file || !block)
    {
        SetError(VEXERR_LOCALFILE, VEXERR_ABORTED);
        return 0;
    }
    LogFormat("CVexFTP::PutFile( %s,%s,VEXSOCK,%llu )\n", pszRemote, WideToUtf8(pwszLocal).c_str(),
              static_cast<unsigned long long>(cbExpected));

    uint64_t cbTotal = 0;
    if (file->Open(pwszLocal, false, true) == -1)
    {
        SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
    }
    else
    {
        cbExpected = file->GetSize64();
        NotifyStart(cbExpected);
        SetError(0, 0);
        CBlockProgress progress(*this, cbExpected);
        const CopyEnd end = CopyBlocks(
            block.get(), kTransferBlockSize, progress, &cbTotal,
            [&](char* pBlock, int cb) { return file->Read(pBlock, cb); },
            [&](const char* pBlock, int cb) { return data.SendAll(pBlock, cb) != -1; });
        const bool bFailed = end == CopyEnd::kReadFailed || end == CopyEnd::kWriteFailed;
        if (end == CopyEnd::kReadFailed)
            SetError(VEXERR_LOCALFILE, CLocalFile::MapLastError());
        else if (end == CopyEnd::kWriteFailed)
            CopyErrorFrom(data);
        else if (end == CopyEnd::kAborted)
            SetError(VEXERR_ABORTED, VEXDET_ABORTED);
        if (bFailed)
        {
            cbTotal = 0;
        }
        else
        {
            NotifyProgress(cbExpected, cbTotal);
            PumpMessages();
        }
        file->Close();
    }
    LogWithErrors("CVexFTP::PutFile() Returned:%llu.", static_cast<unsigned long long>(cbTotal));
    return cbTotal;
}
