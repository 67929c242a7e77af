// The diagnostic log against real files in a private temporary directory:
// where the log goes, how an entry looks on disk (timestamp prefix, text
// byte for byte, no added line end), appending to an existing log, and a log
// that cannot be opened.
#include "DiagLog.h"

#include "UtcClock.h"
#include "VexErrors.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <system_error>

namespace {

// Takes one timestamp prefix off the front of content and checks it: seven
// unpadded decimals in the layout "[y/m/d  h:m:s:ms] ", each in its range,
// naming a UTC time between before and after.
testing::AssertionResult TakePrefix(std::string& content, uint64_t before, uint64_t after)
{
    static const std::regex prefix(R"(^\[(\d+)/(\d+)/(\d+)  (\d+):(\d+):(\d+):(\d+)\] )");
    std::smatch match;
    if (!std::regex_search(content, match, prefix))
        return testing::AssertionFailure() << "no timestamp prefix at the start of: " << content;

    unsigned fields[7];
    for (size_t i = 0; i < 7; ++i)
    {
        const std::string text = match[i + 1].str();
        if (text.size() > 5)
            return testing::AssertionFailure() << "field " << i << " too long: " << text;
        fields[i] = static_cast<unsigned>(std::stoul(text));
        if (std::to_string(fields[i]) != text)
            return testing::AssertionFailure() << "field " << i << " is padded: " << text;
    }
    const unsigned limits[7] = {30827, 12, 31, 23, 59, 59, 999};
    for (size_t i = 0; i < 7; ++i)
    {
        if (fields[i] > limits[i] || ((i == 1 || i == 2) && fields[i] == 0))
            return testing::AssertionFailure() << "field " << i << " out of range: " << fields[i];
    }

    SYSTEMTIME stamp = {};
    stamp.wYear = static_cast<WORD>(fields[0]);
    stamp.wMonth = static_cast<WORD>(fields[1]);
    stamp.wDay = static_cast<WORD>(fields[2]);
    stamp.wHour = static_cast<WORD>(fields[3]);
    stamp.wMinute = static_cast<WORD>(fields[4]);
    stamp.wSecond = static_cast<WORD>(fields[5]);
    stamp.wMilliseconds = static_cast<WORD>(fields[6]);
    FILETIME ft;
    if (!SystemTimeToFileTime(&stamp, &ft))
        return testing::AssertionFailure() << "not a date: " << match[0].str();
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    if (ticks < before || ticks > after)
        return testing::AssertionFailure() << match[0].str() << " is not between the readings of the clock taken around the write";

    content.erase(0, static_cast<size_t>(match.length(0)));
    return testing::AssertionSuccess();
}


TEST(DiagLogOpening, DefaultNameIsInTheCurrentDirectory)
{
    CTempDir dir;
    {
        const CCurrentDirectory cwd(dir.Dir());
        CDiagLog log(nullptr, true);
        EXPECT_TRUE(log.m_bOpened);
        EXPECT_EQ(log.m_lOpenResult, 1);
        EXPECT_EQ(log.m_lError, 0);
        EXPECT_STREQ(log.m_pszFileName.Get(), "vexlogger.txt");
        EXPECT_TRUE(log.IsOpen());
        EXPECT_STREQ(log.m_szDirectory, "vexlogger.txt");
        EXPECT_STREQ(log.m_szFileName, "vexlogger.txt");
        EXPECT_TRUE(log.WriteEntry("first entry\n", false));
    }
    EXPECT_EQ(ReadWholeFile(dir.Path("vexlogger.txt")), "first entry\n");
}

TEST(DiagLogOpening, KeepsACopyOfTheGivenName)
{
    CTempDir dir;
    char szName[MAX_PATH];
    const std::string path = dir.Path("trace.txt");
    ASSERT_LT(path.size(), sizeof(szName));
    path.copy(szName, path.size());
    szName[path.size()] = '\0';

    CDiagLog log(szName, true);
    szName[0] = '\0';
    EXPECT_TRUE(log.m_bOpened);
    EXPECT_EQ(log.m_pszFileName.Get(), path);
    EXPECT_STREQ(log.m_szFileName, "trace.txt");
}

TEST(DiagLogOpening, KeepingAnExistingLogAppendsAfterItsContent)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    WriteWholeFile(path, "old entry\n");
    {
        CDiagLog log(path.c_str(), true);
        ASSERT_TRUE(log.m_bOpened);
        EXPECT_TRUE(log.WriteEntry("second\n", false));
    }
    {
        CDiagLog log(path.c_str(), true);
        ASSERT_TRUE(log.m_bOpened);
        EXPECT_TRUE(log.WriteEntry("third\n", false));
    }
    EXPECT_EQ(ReadWholeFile(path), "old entry\nsecond\nthird\n");
}

TEST(DiagLogOpening, KeepingCreatesAMissingLog)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    EXPECT_TRUE(log.m_bOpened);
    EXPECT_EQ(log.m_lOpenResult, 1);
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST(DiagLogOpening, StartingAfreshEmptiesAnExistingLog)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    WriteWholeFile(path, "old entry\n");
    CDiagLog log(path.c_str(), false);
    ASSERT_TRUE(log.m_bOpened);
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_TRUE(log.WriteEntry("new\n", false));
    EXPECT_EQ(ReadWholeFile(path), "new\n");
}

