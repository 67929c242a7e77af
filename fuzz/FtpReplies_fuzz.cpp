// The FTP control connection as the client reads it: the input is what the
// server sends. It is received in chunks into a CLineBuffer the way
// WaitForLine does, every complete line is taken, the lines are assembled
// into replies, and each line is also read as a 227 and a SIZE answer.
//
// Besides the sanitizers, the target checks the line buffer against a plain
// model of it: the lines do not depend on how the stream was split, and they
// are the stream's own bytes.
#include "FtpReplies.h"
#include "LineBuffer.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Chunk sizes of one receive sequence, from a small generator seeded by the
// input: mostly a few bytes (a slow peer), now and then a whole buffer.
class CChunkSizes
{
public:
    explicit CChunkSizes(uint64_t seed) : m_state(seed | 1) {}
    int Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        const unsigned r = static_cast<unsigned>(m_state >> 32);
        return (r & 7) == 0 ? CLineBuffer::kMaxBuffered : static_cast<int>(1 + (r >> 3) % 16);
    }

private:
    uint64_t m_state;
};

// Every byte past the buffered ones is zero: the content is always
// terminated.
void CheckTerminated(const CLineBuffer& buffer)
{
    FUZZ_CHECK(buffer.Buffered() >= 0 && buffer.Buffered() <= CLineBuffer::kMaxBuffered);
    for (int i = buffer.Buffered(); i < CLineBuffer::kBlockSize; ++i)
        FUZZ_CHECK(buffer.Data()[i] == 0);
}

// Receives the stream in chunks (chunkSeed 0: everything that fits at once)
// and takes lines until none can come: the peer closed with no complete line
// left, or the buffer filled up without a line feed.
std::vector<std::string> ReadLines(const uint8_t* data, size_t size, uint64_t chunkSeed)
{
    CLineBuffer buffer;
    FUZZ_CHECK(buffer.IsAllocated());
    CChunkSizes chunks(chunkSeed);
    std::vector<std::string> lines;
    size_t pos = 0;
    for (;;)
    {
        while (!buffer.HasLine())
        {
            if (buffer.IsFull() || pos == size)
                return lines;
            int cb = chunkSeed ? chunks.Next() : CLineBuffer::kMaxBuffered;
            cb = std::min({cb, buffer.FreeCount(), static_cast<int>(size - pos)});
            std::memcpy(buffer.FreeSpace(), data + pos, static_cast<size_t>(cb));
            buffer.Commit(cb);
            pos += static_cast<size_t>(cb);
            CheckTerminated(buffer);
        }
        char line[CLineBuffer::kBlockSize];
        std::memset(line, 0x5a, sizeof(line));
        const int n = buffer.TakeLine(line);
        FUZZ_CHECK(n >= 0 && n < CLineBuffer::kMaxBuffered);
        const size_t cchKept = n > 0 ? static_cast<size_t>(n - 1) : 0;
        FUZZ_CHECK(line[cchKept] == '\0');
        lines.emplace_back(line, cchKept);
        CheckTerminated(buffer);
    }
}

// The same, by plain string handling: a line is everything before a line
// feed that lies within the first 1023 bytes still unread, less its last
// character.
std::vector<std::string> ModelLines(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < size)
    {
        const size_t window = std::min(size - pos, static_cast<size_t>(CLineBuffer::kMaxBuffered));
        const void* pLineFeed = std::memchr(data + pos, '\n', window);
        if (!pLineFeed)
            break;
        const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(pLineFeed) - (data + pos));
        lines.emplace_back(reinterpret_cast<const char*>(data + pos), n > 0 ? n - 1 : 0);
        pos += n + 1;
    }
    return lines;
}

// PORT command text for every buffer size, in an exact-size buffer.
void CheckPortCommand(const char* pszAddress, uint16_t port)
{
    for (size_t cap = 0; cap <= 40; ++cap)
    {
        char* const pBuf = new char[cap];
        const size_t cch = ftp::FormatPortCommand(pBuf, cap, pszAddress, port, "\r\n");
        if (cch)
        {
            FUZZ_CHECK(cch < cap);
            FUZZ_CHECK(std::strlen(pBuf) == cch);
            FUZZ_CHECK(std::strncmp(pBuf, "PORT ", 5) == 0);
        }
        delete[] pBuf;
    }
}

void CheckPassiveReply(const char* pszLine)
{
    char address[ftp::kPassiveAddressSize];
    std::memset(address, 0x5a, sizeof(address));
    uint32_t port = 0;
    if (!ftp::ParsePassiveReply(pszLine, address, &port))
        return;
    const size_t cch = strnlen(address, sizeof(address));
    FUZZ_CHECK(cch < sizeof(address));
    // Four fields joined by dots, the first one a number.
    FUZZ_CHECK(cch > 0 && address[0] >= '0' && address[0] <= '9');
    FUZZ_CHECK(std::count(address, address + cch, '.') == 3);
    FUZZ_CHECK(std::count(address, address + cch, ',') == 0);

    CheckPortCommand(address, static_cast<uint16_t>(port));
}

void ReadReplies(const std::vector<std::string>& lines)
{
    ftp::CReplyAssembler assembler;
    for (const std::string& text : lines)
    {
        // The client hands on the line as a C string, up to its first zero.
        const char* pszLine = text.c_str();
        const size_t cch = std::strlen(pszLine);
        const ftp::CReplyAssembler::Result result = assembler.Feed(pszLine);
        switch (result)
        {
        case ftp::CReplyAssembler::kNeedMoreLines:
            FUZZ_CHECK(cch < 4 || pszLine[3] != ' ');
            break;
        case ftp::CReplyAssembler::kComplete:
        case ftp::CReplyAssembler::kCodeMismatch:
            FUZZ_CHECK(cch >= 4 && pszLine[3] == ' ');
            assembler = ftp::CReplyAssembler();
            break;
        case ftp::CReplyAssembler::kNotAReply:
            FUZZ_CHECK(!(pszLine[0] >= '0' && pszLine[0] <= '9'));
            assembler = ftp::CReplyAssembler();
            break;
        default:
            FUZZ_CHECK(!"unknown assembler result");
        }
        const int code = ftp::ReplyCode(pszLine);
        (void)code;
        (void)ftp::ParseSizeReply(pszLine);
        CheckPassiveReply(pszLine);
        CheckPortCommand(pszLine, static_cast<uint16_t>(cch));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint64_t seed = 0xcbf29ce484222325ULL ^ size;
    for (size_t i = 0; i < size; ++i)
        seed = (seed ^ data[i]) * 0x100000001b3ULL;

    const std::vector<std::string> lines = ReadLines(data, size, 0);
    FUZZ_CHECK(lines == ReadLines(data, size, seed));
    FUZZ_CHECK(lines == ModelLines(data, size));

    ReadReplies(lines);
    // The greeting is read by ReplyCode alone; a null line is no reply.
    FUZZ_CHECK(ftp::ReplyCode(nullptr) == -1);
    return 0;
}
