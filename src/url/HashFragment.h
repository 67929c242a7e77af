// The digest a FetchURL URL may carry in its fragment, the convention of
// package indexes: "#sha256=<64 hex digits>" (also sha384, sha512). The
// fragment is '&'-separated name=value items; other items are left alone,
// as any fragment is. No platform header, so this also builds natively.
#pragma once

#include "HashAlgorithm.h"

#include <string>

namespace url {

struct ExpectedHash
{
    HashAlgorithm algorithm = HashAlgorithm::kNone; // kNone: nothing to verify
    std::string hex;                                // lower case
};

// False when the fragment asks for a verification that cannot be done: a
// digest of the wrong length or with a character that is no hex digit, a
// second digest, or md5, sha1 or sha224 (too weak to be relied on). A
// caller that went on would keep a file nobody verified.
bool ReadHashFragment(const std::string& fragment, ExpectedHash* pExpected);

} // namespace url
