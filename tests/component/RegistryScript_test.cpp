// The registry script language: the control's own script read whole, the
// quoting of replacements, and malformed scripts refused.
#include "RegistryScript.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using regscript::Key;
using regscript::Removal;

const Key* Find(const std::vector<Key>& keys, const std::string& name)
{
    for (const Key& key : keys)
    {
        if (key.name == name)
            return &key;
    }
    return nullptr;
}

std::string ControlScript()
{
    std::ifstream in(VEXA_SOURCE_DIR "/src/component/VexCtl3.rgs", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RegistryScript, TheControlsScriptDescribesItsKeys)
{
    std::vector<regscript::RootBlock> blocks;
    std::string error;
    ASSERT_TRUE(regscript::Parse(ControlScript(), {{"MODULE", regscript::QuoteForScript("C:\\it's\\Vexa3.dll")}}, &blocks,
                                 &error))
        << error;
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].root, "HKCR");
    const auto& keys = blocks[0].keys;
    ASSERT_EQ(keys.size(), 3u);

    const Key* progId = Find(keys, "Vexa3.VexCtl3.1");
    ASSERT_NE(progId, nullptr);
    EXPECT_EQ(progId->defaultText, "Vexa v3.0");
    const Key* clsid = Find(keys, "CLSID");
    ASSERT_NE(clsid, nullptr);
    EXPECT_EQ(clsid->removal, Removal::kNoRemove);
    EXPECT_FALSE(clsid->bHasDefault);
    ASSERT_EQ(clsid->subkeys.size(), 1u);
    const Key& cls = clsid->subkeys[0];
    EXPECT_EQ(cls.name, "{FD49E712-C8BD-4795-9AA0-B0B311DA3415}");
    EXPECT_EQ(cls.removal, Removal::kForceRemove);

    const Key* inproc = Find(cls.subkeys, "InprocServer32");
    ASSERT_NE(inproc, nullptr);
    // The quote came in doubled and reads back as one.
    EXPECT_EQ(inproc->defaultText, "C:\\it's\\Vexa3.dll");
    ASSERT_EQ(inproc->values.size(), 1u);
    EXPECT_EQ(inproc->values[0].name, "ThreadingModel");
    EXPECT_EQ(inproc->values[0].text, "Apartment");
    EXPECT_EQ(Find(cls.subkeys, "ToolboxBitmap32")->defaultText, "C:\\it's\\Vexa3.dll, 101");
    EXPECT_EQ(Find(cls.subkeys, "Programmable")->removal, Removal::kForceRemove);
    EXPECT_FALSE(Find(cls.subkeys, "Programmable")->bHasDefault);
    const Key* misc = Find(cls.subkeys, "MiscStatus");
    ASSERT_NE(misc, nullptr);
    EXPECT_EQ(misc->defaultText, "0");
    EXPECT_EQ(Find(misc->subkeys, "1")->defaultText, "132497");
    EXPECT_EQ(Find(cls.subkeys, "Version")->defaultText, "1.0");
}

TEST(RegistryScript, QuotingAndPercentSigns)
{
    EXPECT_EQ(regscript::QuoteForScript("a'b''c"), "a''b''''c");
    std::vector<regscript::RootBlock> blocks;
    ASSERT_TRUE(regscript::Parse("HKLM { 'k''ey' = s '100%% %X%' }", {{"X", "x"}}, &blocks, nullptr));
    EXPECT_EQ(blocks[0].keys[0].name, "k'ey");
    EXPECT_EQ(blocks[0].keys[0].defaultText, "100% x");
}

TEST(RegistryScript, MalformedScriptsAreRefused)
{
    const char* bad[] = {
        "HKCR { key = s 'unterminated }",
        "HKCR { key = d '5' }",       // only string values
        "HKCR { key { }",             // unclosed block
        "HKCR { val Name = s 'x' }",  // named value outside a key
        "HKCR { key = s '%NOPE%' }",  // unknown replacement
        "HKCR { key = s '%MODULE }",  // unterminated replacement
        "HKCR key",
        "HKCR { {unterminated = s 'x' }",
    };
    for (const char* script : bad)
    {
        std::vector<regscript::RootBlock> blocks;
        std::string error;
        EXPECT_FALSE(regscript::Parse(script, {{"MODULE", "m"}}, &blocks, &error)) << script;
        EXPECT_FALSE(error.empty()) << script;
        EXPECT_TRUE(blocks.empty());
    }
}

TEST(RegistryScript, NestingIsBounded)
{
    std::string deep = "HKCR {";
    for (int i = 0; i < 40; ++i)
        deep += " k {";
    for (int i = 0; i < 40; ++i)
        deep += " }";
    deep += " }";
    std::vector<regscript::RootBlock> blocks;
    std::string error;
    EXPECT_FALSE(regscript::Parse(deep, {}, &blocks, &error));
    EXPECT_NE(error.find("deeply"), std::string::npos);
}

} // namespace
