#pragma once
// The listeners of a model. Safe from any thread. Listeners are called one at a
// time; once remove() returns, that listener is not running and is never called
// again, so its owner may be destroyed while workers still write to the model.
// A listener must not add or remove listeners.
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
        std::erase_if(m_entries, [id](const auto& entry) { return entry.first == id; });
    }

    // Call without holding the model's data lock: a listener may read the model.
    void notify(Args... args)
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries)
            if (entry.second)
                entry.second(args...);
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, Listener>> m_entries;
    int m_nextId = 1;
};

} // namespace fw
