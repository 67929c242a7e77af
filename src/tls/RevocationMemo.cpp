#include "RevocationMemo.h"

#include <algorithm>

namespace tls {

bool CRevocationMemo::IsFresh(const std::string& key, uint64_t nowMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const Entry& entry : m_entries)
    {
        if (entry.key == key)
            return nowMs >= entry.checkedMs && nowMs - entry.checkedMs < kMemoMilliseconds;
    }
    return false;
}

void CRevocationMemo::Remember(const std::string& key, uint64_t nowMs)
{
    if (key.empty())
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    for (Entry& entry : m_entries)
    {
        if (entry.key == key)
        {
            entry.checkedMs = nowMs;
            return;
        }
    }
    if (m_entries.size() == kMaxEntries)
    {
        const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                             [](const Entry& a, const Entry& b) { return a.checkedMs < b.checkedMs; });
        m_entries.erase(oldest);
    }
    m_entries.push_back({key, nowMs});
}

} // namespace tls
