// The FTP control connection as the client reads it: the input is what the
// server sends. It is received in chunks into a CLineBuffer the way
// WaitForLine does, every complete line is taken, the lines are assembled
// into replies, and each line is also read as a 227 and a SIZE answer and as
// a line of a FEAT list.
//
// Besides the sanitizers, the target checks the readers against plain
// models of what their headers say: the lines do not depend on how the
// stream was split and are the stream's own bytes; the assembler, the reply
// code and the SIZE number agree with string-handling versions; a 227
// address is the line's own first four fields.
#include "FtpFeatures.h"
#include "FtpReplies.h"
#include "LineBuffer.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <climits>
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
    static const char kZeros[CLineBuffer::kBlockSize] = {};
    FUZZ_CHECK(std::memcmp(buffer.Data() + buffer.Buffered(), kZeros,
                           static_cast<size_t>(CLineBuffer::kBlockSize - buffer.Buffered())) == 0);
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
            {
                char rest[CLineBuffer::kBlockSize];
                FUZZ_CHECK(buffer.TakeLine(rest) == -1);
                return lines;
            }
            int cb = chunkSeed ? chunks.Next() : CLineBuffer::kMaxBuffered;
            cb = std::min({cb, buffer.FreeCount(), static_cast<int>(size - pos)});
            std::memcpy(buffer.FreeSpace(), data + pos, static_cast<size_t>(cb));
            buffer.Commit(cb);
            pos += static_cast<size_t>(cb);
            FUZZ_CHECK(buffer.Data()[buffer.Buffered()] == '\0');
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

// PORT command text in an exact-size buffer of capacity cap.
void CheckPortCommand(const char* pszAddress, uint16_t port, size_t cap)
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

void CheckPassiveReply(const char* pszLine)
{
    char address[ftp::kPassiveAddressSize];
    std::memset(address, 0x5a, sizeof(address));
    uint32_t port = 0;
    if (!ftp::ParsePassiveReply(pszLine, address, &port))
        return;
    const size_t cch = strnlen(address, sizeof(address));
    FUZZ_CHECK(cch < sizeof(address));
    // The first four comma-separated fields of the line, copied as they
    // stand with their three commas turned into dots; the first one begins
    // with a digit.
    FUZZ_CHECK(cch > 0 && address[0] >= '0' && address[0] <= '9');
    FUZZ_CHECK(std::count(address, address + cch, ',') == 0);
    bool bFound = false;
    const std::string line(pszLine);
    for (size_t start = line.find(address[0]); start != std::string::npos && !bFound;
         start = line.find(address[0], start + 1))
    {
        std::string fields = line.substr(start, cch);
        if (std::count(fields.begin(), fields.end(), ',') != 3 || line.compare(start + cch, 1, ",") != 0)
            continue;
        std::replace(fields.begin(), fields.end(), ',', '.');
        bFound = fields == address;
    }
    FUZZ_CHECK(bFound);

    // The longest command, "PORT 255,255,255,255,255,255\r\n", is 30
    // characters; every buffer size around it.
    for (size_t cap = 0; cap <= 32; ++cap)
        CheckPortCommand(address, static_cast<uint16_t>(port), cap);
}

