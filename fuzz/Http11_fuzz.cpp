// HTTP/1.1 as FetchURL reads and writes it. The input is read three ways:
//
// - as a chunked body: decoded in one call, byte by byte, and in pieces
//   whose sizes come from the input's bytes; every split must give the
//   same state, body and end as a plain line-by-line model of the grammar
//   in ChunkedDecoder.h;
// - as response lines (cut at line feeds and zero bytes): each is read as
//   a status line and fed to CResponseHeaders, both checked against plain
//   string models of their rules (status line form, malformed lines, the
//   line limit, Content-Length and Location);
// - as response lines shown in the trace: masking twice changes nothing
//   more, and a cookie line keeps only its name and line end;
// - as the fields of a GET request, cut at zero bytes:
//     target \0 host header \0 user agent \0 authorization
//   built into buffers around the request's size and compared with plain
//   string assembly.
#include "ChunkedDecoder.h"
#include "HeaderTrace.h"
#include "Http11Messages.h"
#include "Url.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Decoded
{
    http::ChunkState state = http::ChunkState::kNeedMore;
    std::string body;
    size_t end = 0; // input bytes read, the final line end included
};

// Decodes the input in pieces of the given sizes (cycled), each in an
// exact-size buffer so that AddressSanitizer sees any read beyond it.
Decoded DecodeInPieces(const uint8_t* data, size_t size, const std::vector<size_t>& sizes)
{
    http::CChunkedDecoder decoder;
    Decoded result;
    size_t pos = 0;
    for (size_t k = 0; pos < size; ++k)
    {
        const size_t cb = std::min(sizes[k % sizes.size()], size - pos);
        fuzz::ExactCopy piece(data + pos, cb);
        size_t cbBody = 0;
        size_t cbConsumed = 0;
        result.state = decoder.Decode(reinterpret_cast<char*>(piece.bytes), cb, &cbBody, &cbConsumed);
        FUZZ_CHECK(cbBody <= cbConsumed && cbConsumed <= cb);
        FUZZ_CHECK(result.state == http::ChunkState::kDone || cbConsumed == cb);
        FUZZ_CHECK(decoder.State() == result.state);
        result.body.append(reinterpret_cast<const char*>(piece.bytes), cbBody);
        pos += cbConsumed;
        if (result.state != http::ChunkState::kNeedMore)
            break;
    }
    result.end = pos;
    return result;
}

bool IsControl(char c)
{
    const unsigned char b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\t') || b == 0x7f;
}

int Hex(char c)
{
    const char* p = c ? std::strchr("0123456789abcdef", (c >= 'A' && c <= 'F') ? c - 'A' + 'a' : c) : nullptr;
    return p ? static_cast<int>(p - "0123456789abcdef") : -1;
}

// A size line (the bytes before its CR, or all there is so far when
// complete is false) by the grammar in ChunkedDecoder.h.
bool ModelSizeLine(const std::string& line, bool complete, uint64_t* pSize)
{
    size_t i = 0;
    size_t significant = 0;
    uint64_t size = 0;
    for (; i < line.size() && Hex(line[i]) >= 0; ++i)
    {
        if (size == 0 && Hex(line[i]) == 0)
            continue;
        if (++significant > 16)
            return false;
        size = size * 16 + static_cast<uint64_t>(Hex(line[i]));
    }
    if (i == 0 && (complete || !line.empty()))
        return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i < line.size() && line[i] != ';')
        return false;
    for (; i < line.size(); ++i)
    {
        if (IsControl(line[i]))
            return false;
    }
    *pSize = size;
    return line.size() <= http::CChunkedDecoder::kMaxSizeLineLength;
}

