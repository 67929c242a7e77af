// A channel's trace log: owned or shared, written only when attached, and
// never touching the channel's error pair.
#include "VexSock.h"

#include "DiagLog.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

// Entries without their timestamp prefixes.
std::string WithoutTimestamps(const std::string& content)
{
    static const std::regex prefix(R"(\[\d+/\d+/\d+  \d+:\d+:\d+:\d+\] )");
    return std::regex_replace(content, prefix, "");
}

TEST(VexSockLog, NothingIsWrittenWithoutALog)
{
    CTempDir dir;
    const CCurrentDirectory cwd(dir.Dir());
    VEXSOCK sock;
    sock.Log("entry\n", true);
    sock.LogFormat("entry %d\n", 1);
    EXPECT_FALSE(Exists(dir.Path("vexlogger.txt")));
}

TEST(VexSockLog, OwnedLogTakesFormattedEntriesLiterally)
{
    CTempDir dir;
    {
        VEXSOCK sock;
        sock.EnableLog(dir.Path("trace.txt").c_str());
        sock.LogFormat("CVexFTP::Connect( %s, %u)\n", "host%s%n", 21u);
        sock.Log("second\n", true);
    }
    EXPECT_EQ(WithoutTimestamps(ReadWholeFile(dir.Path("trace.txt"))), "CVexFTP::Connect( host%s%n, 21)\nsecond\n");
}

TEST(VexSockLog, SharedLogCollectsSeveralChannelsAndOutlivesThem)
{
    CTempDir dir;
    CDiagLog shared(dir.Path("shared.txt").c_str(), false);
    {
        VEXSOCK control, data;
        control.AttachLog(&shared);
        data.AttachLog(&shared);
        control.Log("control\n", true);
        data.Log("data\n", true);
    }
    // The channels let the borrowed log go without destroying it.
    EXPECT_TRUE(shared.WriteEntry("after\n", true));
    EXPECT_EQ(WithoutTimestamps(ReadWholeFile(dir.Path("shared.txt"))), "control\ndata\nafter\n");
}

TEST(VexSockLog, ReplacingAnOwnedLogSwitchesFiles)
{
    CTempDir dir;
    VEXSOCK sock;
    sock.EnableLog(dir.Path("first.txt").c_str());
    sock.Log("one\n", true);
    sock.EnableLog(dir.Path("second.txt").c_str());
    sock.Log("two\n", true);
    EXPECT_EQ(WithoutTimestamps(ReadWholeFile(dir.Path("first.txt"))), "one\n");
    EXPECT_EQ(WithoutTimestamps(ReadWholeFile(dir.Path("second.txt"))), "two\n");
}

TEST(VexSockLog, LogThatCannotBeOpenedLeavesTheErrorPairAlone)
{
    CTempDir dir;
    VEXSOCK sock;
    sock.m_lLastError = -120;
    sock.m_lLastErrorEx = 10054;
    sock.EnableLog(dir.Path("missing-dir\\trace.txt").c_str());
    sock.Log("entry\n", true);
    EXPECT_EQ(sock.GetLastError(), -120);
    EXPECT_EQ(sock.GetLastErrorEx(), 10054);
    EXPECT_FALSE(Exists(dir.Path("missing-dir\\trace.txt")));
}

} // namespace
