// Chains whose revocation was checked a short while ago and found in order.
// Checking revocation means fetching and verifying the issuers' CRLs;
// under Wine 8 that happens anew for every connection (about 13 ms of a
// 17 ms handshake against a loopback server), where Windows keeps CRLs until
// their next update. A chain remembered here is not asked about again for
// kMemoMilliseconds; its trust, dates, usage and name are still checked on
// every connection. Only chains that passed every check, and whose
// revocation status was learnt for every certificate (not unknown, not
// offline), are kept. No platform header: the key is made of the hashes of
// every certificate of the chain (the same leaf under another intermediate
// is another chain), the time comes from the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tls {

class CRevocationMemo
{
public:
    static constexpr uint64_t kMemoMilliseconds = 10 * 60 * 1000;
    static constexpr size_t kMaxEntries = 32;

    // Whether the chain with this key passed a revocation check less than
    // kMemoMilliseconds before nowMs.
    bool IsFresh(const std::string& key, uint64_t nowMs);
    // Remembers a passed check; the oldest entry makes room when full.
    void Remember(const std::string& key, uint64_t nowMs);

private:
    struct Entry
    {
        std::string key;
        uint64_t checkedMs;
    };
    std::mutex m_lock; // controls on several threads may check at once
    std::vector<Entry> m_entries;
};

} // namespace tls
