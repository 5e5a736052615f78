#pragma once
// The listeners of a model. Safe from any thread. Listeners are called one at a
// time; once remove() returns, that listener is not running on another thread
// and is never called again, so its owner may be destroyed while workers still
// write to the model. A listener may write to the model it listens to (the
// nested notification runs on the same thread, inside the first one) and may
// remove listeners, itself included.
#include <algorithm>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace fw {

template <typename... Args>
class Listeners {
public:
    using Listener = std::function<void(Args...)>;

    int add(Listener listener)
    {
        std::lock_guard lock(m_mutex);
        const int id = m_nextId++;
        m_entries.emplace_back(id, std::move(listener));
        return id;
    }

    void remove(int id)
    {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_entries)
            if (entry.first == id)
                entry.second = nullptr; // an outer notify() may be walking the list
        if (m_depth == 0)
            compact();
    }

    // Call without holding the model's data lock: a listener may read the model.
    void notify(Args... args)
    {
        std::lock_guard lock(m_mutex); // recursive: the same thread may come back in
        ++m_depth;
        // By index: a nested notify or add may grow the vector under us.
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (!m_entries[i].second)
                continue;
            Listener& listener = m_entries[i].second;
            // A copy, so that a listener removing itself does not destroy the
            // function it is running in.
            Listener current = listener;
            current(args...);
        }
        if (--m_depth == 0)
            compact();
    }

private:
    void compact()
    {
        std::erase_if(m_entries, [](const auto& entry) { return !entry.second; });
    }

    std::recursive_mutex m_mutex;
    std::vector<std::pair<int, Listener>> m_entries;
    int m_nextId = 1;
    int m_depth = 0;
};

} // namespace fw
