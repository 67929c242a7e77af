// How long a passed revocation check is remembered, and for how many
// certificates.
#include "RevocationMemo.h"

#include <gtest/gtest.h>

#include <string>

TEST(RevocationMemo, RemembersAPassedCheckForItsWindowOnly)
{
    tls::CRevocationMemo memo;
    const uint64_t t0 = 1000;
    EXPECT_FALSE(memo.IsFresh("leaf", t0));
    memo.Remember("leaf", t0);
    EXPECT_TRUE(memo.IsFresh("leaf", t0 + tls::CRevocationMemo::kMemoMilliseconds - 1));
    EXPECT_FALSE(memo.IsFresh("leaf", t0 + tls::CRevocationMemo::kMemoMilliseconds));
    EXPECT_FALSE(memo.IsFresh("other", t0));
    memo.Remember("", t0);
    EXPECT_FALSE(memo.IsFresh("", t0)) << "a certificate without a hash is always checked";
}

TEST(RevocationMemo, TheOldestEntryMakesRoom)
{
    tls::CRevocationMemo memo;
    for (uint64_t i = 0; i <= tls::CRevocationMemo::kMaxEntries; ++i)
        memo.Remember("cert" + std::to_string(i), 100 + i);
    EXPECT_FALSE(memo.IsFresh("cert0", 200));
    EXPECT_TRUE(memo.IsFresh("cert1", 200));
    EXPECT_TRUE(memo.IsFresh("cert" + std::to_string(tls::CRevocationMemo::kMaxEntries), 200));
}