// The chunked body by plain string handling, line by line.
Decoded ModelChunked(const std::string& in)
{
    Decoded result;
    const size_t n = in.size();
    auto fail = [&result] {
        result.state = http::ChunkState::kError;
        return result;
    };
    auto more = [&result] {
        result.state = http::ChunkState::kNeedMore;
        return result;
    };
    size_t pos = 0;
    for (;;)
    {
        const size_t cr = in.find('\r', pos);
        uint64_t size = 0;
        if (!ModelSizeLine(in.substr(pos, cr == std::string::npos ? cr : cr - pos), cr != std::string::npos, &size))
            return fail();
        if (cr == std::string::npos || cr + 1 == n)
            return more();
        if (in[cr + 1] != '\n')
            return fail();
        pos = cr + 2;
        if (size == 0)
            break;
        if (n - pos < size)
        {
            result.body += in.substr(pos);
            return more();
        }
        result.body += in.substr(pos, static_cast<size_t>(size));
        pos += static_cast<size_t>(size);
        if (pos == n || (in[pos] == '\r' && pos + 1 == n))
            return more();
        if (in.compare(pos, 2, "\r\n") != 0)
            return fail();
        pos += 2;
    }
    for (size_t trailers = 0;; ++trailers)
    {
        if (pos == n || (in[pos] == '\r' && pos + 1 == n))
            return more();
        if (in[pos] == '\r')
        {
            if (in[pos + 1] != '\n')
                return fail();
            result.state = http::ChunkState::kDone;
            result.end = pos + 2;
            return result;
        }
        if (trailers == http::CChunkedDecoder::kMaxTrailerLines)
            return fail();
        const size_t cr = in.find('\r', pos);
        const std::string line = in.substr(pos, cr == std::string::npos ? cr : cr - pos);
        if (line.size() > http::CChunkedDecoder::kMaxTrailerLineLength ||
            std::any_of(line.begin(), line.end(), IsControl))
            return fail();
        if (cr == std::string::npos || cr + 1 == n)
            return more();
        if (in[cr + 1] != '\n')
            return fail();
        pos = cr + 2;
    }
}

void DecodeChunked(const uint8_t* data, size_t size)
{
    const Decoded whole = DecodeInPieces(data, size, {size ? size : 1});
    std::vector<size_t> varying;
    for (size_t i = 0; i < std::min<size_t>(size, 16); ++i)
        varying.push_back(1 + data[i] % 32);
    if (varying.empty())
        varying.push_back(1);
    for (const std::vector<size_t>& sizes : {std::vector<size_t>{1}, varying})
    {
        const Decoded split = DecodeInPieces(data, size, sizes);
        FUZZ_CHECK(split.state == whole.state);
        FUZZ_CHECK(split.body == whole.body);
        if (whole.state == http::ChunkState::kDone)
            FUZZ_CHECK(split.end == whole.end);
    }
    const Decoded model = ModelChunked(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(whole.state == model.state);
    FUZZ_CHECK(whole.body == model.body);
    FUZZ_CHECK(whole.state != http::ChunkState::kDone || whole.end == model.end);
    if (whole.state == http::ChunkState::kDone)
        FUZZ_CHECK(whole.end >= 5 && std::memcmp(data + whole.end - 4, "\r\n\r\n", 4) == 0);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void CheckStatusLine(const std::string& line)
{
    int status = -1;
    const char* pszReason = nullptr;
    const bool bOk = http::ParseStatusLine11(line.c_str(), &status, &pszReason);
    const bool bModel = line.size() >= 12 && line.compare(0, 7, "HTTP/1.") == 0 && IsDigit(line[7]) &&
                        line[8] == ' ' && line[9] >= '1' && line[9] <= '5' && IsDigit(line[10]) &&
                        IsDigit(line[11]) && (line.size() == 12 || line[12] == ' ');
    FUZZ_CHECK(bOk == bModel);
    if (bOk)
    {
        FUZZ_CHECK(status == std::stoi(line.substr(9, 3)));
        FUZZ_CHECK(pszReason == line.c_str() + std::min<size_t>(line.size(), 13));
    }
    else
    {
        FUZZ_CHECK(status == -1);
    }
}

// What a header line must have to be taken, by plain string handling.
bool ModelLineOk(const std::string& line)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line.size() > http::CResponseHeaders::kMaxLineLength)
        return false;
    for (size_t i = 0; i < colon; ++i)
    {
        const char c = line[i];
        const bool bLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!bLetter && !IsDigit(c) && std::string("!#$%&'*+-.^_`|~").find(c) == std::string::npos)
            return false;
    }
    for (size_t i = colon + 1; i < line.size(); ++i)
    {
        const unsigned char b = static_cast<unsigned char>(line[i]);
        if ((b < 0x20 && b != '\t') || b == 0x7f)
            return false;
    }
    return true;
}