// A 229 port is read only between four equal delimiters, and whatever was
// read goes back out in an EPRT command that fits its buffer exactly.
void CheckExtendedPassiveReply(const char* pszLine)
{
    uint16_t port = 0;
    if (!ftp::ParseExtendedPassiveReply(pszLine, &port))
    {
        FUZZ_CHECK(port == 0);
        return;
    }
    FUZZ_CHECK(port != 0);
    const std::string digits = std::to_string(port);
    FUZZ_CHECK(std::strstr(pszLine, digits.c_str()) != nullptr);
    char command[48];
    const size_t cch = ftp::FormatEprtCommand(command, sizeof(command), "::ffff:255.255.255.255", port, "\r\n");
    FUZZ_CHECK(cch > 0 && cch == std::strlen(command));
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A reply line's leading number by plain string handling: blanks, an
// optional sign, blanks again (ReplyCode takes "- 331" as -331), digits;
// clamped to int range.
int ModelReplyCode(const std::string& line)
{
    const char kBlanks[] = " \t\r\n\v\f";
    size_t i = line.find_first_not_of(kBlanks);
    if (i == std::string::npos)
        return 0;
    bool bNegative = false;
    if (line[i] == '+' || line[i] == '-')
        bNegative = line[i++] == '-';
    i = std::min(line.find_first_not_of(kBlanks, i), line.size());
    long long value = 0;
    for (; i < line.size() && IsDigit(line[i]); ++i)
        value = std::min(value * 10 + (line[i] - '0'), static_cast<long long>(INT_MAX));
    return static_cast<int>(bNegative ? -value : value);
}

// The SIZE answer: the number after the three characters of the code,
// blanks skipped, clamped to 32 bits.
uint64_t ModelSize(const std::string& line)
{
    if (line.size() < 3)
        return 0;
    size_t i = std::min(line.find_first_not_of(" \t\r\n\v\f", 3), line.size());
    unsigned __int128 value = 0;
    for (; i < line.size() && IsDigit(line[i]); ++i)
        value = std::min<unsigned __int128>(value * 10 + static_cast<unsigned>(line[i] - '0'), UINT64_MAX);
    return static_cast<uint64_t>(value);
}

// The assembler as its header describes it: the first line must start with
// a digit; a line of four or more characters whose fourth is a space ends
// the reply; the code of the last line that started with a digit (the
// ending line or one before it) must match the first line's.
class CModelAssembler
{
public:
    ftp::CReplyAssembler::Result Feed(const std::string& line)
    {
        const bool bEnds = line.size() >= 4 && line[3] == ' ';
        if (!m_bStarted)
        {
            if (line.empty() || !IsDigit(line[0]))
                return ftp::CReplyAssembler::kNotAReply;
            m_bStarted = true;
            m_nFirst = m_nLast = ModelReplyCode(line);
            return bEnds ? ftp::CReplyAssembler::kComplete : ftp::CReplyAssembler::kNeedMoreLines;
        }
        if (!line.empty() && IsDigit(line[0]))
            m_nLast = ModelReplyCode(line);
        if (!bEnds)
            return ftp::CReplyAssembler::kNeedMoreLines;
        return m_nLast == m_nFirst ? ftp::CReplyAssembler::kComplete : ftp::CReplyAssembler::kCodeMismatch;
    }

private:
    bool m_bStarted = false;
    int m_nFirst = 0;
    int m_nLast = 0;
};

// Lines are assembled into replies the way the client's GetMessage does: a
// new assembler for every reply, whatever ended the last one.
// A FEAT line names UTF8 exactly when a space, the name in any case and
// then the end or a blank make up its start.
void CheckFeatureLine(const std::string& line)
{
    std::string upper = line.substr(0, 6);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    const bool bModel = upper.compare(0, 5, " UTF8") == 0 &&
                        (upper.size() == 5 || upper[5] == ' ' || upper[5] == '\r' || upper[5] == '\n');
    FUZZ_CHECK(ftp::ListsFeature(line.c_str(), "UTF8") == bModel);
}

void ReadReplies(const std::vector<std::string>& lines)
{
    ftp::CReplyAssembler assembler;
    CModelAssembler model;
    for (const std::string& text : lines)
    {
        // The client hands on the line as a C string, up to its first zero.
        const char* pszLine = text.c_str();
        const std::string line(pszLine);
        const ftp::CReplyAssembler::Result result = assembler.Feed(pszLine);
        FUZZ_CHECK(result == model.Feed(line));
        if (result != ftp::CReplyAssembler::kNeedMoreLines)
        {
            assembler = ftp::CReplyAssembler();
            model = CModelAssembler();
        }

        FUZZ_CHECK(ftp::ReplyCode(pszLine) == ModelReplyCode(line));
        FUZZ_CHECK(ftp::ParseSizeReply(pszLine) == ModelSize(line));
        CheckPassiveReply(pszLine);
        CheckExtendedPassiveReply(pszLine);
        CheckPortCommand(pszLine, static_cast<uint16_t>(line.size()), 32);
        CheckFeatureLine(line);
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
