#pragma once
// Lets only the newest of several workers write to what they share. Each start
// opens a new generation; a worker writes through the gate with its own, and
// once a newer one is open (or all are closed) its writes are refused. A write
// runs under the gate's lock, so after open() or closeAll() returns no older
// worker writes again.
#include <cstdint>
#include <mutex>

namespace fw {

class WriteGate {
public:
    uint64_t open()
    {
        std::lock_guard lock(m_mutex);
        return ++m_generation;
    }

    void closeAll()
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
    }

    bool isOpen(uint64_t generation) const
    {
        std::lock_guard lock(m_mutex);
        return generation == m_generation;
    }

    // Runs `write` when `generation` is still the open one; false otherwise.
    template <typename Write>
    bool write(uint64_t generation, Write&& write)
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation)
            return false;
        write();
        return true;
    }

private:
    mutable std::mutex m_mutex;
    uint64_t m_generation = 0;
};

} // namespace fw