TEST(DiagLogOpening, LogThatCannotBeOpenedRefusesEveryEntry)
{
    CTempDir dir;
    const std::string path = dir.Path("missing\\trace.txt");
    for (bool bKeepExisting : {true, false})
    {
        CDiagLog log(path.c_str(), bKeepExisting);
        EXPECT_FALSE(log.m_bOpened);
        EXPECT_EQ(log.m_lOpenResult, -1);
        // Path not found (error 3) has no local file code of its own.
        EXPECT_EQ(log.m_lError, VEXFILE_UNKNOWN);
        EXPECT_EQ(log.m_pszFileName.Get(), path);
        EXPECT_FALSE(log.IsOpen());
        EXPECT_FALSE(log.WriteEntry("CVexFTP::Connect()\n", true));
        EXPECT_FALSE(log.WriteEntry("CVexFTP::Disconnect()\n", false));
        EXPECT_EQ(log.m_lError, VEXFILE_UNKNOWN);
    }
    EXPECT_FALSE(Exists(dir.Path("missing")));
}

TEST(DiagLogOpening, ClosesItsFileWhenDestroyed)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    {
        CDiagLog log(path.c_str(), true);
        ASSERT_TRUE(log.m_bOpened);
        // The log does not share deleting: while it lives the file stays.
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(DeleteFileA(path.c_str()));

    std::unique_ptr<CLocalFile> pFile(new CDiagLog(path.c_str(), true));
    ASSERT_TRUE(pFile->IsOpen());
    pFile.reset();
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(DiagLogEntries, TimestampPrefixIsUtcWithoutPadding)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    ASSERT_TRUE(log.m_bOpened);
    const uint64_t before = UtcNowTicks();
    EXPECT_TRUE(log.WriteEntry("CVexFTP::Connect( 127.0.0.1, user, {password}, 21)\n", true));
    const uint64_t after = UtcNowTicks();

    std::string content = ReadWholeFile(path);
    ASSERT_TRUE(TakePrefix(content, before, after));
    EXPECT_EQ(content, "CVexFTP::Connect( 127.0.0.1, user, {password}, 21)\n");
}

TEST(DiagLogEntries, TextWithoutLineFeedJoinsTheNextEntry)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    ASSERT_TRUE(log.m_bOpened);
    const uint64_t before = UtcNowTicks();
    EXPECT_TRUE(log.WriteEntry("CVexFTP::OpenDataChannelSOCKS5() returned true", true));
    EXPECT_TRUE(log.WriteEntry("next\n", true));
    const uint64_t after = UtcNowTicks();

    std::string content = ReadWholeFile(path);
    ASSERT_TRUE(TakePrefix(content, before, after));
    const std::string first = "CVexFTP::OpenDataChannelSOCKS5() returned true";
    ASSERT_EQ(content.substr(0, first.size()), first);
    content.erase(0, first.size());
    ASSERT_TRUE(TakePrefix(content, before, after));
    EXPECT_EQ(content, "next\n");
}

TEST(DiagLogEntries, TextIsWrittenByteForByte)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    ASSERT_TRUE(log.m_bOpened);
    const std::string text = "100% %s %n %x%% \t\x7f\xe9\r\n";
    const uint64_t before = UtcNowTicks();
    EXPECT_TRUE(log.WriteEntry(text.c_str(), true));
    const uint64_t after = UtcNowTicks();
    EXPECT_TRUE(log.WriteEntry(text.c_str(), false));

    std::string content = ReadWholeFile(path);
    ASSERT_TRUE(TakePrefix(content, before, after));
    EXPECT_EQ(content, text + text);
}

TEST(DiagLogEntries, LongestEntryIsWrittenWhole)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    ASSERT_TRUE(log.m_bOpened);
    const std::string text = std::string(1022, 'x') + "\n";
    EXPECT_TRUE(log.WriteEntry(text.c_str(), false));
    EXPECT_EQ(ReadWholeFile(path), text);
}

TEST(DiagLogEntries, EmptyTextWritesNothing)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog log(path.c_str(), true);
    ASSERT_TRUE(log.m_bOpened);
    for (bool bTimestamp : {true, false})
    {
        EXPECT_FALSE(log.WriteEntry("", bTimestamp));
        EXPECT_FALSE(log.WriteEntry(nullptr, bTimestamp));
    }
    EXPECT_EQ(log.m_lError, 0);
    EXPECT_TRUE(log.m_bOpened);
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST(DiagLogEntries, LogsSharingAFileKeepTheOrderOfEntries)
{
    CTempDir dir;
    const std::string path = dir.Path("trace.txt");
    CDiagLog first(path.c_str(), true);
    CDiagLog second(path.c_str(), true);
    ASSERT_TRUE(first.m_bOpened);
    ASSERT_TRUE(second.m_bOpened);
    EXPECT_TRUE(first.WriteEntry("one\n", false));
    EXPECT_TRUE(second.WriteEntry("two\n", false));
    EXPECT_TRUE(first.WriteEntry("three\n", false));
    EXPECT_EQ(ReadWholeFile(path), "one\ntwo\nthree\n");
}

} // namespace
