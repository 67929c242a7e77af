// Local file access against real files in a private temporary directory:
// open modes and share modes, the names recorded by an open, the mapping of
// system errors, and what a closed object refuses to do.
#include "LocalFile.h"

#include "VexErrors.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace {

// Bit 29 marks application-defined error codes: the system never sets one.
constexpr DWORD kSentinel = 0x2000A5A5;

TEST(LocalFileConstruction, StartsClosedWithEmptyNames)
{
    CLocalFile file;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.m_bOpen);
    EXPECT_EQ(file.m_hFile, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(file.m_szDirectory, "");
    EXPECT_STREQ(file.m_szFileName, "");
    EXPECT_STREQ(file.ShortName(), "");
}

TEST(LocalFileClosed, ReadWriteAndGetSizeFailWithoutASystemCall)
{
    CTempDir dir;
    CLocalFile never;
    CLocalFile closedAgain;
    ASSERT_EQ(closedAgain.Open(dir.Path("data.bin").c_str(), true, false), 1);
    closedAgain.Close();

    for (CLocalFile* pFile : {&never, &closedAgain})
    {
        char buffer[8] = "abcdefg";
        SetLastError(kSentinel);
        EXPECT_EQ(pFile->Read(buffer, sizeof(buffer)), -1);
        EXPECT_EQ(pFile->Write(buffer, sizeof(buffer)), -1);
        EXPECT_EQ(pFile->GetSize(), 0xFFFFFFFFu);
        EXPECT_EQ(GetLastError(), kSentinel);
        EXPECT_STREQ(buffer, "abcdefg");
    }
    EXPECT_EQ(ReadWholeFile(dir.Path("data.bin")), "");
}

TEST(LocalFileClosed, NegativeCountFailsWithoutASystemCall)
{
    CTempDir dir;
    CLocalFile file;
    ASSERT_EQ(file.Open(dir.Path("data.bin").c_str(), true, false), 1);
    char buffer[4] = {};
    SetLastError(kSentinel);
    EXPECT_EQ(file.Read(buffer, -1), -1);
    EXPECT_EQ(file.Write(buffer, -1), -1);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_TRUE(file.IsOpen());
}

TEST(LocalFileClosed, CloseTwiceIsHarmlessAndKeepsTheNames)
{
    CTempDir dir;
    const std::string path = dir.Path("twice.txt");
    CLocalFile file;
    ASSERT_EQ(file.Open(path.c_str(), true, false), 1);
    file.Close();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_hFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.m_szDirectory, dir.Dir() + "\\");
    EXPECT_STREQ(file.m_szFileName, "twice.txt");
    EXPECT_STREQ(file.ShortName(), "twice.txt");
    // Really closed: the file can be opened for writing again.
    CLocalFile other;
    EXPECT_EQ(other.Open(path.c_str(), true, false), 1);
}

TEST(LocalFileOpenFailure, ReadOnlyOnAMissingFileIsNotFound)
{
    CTempDir dir;
    const std::string path = dir.Path("missing.txt");
    CLocalFile file;
    SetLastError(kSentinel);
    EXPECT_EQ(file.Open(path.c_str(), false, true), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_NOT_FOUND);
    EXPECT_EQ(VEXFILE_NOT_FOUND, -304);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_hFile, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(file.m_szDirectory, "");
    EXPECT_STREQ(file.m_szFileName, "");
    EXPECT_FALSE(Exists(path));
}

TEST(LocalFileOpenFailure, MissingDirectoryIsAnUnknownError)
{
    CTempDir dir;
    const std::string path = dir.Path("missing\\target.txt");
    for (bool bTruncate : {true, false})
    {
        CLocalFile file;
        SetLastError(kSentinel);
        EXPECT_EQ(file.Open(path.c_str(), bTruncate, false), -1);
        // Path not found has no code of its own.
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_UNKNOWN);
        EXPECT_EQ(VEXFILE_UNKNOWN, -308);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_FALSE(Exists(dir.Path("missing")));
}

TEST(LocalFileOpenFailure, WritingADirectoryIsAccessDenied)
{
    CTempDir dir;
    CLocalFile file;
    SetLastError(kSentinel);
    EXPECT_EQ(file.Open(dir.Dir().c_str(), false, false), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_ACCESS_DENIED);
    EXPECT_EQ(VEXFILE_ACCESS_DENIED, -305);
    EXPECT_FALSE(file.IsOpen());
}

