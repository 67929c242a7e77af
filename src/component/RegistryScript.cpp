#include "RegistryScript.h"

#include <cctype>

namespace regscript {
namespace {

class CParser
{
public:
    explicit CParser(const std::string& text) : m_text(text) {}

    bool ParseScript(std::vector<RootBlock>* pBlocks);
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& reason)
    {
        if (m_error.empty())
            m_error = reason + " at offset " + std::to_string(m_pos);
        return false;
    }
    void SkipBlanks();
    bool AtEnd() { SkipBlanks(); return m_pos >= m_text.size(); }
    bool Peek(char c) { SkipBlanks(); return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool Expect(char c);
    bool ReadToken(std::string* pToken, bool* pbQuoted);
    bool ParseBlock(Key* pOwner, std::vector<Key>* pKeys, int depth);
    bool ParseKey(const std::string& firstToken, bool bQuoted, Key* pKey, int depth);
    bool ParseStringValue(std::string* pText);

    const std::string& m_text;
    size_t m_pos = 0;
    std::string m_error;
};

void CParser::SkipBlanks()
{
    while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
        ++m_pos;
}

bool CParser::Expect(char c)
{
    if (!Peek(c))
        return Fail(std::string("expected '") + c + "'");
    ++m_pos;
    return true;
}

// A bare word (up to a blank, brace or '='), a name in braces such as a
// GUID, or a quoted text in which '' stands for one quote.
bool CParser::ReadToken(std::string* pToken, bool* pbQuoted)
{
    SkipBlanks();
    if (m_pos >= m_text.size())
        return Fail("unexpected end");
    std::string& raw = *pToken;
    raw.clear();
    *pbQuoted = m_text[m_pos] == '\'';
    if (*pbQuoted)
    {
        for (++m_pos;; ++m_pos)
        {
            if (m_pos >= m_text.size())
                return Fail("unterminated text");
            if (m_text[m_pos] == '\'')
            {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'')
                {
                    raw += '\'';
                    ++m_pos;
                    continue;
                }
                ++m_pos;
                break;
            }
            raw += m_text[m_pos];
        }
    }
    else if (m_text[m_pos] == '{')
    {
        // A key named by a GUID in braces; a block never starts where a
        // name is expected.
        const size_t end = m_text.find('}', m_pos);
        if (end == std::string::npos)
            return Fail("unterminated braced name");
        raw = m_text.substr(m_pos, end + 1 - m_pos);
        m_pos = end + 1;
    }
    else
    {
        while (m_pos < m_text.size())
        {
            const char c = m_text[m_pos];
            if (std::isspace(static_cast<unsigned char>(c)) || c == '{' || c == '}' || c == '=' || c == '\'')
                break;
            raw += c;
            ++m_pos;
        }
        if (raw.empty())
            return Fail("expected a name");
    }
    return true;
}

// "= s 'text'"
bool CParser::ParseStringValue(std::string* pText)
{
    if (!Expect('='))
        return false;
    std::string type;
    bool bQuoted = false;
    if (!ReadToken(&type, &bQuoted))
        return false;
    if (bQuoted || (type != "s" && type != "S"))
        return Fail("only string values (s) are supported");
    if (!Peek('\''))
        return Fail("expected a quoted text");
    return ReadToken(pText, &bQuoted);
}

bool CParser::ParseKey(const std::string& firstToken, bool bQuoted, Key* pKey, int depth)
{
    std::string name = firstToken;
    bool bNameQuoted = bQuoted;
    if (!bQuoted && (firstToken == "NoRemove" || firstToken == "ForceRemove"))
    {
        pKey->removal = firstToken == "NoRemove" ? Removal::kNoRemove : Removal::kForceRemove;
        if (!ReadToken(&name, &bNameQuoted))
            return false;
    }
    if (name.empty())
        return Fail("empty key name");
    pKey->name = name;
    if (Peek('='))
    {
        pKey->bHasDefault = true;
        if (!ParseStringValue(&pKey->defaultText))
            return false;
    }
    if (Peek('{'))
    {
        ++m_pos;
        if (depth + 1 > kMaxDepth)
            return Fail("nested too deeply");
        if (!ParseBlock(pKey, &pKey->subkeys, depth + 1) || !Expect('}'))
            return false;
    }
    return true;
}

// Keys, and named values of pOwner (none at the root), up to the closing
// brace, which is left for the caller.
bool CParser::ParseBlock(Key* pOwner, std::vector<Key>* pKeys, int depth)
{
    while (!AtEnd() && !Peek('}'))
    {
        std::string token;
        bool bQuoted = false;
        if (!ReadToken(&token, &bQuoted))
            return false;
        if (!bQuoted && token == "val")
        {
            if (!pOwner)
                return Fail("named value outside a key");
            NamedValue value;
            if (!ReadToken(&value.name, &bQuoted) || !ParseStringValue(&value.text))
                return false;
            pOwner->values.push_back(std::move(value));
            continue;
        }
        Key key;
        if (!ParseKey(token, bQuoted, &key, depth))
            return false;
        pKeys->push_back(std::move(key));
    }
    return true;
}

bool CParser::ParseScript(std::vector<RootBlock>* pBlocks)
{
    while (!AtEnd())
    {
        RootBlock block;
        bool bQuoted = false;
        if (!ReadToken(&block.root, &bQuoted))
            return false;
        if (!Expect('{') || !ParseBlock(nullptr, &block.keys, 1) || !Expect('}'))
            return false;
        pBlocks->push_back(std::move(block));
    }
    return true;
}

// Replaces every %NAME% of the text before it is read, as text: a value
// that holds a single quote must therefore come with it doubled.
bool ApplyReplacements(const std::string& text, const std::map<std::string, std::string>& replacements,
                       std::string* pResult, std::string* pError)
{
    pResult->clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            *pResult += text[i];
            continue;
        }
        const size_t end = text.find('%', i + 1);
        if (end == std::string::npos)
        {
            *pError = "unterminated replacement at offset " + std::to_string(i);
            return false;
        }
        const std::string name = text.substr(i + 1, end - i - 1);
        if (name.empty())
        {
            *pResult += '%';
        }
        else
        {
            const auto found = replacements.find(name);
            if (found == replacements.end())
            {
                *pError = "unknown replacement %" + name + "%";
                return false;
            }
            *pResult += found->second;
        }
        i = end;
    }
    return true;
}

} // namespace

bool Parse(const std::string& text, const std::map<std::string, std::string>& replacements,
           std::vector<RootBlock>* pBlocks, std::string* pError)
{
    pBlocks->clear();
    std::string replaced, error;
    if (!ApplyReplacements(text, replacements, &replaced, &error))
    {
        if (pError)
            *pError = error;
        return false;
    }
    CParser parser(replaced);
    if (parser.ParseScript(pBlocks))
        return true;
    pBlocks->clear();
    if (pError)
        *pError = parser.Error();
    return false;
}

std::string QuoteForScript(const std::string& text)
{
    std::string quoted;
    for (char c : text)
    {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted;
}

} // namespace regscript
