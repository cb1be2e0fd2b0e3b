#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace kit {

// The last few values made, each with the key it was made for, the most recently used first: a
// picture drawn again with every frame of an animation near it is made once, not at every frame.
// Keys are compared with ==. Not thread-safe.
template <typename Key, typename Value, std::size_t Capacity>
class RecentlyUsed
{
public:
    // The value kept for `key`, or the one `make()` gives, kept in place of the least recently
    // used once Capacity are kept.
    template <typename Make>
    const Value& get(const Key& key, Make&& make)
    {
        const auto found =
            std::find_if(m_kept.begin(), m_kept.end(), [&key](const Entry& e) { return e.first == key; });
        if (found != m_kept.end()) {
            std::rotate(m_kept.begin(), found, found + 1);
            return m_kept.front().second;
        }
        if (m_kept.size() == Capacity) {
            m_kept.pop_back();
        }
        m_kept.insert(m_kept.begin(), Entry(key, std::forward<Make>(make)()));
        return m_kept.front().second;
    }

private:
    using Entry = std::pair<Key, Value>;
    std::vector<Entry> m_kept;
};

} // namespace kit
