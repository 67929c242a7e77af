// The line buffer shared by the FTP and HTTP readers, fed in every possible
// split.
#include "LineBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Feeds text into a line buffer in two chunks split at `split`, taking every
// complete line, the way the client does.
std::vector<std::string> Lines(const std::string& text, size_t split)
{
    CLineBuffer buffer;
    std::vector<std::string> lines;
    char line[CLineBuffer::kBlockSize] = {};
    for (const std::string& chunk : {text.substr(0, split), text.substr(split)})
    {
        std::memcpy(buffer.FreeSpace(), chunk.data(), chunk.size());
        buffer.Commit(static_cast<int>(chunk.size()));
        while (buffer.HasLine())
        {
            buffer.TakeLine(line);
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(LineBuffer, EverySplitGivesTheSameLines)
{
    const std::string text = "220-Welcome\r\n220 Ready\r\n331 Password\n\r\n";
    const std::vector<std::string> expected = {"220-Welcome", "220 Ready", "331 Passwor", ""};
    for (size_t split = 0; split <= text.size(); ++split)
        EXPECT_EQ(Lines(text, split), expected) << "split at " << split;
}

TEST(LineBuffer, StaysTerminatedAndKeepsTheRest)
{
    CLineBuffer buffer;
    ASSERT_TRUE(buffer.IsAllocated());
    EXPECT_EQ(buffer.FreeCount(), 1023);
    const char text[] = "200 OK\r\n150 Open";
    std::memcpy(buffer.FreeSpace(), text, sizeof(text) - 1);
    buffer.Commit(sizeof(text) - 1);
    char line[CLineBuffer::kBlockSize];
    std::memset(line, 'x', sizeof(line));
    EXPECT_EQ(buffer.TakeLine(line), 7);
    EXPECT_STREQ(line, "200 OK");
    EXPECT_EQ(line[7], 'x'); // bytes after the terminator keep what they held
    EXPECT_EQ(buffer.Buffered(), 8);
    EXPECT_STREQ(buffer.FreeSpace() - 8, "150 Open");
    EXPECT_EQ(buffer.TakeLine(line), -1);
    // Committing more than fits is ignored rather than overrunning.
    buffer.Commit(2000);
    EXPECT_EQ(buffer.Buffered(), 8);
}

TEST(LineBuffer, FullWithoutLineFeedAndPeerClose)
{
    CLineBuffer buffer;
    const std::string longLine(CLineBuffer::kMaxBuffered, 'x');
    std::memcpy(buffer.FreeSpace(), longLine.data(), longLine.size());
    buffer.Commit(static_cast<int>(longLine.size()));
    EXPECT_TRUE(buffer.IsFull());
    EXPECT_EQ(buffer.FreeCount(), 0);
    EXPECT_FALSE(buffer.HasLine());
    char line[CLineBuffer::kBlockSize];
    EXPECT_EQ(buffer.TakeLine(line), -1);
    EXPECT_FALSE(buffer.PeerClosed());
    buffer.MarkPeerClosed();
    EXPECT_TRUE(buffer.PeerClosed());
}

} // namespace