// Wine lets root open a file with the read-only attribute for writing, so
// refused access is produced here with a directory and a read-only handle.
TEST(LocalFileOpenFailure, WritingThroughAReadOnlyOpenIsAccessDenied)
{
    CTempDir dir;
    const std::string path = dir.Path("source.txt");
    WriteWholeFile(path, "abc");
    CLocalFile file;
    ASSERT_EQ(file.Open(path.c_str(), false, true), 1);
    SetLastError(kSentinel);
    EXPECT_EQ(file.Write("xyz", 3), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_ACCESS_DENIED);
    EXPECT_TRUE(file.IsOpen());
    file.Close();
    EXPECT_EQ(ReadWholeFile(path), "abc");
}

TEST(LocalFileOpenFailure, WriterIsShutOutWhileTheEngineHoldsTheFile)
{
    CTempDir dir;
    const std::string path = dir.Path("held.txt");
    WriteWholeFile(path, "keep me");
    CLocalFile holder;
    ASSERT_EQ(holder.Open(path.c_str(), false, true), 1);

    CLocalFile reader;
    EXPECT_EQ(reader.Open(path.c_str(), false, true), 1);

    for (bool bTruncate : {true, false})
    {
        for (bool bShared : {false, true})
        {
            CLocalFile writer;
            SetLastError(kSentinel);
            const long lResult = bShared ? writer.OpenShared(path.c_str(), bTruncate, false)
                                         : writer.Open(path.c_str(), bTruncate, false);
            EXPECT_EQ(lResult, -1);
            // A share conflict is no refused access: it has no code of its own.
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_UNKNOWN);
            EXPECT_FALSE(writer.IsOpen());
        }
    }
    holder.Close();
    reader.Close();
    EXPECT_EQ(ReadWholeFile(path), "keep me");
}

TEST(LocalFileOpenFailure, FailedReopenLeavesTheObjectClosed)
{
    CTempDir dir;
    const std::string first = dir.Path("first.txt");
    CLocalFile file;
    ASSERT_EQ(file.Open(first.c_str(), true, false), 1);
    EXPECT_EQ(file.Open(dir.Path("missing.txt").c_str(), false, true), -1);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_hFile, INVALID_HANDLE_VALUE);
    // The names are those of the last open that obtained a handle.
    EXPECT_EQ(file.m_szDirectory, dir.Dir() + "\\");
    EXPECT_STREQ(file.m_szFileName, "first.txt");
    // The first file was closed: another writer gets it.
    CLocalFile other;
    EXPECT_EQ(other.Open(first.c_str(), true, false), 1);
}

// Wine's CreateFileA opens a path of 260 characters, one more than the name
// fields hold; such a path is refused before the system sees it.
TEST(LocalFileOpenFailure, PathLongerThanTheFieldsIsRefused)
{
    CTempDir dir;
    const std::string tooLong = dir.Dir() + "\\" + std::string(260 - dir.Dir().size() - 1, 'z');
    ASSERT_EQ(tooLong.size(), 260u);
    for (bool bShared : {false, true})
    {
        CLocalFile file;
        SetLastError(kSentinel);
        EXPECT_EQ(bShared ? file.OpenShared(tooLong.c_str(), true, false)
                          : file.Open(tooLong.c_str(), true, false),
                  -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_UNKNOWN);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_STREQ(file.m_szDirectory, "");
        EXPECT_STREQ(file.m_szFileName, "");
        EXPECT_FALSE(Exists(tooLong));
    }

    // The longest path that fits opens, and its names are whole.
    const std::string name(259 - dir.Dir().size() - 1, 'y');
    const std::string longest = dir.Path(name);
    ASSERT_EQ(longest.size(), 259u);
    CLocalFile file;
    ASSERT_EQ(file.Open(longest.c_str(), true, false), 1);
    EXPECT_EQ(file.m_szDirectory, dir.Dir() + "\\");
    EXPECT_EQ(file.m_szFileName, name);
    EXPECT_LE(std::strlen(file.ShortName()), 12u);
}

