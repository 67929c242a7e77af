// The registry script parser with a fuzzed script and fuzzed replacement
// values. An input with at least two zero bytes is
//
//   module path \0 NAME=VALUE \0 script
//
// (the path is quoted as the registration quotes it, the second replacement
// goes in as it is); any other input is the script alone, with a fixed
// module path.
//
// Besides the sanitizers, two properties are checked: a parsed script,
// written back as text, parses to the same keys; and any module path, once
// quoted, reads back unchanged from a quoted text.
#include "RegistryScript.h"

#include "FuzzSupport.h"

#include <map>
#include <string>
#include <vector>

namespace {

template <typename T, typename Same>
bool SameLists(const std::vector<T>& a, const std::vector<T>& b, Same same)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (!same(a[i], b[i]))
            return false;
    }
    return true;
}

bool SameKey(const regscript::Key& a, const regscript::Key& b)
{
    auto sameValue = [](const regscript::NamedValue& x, const regscript::NamedValue& y) {
        return x.name == y.name && x.text == y.text;
    };
    return a.name == b.name && a.removal == b.removal && a.bHasDefault == b.bHasDefault &&
           a.defaultText == b.defaultText && SameLists(a.values, b.values, sameValue) &&
           SameLists(a.subkeys, b.subkeys, SameKey);
}

bool SameBlocks(const std::vector<regscript::RootBlock>& a, const std::vector<regscript::RootBlock>& b)
{
    return SameLists(a, b, [](const regscript::RootBlock& x, const regscript::RootBlock& y) {
        return x.root == y.root && SameLists(x.keys, y.keys, SameKey);
    });
}

// A quoted text that survives both the replacement pass (every percent sign
// doubled) and the reader (every quote doubled).
std::string Quoted(const std::string& text)
{
    std::string escaped;
    for (char c : regscript::QuoteForScript(text))
    {
        escaped += c;
        if (c == '%')
            escaped += '%';
    }
    return "'" + escaped + "'";
}

void WriteKey(const regscript::Key& key, std::string* pText)
{
    if (key.removal == regscript::Removal::kNoRemove)
        *pText += "NoRemove ";
    else if (key.removal == regscript::Removal::kForceRemove)
        *pText += "ForceRemove ";
    *pText += Quoted(key.name);
    if (key.bHasDefault)
        *pText += " = s " + Quoted(key.defaultText);
    *pText += "\n";
    // A block only where there is something in it: an empty one still
    // counts towards the nesting limit.
    if (key.values.empty() && key.subkeys.empty())
        return;
    *pText += "{\n";
    for (const regscript::NamedValue& value : key.values)
        *pText += "val " + Quoted(value.name) + " = s " + Quoted(value.text) + "\n";
    for (const regscript::Key& subkey : key.subkeys)
        WriteKey(subkey, pText);
    *pText += "}\n";
}

std::string WriteScript(const std::vector<regscript::RootBlock>& blocks)
{
    std::string text;
    for (const regscript::RootBlock& block : blocks)
    {
        text += Quoted(block.root) + "\n{\n";
        for (const regscript::Key& key : block.keys)
            WriteKey(key, &text);
        text += "}\n";
    }
    return text;
}

void CheckParse(const std::string& script, const std::map<std::string, std::string>& replacements)
{
    std::vector<regscript::RootBlock> blocks(1);
    std::string error;
    if (!regscript::Parse(script, replacements, &blocks, &error))
    {
        FUZZ_CHECK(blocks.empty());
        FUZZ_CHECK(!error.empty());
        return;
    }
    // A null error text is allowed.
    std::vector<regscript::RootBlock> again;
    FUZZ_CHECK(regscript::Parse(script, replacements, &again, nullptr));
    FUZZ_CHECK(SameBlocks(again, blocks));

    const std::string written = WriteScript(blocks);
    std::vector<regscript::RootBlock> reread;
    std::string rereadError;
    if (!regscript::Parse(written, {}, &reread, &rereadError))
    {
        std::fprintf(stderr, "written back:\n%s\nerror: %s\n", written.c_str(), rereadError.c_str());
        FUZZ_CHECK(!"a parsed script written back does not parse");
    }
    FUZZ_CHECK(SameBlocks(reread, blocks));
}

// The module path in a default value and a named value, quoted as the
// registration quotes it.
void CheckQuotedPath(const std::string& path)
{
    const std::string script = "HKCR\n{\n\tInprocServer32 = s '%MODULE%'\n\t{\n"
                               "\t\tval Path = s '%MODULE%'\n\t}\n}\n";
    std::vector<regscript::RootBlock> blocks;
    std::string error;
    FUZZ_CHECK(regscript::Parse(script, {{"MODULE", regscript::QuoteForScript(path)}}, &blocks, &error));
    FUZZ_CHECK(blocks.size() == 1 && blocks[0].keys.size() == 1);
    const regscript::Key& key = blocks[0].keys[0];
    FUZZ_CHECK(key.bHasDefault && key.defaultText == path);
    FUZZ_CHECK(key.values.size() == 1 && key.values[0].text == path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 3);
    std::string modulePath = "C:\\Program Files\\Vexa3\\Vexa3.dll";
    std::map<std::string, std::string> replacements;
    std::string script;
    if (fields.size() == 3)
    {
        modulePath = fields[0];
        const size_t equals = fields[1].find('=');
        if (equals != std::string::npos)
            replacements[fields[1].substr(0, equals)] = fields[1].substr(equals + 1);
        script = fields[2];
    }
    else
    {
        script.assign(reinterpret_cast<const char*>(data), size);
    }
    replacements["MODULE"] = regscript::QuoteForScript(modulePath);

    CheckParse(script, replacements);
    CheckQuotedPath(modulePath);
    return 0;
}