void ReadHeaders(const std::vector<std::string>& lines)
{
    http::CResponseHeaders headers;
    std::vector<std::string> lengths;
    std::vector<std::string> locations;
    std::vector<std::string> codings;
    bool bTransferEncoding = false;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string& line = lines[i];
        CheckStatusLine(line);
        const bool bOk = headers.AddLine(line.c_str());
        FUZZ_CHECK(bOk == (i < http::CResponseHeaders::kMaxLines && ModelLineOk(line)));
        if (!bOk)
            continue;
        const size_t colon = line.find(':');
        const std::string name = Lower(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-length")
            lengths.push_back(value + ",");
        else if (name == "location")
            locations.push_back(value);
        else if (name == "transfer-encoding")
            bTransferEncoding = true;
        if (name != "transfer-encoding")
            continue;
        for (size_t start = 0;;)
        {
            const size_t comma = value.find(',', start);
            const std::string coding = Trim(value.substr(start, comma == std::string::npos ? comma : comma - start));
            if (!coding.empty())
                codings.push_back(Lower(coding));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    FUZZ_CHECK(headers.LineCount() == lines.size());

    // Content-Length: every element digits, all equal, below 2^63.
    bool bValid = true;
    std::string first;
    for (const std::string& value : lengths)
    {
        size_t start = 0;
        for (size_t comma = value.find(','); comma != std::string::npos; comma = value.find(',', start))
        {
            std::string element = Trim(value.substr(start, comma - start));
            start = comma + 1;
            if (element.empty() || element.find_first_not_of("0123456789") != std::string::npos)
            {
                bValid = false;
                continue;
            }
            element.erase(0, std::min(element.find_first_not_of('0'), element.size() - 1));
            if (element.size() > 19 || (element.size() == 19 && element > "9223372036854775807"))
                bValid = false;
            if (first.empty())
                first = element;
            else if (element != first)
                bValid = false;
        }
    }
    FUZZ_CHECK(headers.Conflicting() == (!lengths.empty() && !bValid));
    FUZZ_CHECK(headers.HasContentLength() == (!lengths.empty() && bValid));
    if (headers.HasContentLength())
        FUZZ_CHECK(std::to_string(headers.ContentLength()) == first);

    bool bRefused = false;
    for (const std::string& location : locations)
        bRefused = bRefused || location.size() > url::kMaxUrlLength || location != locations[0];
    FUZZ_CHECK(headers.LocationRefused() == bRefused);
    FUZZ_CHECK(headers.Location() == (bRefused || locations.empty() ? std::string() : locations[0]));
    const bool bChunked = !codings.empty() && codings.back() == "chunked";
    FUZZ_CHECK(headers.IsChunked() == bChunked);
    FUZZ_CHECK(headers.UnsupportedEncoding() == (bTransferEncoding && !(codings.size() == 1 && bChunked)));
}

std::vector<std::string> Lines(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < size; ++i)
    {
        if (data[i] == '\n' || data[i] == '\0')
        {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        }
        else
        {
            line.push_back(static_cast<char>(data[i]));
        }
    }
    lines.push_back(line);
    return lines;
}

const char* FieldOrNull(const std::vector<std::string>& fields, size_t i)
{
    return i < fields.size() ? fields[i].c_str() : nullptr;
}

void BuildRequest(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 4);
    const char* pszTarget = FieldOrNull(fields, 0);
    const char* pszHost = FieldOrNull(fields, 1);
    const char* pszAgent = FieldOrNull(fields, 2);
    const char* pszAuthorization = FieldOrNull(fields, 3);
    auto text = [](const char* psz) { return std::string(psz ? psz : ""); };
    // The last field keeps its zero bytes; the builder reads up to the first.
    const std::string authorization = text(pszAuthorization).substr(0, text(pszAuthorization).find('\0'));

    const std::string expected = "GET " + text(pszTarget) + " HTTP/1.1\r\nHost: " + text(pszHost) +
                                 "\r\nUser-Agent: " + text(pszAgent) + "\r\n" +
                                 (authorization.empty() ? "" : "Authorization: " + authorization + "\r\n") +
                                 "Connection: close\r\nAccept-Encoding: identity\r\n\r\n";
    bool bRefused = text(pszTarget).empty() || text(pszHost).empty();
    for (char c : text(pszTarget))
        bRefused = bRefused || static_cast<unsigned char>(c) <= 0x20 || c == 0x7f;
    for (const std::string& field : {text(pszHost), text(pszAgent), authorization})
        bRefused = bRefused || field.find_first_of("\r\n") != std::string::npos;

    fuzz::CheckBuildForEveryCapacity(expected, bRefused, 4096, [&](char* pBuf, size_t cap) {
        return http::BuildGet11Request(pBuf, cap, pszTarget, pszHost, pszAgent, pszAuthorization);
    });
}

} // namespace

void CheckTraceMasking(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
    {
        const std::string shown = http::HeaderLineForTrace(line);
        FUZZ_CHECK(http::HeaderLineForTrace(shown) == shown);
        std::string name = line.substr(0, line.find(':'));
        for (char& c : name)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (line.find(':') != std::string::npos && (name == "cookie" || name == "set-cookie"))
            FUZZ_CHECK(shown.compare(0, name.size() + 9, line.substr(0, name.size()) + ": {value}") == 0 &&
                       shown.find_first_not_of("\r\n", name.size() + 9) == std::string::npos);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeChunked(data, size);
    ReadHeaders(Lines(data, size));
    CheckTraceMasking(Lines(data, size));
    BuildRequest(data, size);
    return 0;
}