// Wine opens the device path "\\.\NUL" (and "\\.\COM1"), but FindFirstFileA
// refuses it with ERROR_INVALID_NAME. Plain "NUL" and "COM1" open and are
// also found by Wine's FindFirstFileA (named "NUL" and "COM1"), so they pass.
TEST(LocalFileOpenFailure, DeviceThatIsNoFileLeavesNoHandle)
{
    CTempDir dir;
    const std::string path = dir.Path("probe.txt");
    // Wine hands out the lowest free handle slot: the slot that a closed
    // handle frees is the one that the next open takes.
    CLocalFile probe;
    ASSERT_EQ(probe.Open(path.c_str(), true, false), 1);
    const HANDLE hFreeSlot = probe.m_hFile;
    probe.Close();
    ASSERT_EQ(probe.Open(path.c_str(), true, false), 1);
    ASSERT_EQ(probe.m_hFile, hFreeSlot);
    probe.Close();

    CLocalFile device;
    SetLastError(kSentinel);
    EXPECT_EQ(device.Open("\\\\.\\NUL", true, false), -1);
    // The search's error survives the close of the device handle.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(CLocalFile::MapLastError(), VEXFILE_UNKNOWN);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.m_hFile, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(device.m_szDirectory, "\\\\.\\");
    EXPECT_STREQ(device.m_szFileName, "");

    ASSERT_EQ(probe.Open(path.c_str(), true, false), 1);
    EXPECT_EQ(probe.m_hFile, hFreeSlot);
}

TEST(LocalFileOpenModes, TruncateEmptiesAnExistingFile)
{
    CTempDir dir;
    const std::string path = dir.Path("target.txt");
    WriteWholeFile(path, "old content");
    for (bool bShared : {false, true})
    {
        CLocalFile file;
        ASSERT_EQ(bShared ? file.OpenShared(path.c_str(), true, false)
                          : file.Open(path.c_str(), true, false),
                  1);
        EXPECT_EQ(file.GetSize(), 0u);
        file.Close();
        EXPECT_EQ(ReadWholeFile(path), "");
        WriteWholeFile(path, "old content");
    }
}

TEST(LocalFileOpenModes, KeepOpensAnExistingFileAtItsStart)
{
    CTempDir dir;
    const std::string path = dir.Path("target.txt");
    for (bool bShared : {false, true})
    {
        WriteWholeFile(path, "old content");
        CLocalFile file;
        ASSERT_EQ(bShared ? file.OpenShared(path.c_str(), false, false)
                          : file.Open(path.c_str(), false, false),
                  1);
        EXPECT_EQ(file.GetSize(), 11u);
        EXPECT_EQ(file.Write("NEW", 3), 3);
        EXPECT_EQ(file.GetSize(), 11u);
        file.Close();
        EXPECT_EQ(ReadWholeFile(path), "NEW content");
    }
}

TEST(LocalFileOpenModes, WritableOpensCreateAMissingFile)
{
    CTempDir dir;
    for (bool bTruncate : {true, false})
    {
        const std::string path = dir.Path(bTruncate ? "fresh.txt" : "kept.txt");
        CLocalFile file;
        ASSERT_EQ(file.Open(path.c_str(), bTruncate, false), 1);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_NE(file.m_hFile, INVALID_HANDLE_VALUE);
        EXPECT_EQ(file.GetSize(), 0u);
        EXPECT_EQ(file.Write("hello", 5), 5);
        EXPECT_EQ(file.GetSize(), 5u);
        file.Close();
        EXPECT_EQ(ReadWholeFile(path), "hello");
    }
}

TEST(LocalFileOpenModes, ReadOnlyReadsUpToTheEnd)
{
    CTempDir dir;
    const std::string path = dir.Path("source.txt");
    WriteWholeFile(path, "abcdef");
    CLocalFile file;
    ASSERT_EQ(file.Open(path.c_str(), false, true), 1);
    EXPECT_EQ(file.GetSize(), 6u);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    // A short count comes back as it is.
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0);
}

TEST(LocalFileOpenModes, SharedOpenersWriteTheSameFile)
{
    CTempDir dir;
    const std::string path = dir.Path("shared.txt");
    CLocalFile first;
    CLocalFile second;
    ASSERT_EQ(first.OpenShared(path.c_str(), false, false), 1);
    ASSERT_EQ(second.OpenShared(path.c_str(), false, false), 1);
    EXPECT_EQ(first.Write("aaaa", 4), 4);
    // Each opener has a position of its own, at the start.
    EXPECT_EQ(second.Write("bb", 2), 2);
    EXPECT_EQ(first.GetSize(), 4u);
    EXPECT_EQ(ReadWholeFile(path), "bbaa");
}

TEST(LocalFileOpenModes, OpenClosesTheFileItHeld)
{
    CTempDir dir;
    const std::string first = dir.Path("first.txt");
    const std::string second = dir.Path("second.txt");
    for (bool bShared : {false, true})
    {
        CLocalFile file;
        ASSERT_EQ(file.Open(first.c_str(), true, false), 1);
        ASSERT_EQ(bShared ? file.OpenShared(second.c_str(), true, false)
                          : file.Open(second.c_str(), true, false),
                  1);
        EXPECT_STREQ(file.m_szFileName, "second.txt");
        CLocalFile other;
        EXPECT_EQ(other.Open(first.c_str(), true, false), 1);
    }
}

