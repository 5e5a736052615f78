#include "funds/RowPool.h"

#include <system_error>

namespace fw {

RowPool::~RowPool()
{
    close();
    reap(true);
}

bool RowPool::start(int rows, int threads, Job job)
{
    m_queue = std::make_shared<Queue>();
    m_queue->job = std::move(job);
    m_queue->rows = rows;
    for (int i = 0; i < threads; ++i) {
        try {
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::thread thread([queue = m_queue, done] {
                queue->run();
                done->store(true);
            });
            m_threads.push_back({std::move(thread), std::move(done)});
        } catch (const std::system_error&) {
            return i > 0; // fewer threads take the rows
        }
    }
    return true;
}

int RowPool::rows() const
{
    return m_queue ? m_queue->rows : 0;
}

int RowPool::rowsDone() const
{
    return m_queue ? m_queue->rowsDone.load() : 0;
}

void RowPool::waitFor(std::chrono::milliseconds wait, const std::function<bool()>& stop)
{
    if (!m_queue)
        return;
    Queue& q = *m_queue;
    std::unique_lock lock(q.mutex);
    q.lastRowDone.wait_for(lock, wait, [&] { return q.rowsDone.load() >= q.rows || stop(); });
}

void RowPool::wake()
{
    if (!m_queue)
        return;
    std::lock_guard lock(m_queue->mutex);
    m_queue->lastRowDone.notify_all();
}

void RowPool::close()
{
    if (m_queue)
        m_queue->closed.store(true);
}

void RowPool::reap(bool all)
{
    std::erase_if(m_threads, [all](Thread& t) {
        if (!all && !t.done->load())
            return false;
        if (t.thread.joinable())
            t.thread.join();
        return true;
    });
}

void RowPool::Queue::run()
{
    while (!closed.load()) {
        const int row = nextRow.fetch_add(1);
        if (row > rows)
            return;
        job(row);
        if (rowsDone.fetch_add(1) + 1 >= rows) {
            std::lock_guard lock(mutex);
            lastRowDone.notify_all();
        }
    }
}

} // namespace fw
