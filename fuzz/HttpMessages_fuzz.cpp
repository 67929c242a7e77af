// HTTP as the client reads and writes it. The input is read twice:
//
// - as what the server answers: received into a CLineBuffer in chunks, every
//   line is read as a status line and as a header line;
// - as the fields of a GET request, cut at zero bytes:
//     path \0 host \0 referer \0 user agent \0 port (two bytes, big-endian)
//   (fields that the input does not reach are null), built into buffers of
//   the sizes around the request's length and checked byte for byte
//   against plain string assembly;
// - as a path the system code page cannot hold: escaped for the request,
//   byte for byte.
#include "HostSyntax.h"
#include "HttpMessages.h"
#include "LineBuffer.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Lines as the client takes them: chunk sizes from the input's bytes.
std::vector<std::string> ReadLines(const uint8_t* data, size_t size)
{
    CLineBuffer buffer;
    FUZZ_CHECK(buffer.IsAllocated());
    std::vector<std::string> lines;
    size_t pos = 0;
    unsigned step = 0;
    for (;;)
    {
        while (!buffer.HasLine())
        {
            if (buffer.IsFull() || pos == size)
                return lines;
            const int chunk = 1 + (data[(pos + step++) % size] % 64);
            const int cb = std::min({chunk, buffer.FreeCount(), static_cast<int>(size - pos)});
            std::memcpy(buffer.FreeSpace(), data + pos, static_cast<size_t>(cb));
            buffer.Commit(cb);
            pos += static_cast<size_t>(cb);
        }
        char line[CLineBuffer::kBlockSize];
        const int n = buffer.TakeLine(line);
        FUZZ_CHECK(n >= 0);
        lines.emplace_back(line);
    }
}

// The number at text[pos] by plain string handling: blanks (space, tab), an
// optional sign, digits, the magnitude clamped to max.
long long ModelNumber(const std::string& text, size_t pos, long long max)
{
    pos = std::min(text.find_first_not_of(" \t", pos), text.size());
    bool bNegative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        bNegative = text[pos++] == '-';
    __int128 value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = std::min<__int128>(value * 10 + (text[pos] - '0'), max);
    return static_cast<long long>(bNegative ? -value : value);
}

void ReadResponse(const std::vector<std::string>& lines)
{
    for (const std::string& text : lines)
    {
        const char* pszLine = text.c_str();
        FUZZ_CHECK(http::IsStatusLine(pszLine) == (text.compare(0, 7, "HTTP/1.") == 0));
        FUZZ_CHECK(http::ParseStatusCode(pszLine) == (text.size() < 9 ? 0 : ModelNumber(text, 9, INT_MAX)));

        uint64_t length = 12345;
        const size_t header = text.find("Content-Length: ");
        const bool bFound = http::FindContentLength(pszLine, &length);
        FUZZ_CHECK(bFound == (header != std::string::npos));
        if (!bFound)
        {
            FUZZ_CHECK(length == 12345);
            continue;
        }
        // A negative length can never be met: it reads as the largest.
        const long long value = ModelNumber(text, header + 16, LLONG_MAX);
        FUZZ_CHECK(length == (value < 0 ? UINT64_MAX : static_cast<uint64_t>(value)));
    }
    FUZZ_CHECK(!http::IsStatusLine(nullptr));
    FUZZ_CHECK(http::ParseStatusCode(nullptr) == -1);
}

const char* FieldOrNull(const std::vector<std::string>& fields, size_t i)
{
    return i < fields.size() ? fields[i].c_str() : nullptr;
}

void BuildRequest(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 5);
    const char* pszPath = FieldOrNull(fields, 0);
    const char* pszHost = FieldOrNull(fields, 1);
    const char* pszReferer = FieldOrNull(fields, 2);
    const char* pszAgent = FieldOrNull(fields, 3);
    uint16_t port = 80;
    if (fields.size() > 4 && fields[4].size() >= 2)
        port = static_cast<uint16_t>(static_cast<uint8_t>(fields[4][0]) << 8 | static_cast<uint8_t>(fields[4][1]));

    auto text = [](const char* psz) { return std::string(psz ? psz : ""); };
    const std::string expected = "GET " + text(pszPath) + " HTTP/1.0\r\n" + "Host: " + hostsyntax::AuthorityHost(text(pszHost)) +
                                 (port != 80 ? ":" + std::to_string(port) : std::string()) + "\r\n" +
                                 "Referer: " + text(pszReferer) + "\r\n" + "User-Agent: " + text(pszAgent) +
                                 "\r\n\r\n";
    bool bLineBreak = false;
    for (const char* psz : {pszPath, pszHost, pszReferer, pszAgent})
        bLineBreak = bLineBreak || text(psz).find_first_of("\r\n") != std::string::npos;

    fuzz::CheckBuildForEveryCapacity(expected, bLineBreak, http::kRequestSize, [&](char* pBuf, size_t cap) {
        return http::BuildGetRequest(pBuf, cap, pszPath, pszHost, port, pszReferer, pszAgent);
    });
}

} // namespace

bool MayStandInTarget(char c)
{
    return c > 0x20 && c < 0x7F && !std::strchr("\"<>\\^`{|}", c);
}

// Each byte of the path in order: itself where it may stand in a request
// target, else its upper-case %XX.
void EscapePath(const uint8_t* data, size_t size)
{
    static const char kHex[] = "0123456789ABCDEF";
    const std::string escaped = http::EscapeRequestPath(std::string(reinterpret_cast<const char*>(data), size));
    size_t j = 0;
    for (size_t i = 0; i < size; ++i)
    {
        const char c = static_cast<char>(data[i]);
        const std::string expected =
            MayStandInTarget(c) ? std::string(1, c) : std::string{'%', kHex[data[i] >> 4], kHex[data[i] & 15]};
        FUZZ_CHECK(escaped.compare(j, expected.size(), expected) == 0);
        j += expected.size();
    }
    FUZZ_CHECK(j == escaped.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReadResponse(ReadLines(data, size));
    BuildRequest(data, size);
    EscapePath(data, size);
    return 0;
}