TEST(LocalFileNames, FullPathSplitsIntoDirectoryAndName)
{
    CTempDir dir;
    const std::string path = dir.Path("short.txt");
    CLocalFile file;
    ASSERT_EQ(file.Open(path.c_str(), true, false), 1);
    EXPECT_EQ(file.m_szDirectory, dir.Dir() + "\\");
    EXPECT_STREQ(file.m_szFileName, "short.txt");
    // A name that is already 8.3 is its own short name.
    EXPECT_STREQ(file.ShortName(), "short.txt");
}

TEST(LocalFileNames, FileNameIsTheOneOnDisk)
{
    CTempDir dir;
    WriteWholeFile(dir.Path("Mixed Case.Txt"), "x");
    CLocalFile file;
    ASSERT_EQ(file.Open(dir.Path("MIXED case.txt").c_str(), false, true), 1);
    EXPECT_STREQ(file.m_szFileName, "Mixed Case.Txt");
}

// Wine makes short names from the first characters of the long name, a
// tilde, a three character hash and the first three characters of the
// extension, all in capitals: "A_LO~5RO.DOW" here.
TEST(LocalFileNames, LongNameGetsItsShortForm)
{
    CTempDir dir;
    const std::string longName = "A long file name for the engine.download";
    const std::string path = dir.Path(longName);
    CLocalFile file;
    ASSERT_EQ(file.Open(path.c_str(), true, false), 1);
    EXPECT_EQ(file.m_szFileName, longName);

    char szShortPath[MAX_PATH];
    const DWORD cch = GetShortPathNameA(path.c_str(), szShortPath, sizeof(szShortPath));
    ASSERT_TRUE(cch > 0 && cch < sizeof(szShortPath));
    const std::string shortPath(szShortPath, cch);
    EXPECT_EQ(file.ShortName(), shortPath.substr(shortPath.rfind('\\') + 1));
    const std::string shortName = file.ShortName();
    EXPECT_EQ(shortName.size(), 12u);
    EXPECT_EQ(shortName.substr(0, 5), "A_LO~");
    EXPECT_EQ(shortName.substr(8), ".DOW");
}

TEST(LocalFileNames, PathWithoutBackslashKeepsTheWholePath)
{
    CTempDir dir;
    const CCurrentDirectory cwd(dir.Dir());
    CLocalFile file;
    ASSERT_EQ(file.Open("A long relative name.text", true, false), 1);
    EXPECT_STREQ(file.m_szDirectory, "A long relative name.text");
    EXPECT_STREQ(file.m_szFileName, "A long relative name.text");
    // The short path of a relative path is relative too: with no backslash
    // in it the short name stays as it was (empty here).
    EXPECT_STREQ(file.ShortName(), "");

    ASSERT_EQ(file.Open(dir.Path("full.txt").c_str(), true, false), 1);
    ASSERT_STREQ(file.ShortName(), "full.txt");
    ASSERT_EQ(file.Open("plain.txt", true, false), 1);
    EXPECT_STREQ(file.m_szDirectory, "plain.txt");
    EXPECT_STREQ(file.m_szFileName, "plain.txt");
    EXPECT_STREQ(file.ShortName(), "full.txt");
    EXPECT_TRUE(Exists(dir.Path("plain.txt")));
}

TEST(LocalFileMapLastError, MapsEverySystemErrorToALocalFileCode)
{
    const struct
    {
        DWORD dwSystemError;
        long lCode;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, -304},      {ERROR_TOO_MANY_OPEN_FILES, -306},
        {ERROR_ACCESS_DENIED, -305},       {ERROR_NO_MORE_FILES, -306},
        {ERROR_HANDLE_DISK_FULL, -303},    {ERROR_FILE_EXISTS, -303},
        {ERROR_CANNOT_MAKE, -303},         {ERROR_BAD_PATHNAME, -307},
        {ERROR_PATH_NOT_FOUND, -308},      {ERROR_SHARING_VIOLATION, -308},
        {ERROR_FILENAME_EXCED_RANGE, -308}, {ERROR_SUCCESS, -308},
        {kSentinel, -308},
    };
    for (const auto& c : cases)
    {
        SetLastError(c.dwSystemError);
        EXPECT_EQ(CLocalFile::MapLastError(), c.lCode) << "system error " << c.dwSystemError;
        // Reading the error leaves it in place.
        EXPECT_EQ(GetLastError(), c.dwSystemError);
    }
}

} // namespace
