// The registry script of the control class: a small language of keys in
// brace blocks under a root key, with default and named REG_SZ values,
// NoRemove / ForceRemove marks and %NAME% replacements:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Parsing needs no platform header, so it also builds natively for tests
// and fuzzing.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace regscript {

enum class Removal
{
    kNormal,      // created or opened; deleted when nothing is left in it
    kNoRemove,    // never deleted
    kForceRemove, // deleted with its subtree before it is written, and on removal
};

struct NamedValue
{
    std::string name;
    std::string text;
};

struct Key
{
    std::string name;
    Removal removal = Removal::kNormal;
    bool bHasDefault = false;
    std::string defaultText;
    std::vector<NamedValue> values;
    std::vector<Key> subkeys;
};

struct RootBlock
{
    std::string root; // "HKCR", "HKLM", ...
    std::vector<Key> keys;
};

// Deepest nesting of brace blocks accepted.
constexpr int kMaxDepth = 16;

// Parses a whole script after replacing every %NAME% by its value from
// replacements ("%%" stands for one percent sign). The replacement is
// textual: a value containing a single quote must be passed through
// QuoteForScript. False with a short reason when the script is malformed or
// names an unknown replacement.
bool Parse(const std::string& text, const std::map<std::string, std::string>& replacements,
           std::vector<RootBlock>* pBlocks, std::string* pError);

// A path as the script must receive it in a quoted text: every single quote
// doubled.
std::string QuoteForScript(const std::string& text);

} // namespace regscript
