#include "funds/RowPool.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <system_error>

namespace fw {

namespace {

// The process's bulk rows: a row waits for one of kMostBulkRows places, in
// the order the rows asked, so a load started during another one gets its
// turn instead of waiting for the other to end. Threads that were let go are
// kept here and joined once ended; the rest at exit.
class BulkWork {
public:
    static BulkWork& instance()
    {
        static BulkWork work;
        return work;
    }
    ~BulkWork() { joinLeftOver(); }

    void joinLeftOver()
    {
        std::vector<std::thread> left;
        {
            std::lock_guard lock(m_mutex);
            for (auto& t : m_leftOver)
                left.push_back(std::move(t.first));
            m_leftOver.clear();
        }
        for (std::thread& t : left)
            if (t.joinable())
                t.join();
    }

    // False when `closed` was set before a place came free.
    bool enter(const std::atomic<bool>& closed)
    {
        std::unique_lock lock(m_mutex);
        const uint64_t me = m_nextTurn++;
        m_waiting.push_back(me);
        for (;;) {
            if (closed.load()) {
                m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), me));
                m_changed.notify_all();
                return false;
            }
            if (m_waiting.front() == me && m_running < RowPool::kMostBulkRows) {
                m_waiting.pop_front();
                ++m_running;
                m_changed.notify_all();
                return true;
            }
            // A closed run's thread is woken by wakeAll(); the slice is a guard.
            m_changed.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    void leave()
    {
        std::lock_guard lock(m_mutex);
        --m_running;
        m_changed.notify_all();
    }
    void wakeAll()
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    void adopt(std::thread thread, std::shared_ptr<std::atomic<bool>> done)
    {
        std::vector<std::thread> ended;
        {
            std::lock_guard lock(m_mutex);
            // Those let go earlier that have ended are joined now (they are
            // past their last row: no wait), so the list stays short.
            for (auto it = m_leftOver.begin(); it != m_leftOver.end();) {
                if (it->second->load()) {
                    ended.push_back(std::move(it->first));
                    it = m_leftOver.erase(it);
                } else {
                    ++it;
                }
            }
            m_leftOver.emplace_back(std::move(thread), std::move(done));
        }
        // Joined again at exit, before the function-local statics that the
        // threads' jobs may still read are gone: those made before now end
        // after this handler. The threads' loads are cancelled, so the joins
        // are short.
        std::atexit([] { BulkWork::instance().joinLeftOver(); });
        for (std::thread& t : ended)
            if (t.joinable())
                t.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<uint64_t> m_waiting;
    uint64_t m_nextTurn = 0;
    int m_running = 0;
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> m_leftOver;
};

} // namespace

RowPool::~RowPool()
{
    close();
    reap(true);
}

bool RowPool::start(int rows, int threads, Job job)
{
    BulkWork::instance(); // made before any thread, so it outlives them all
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
    BulkWork::instance().wakeAll();
}

void RowPool::joinLetGo() { BulkWork::instance().joinLeftOver(); }

void RowPool::letGo()
{
    close();
    for (Thread& t : m_threads)
        BulkWork::instance().adopt(std::move(t.thread), std::move(t.done));
    m_threads.clear();
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

namespace {
thread_local bool t_onBulkRow = false;
} // namespace

bool RowPool::onBulkRow() { return t_onBulkRow; }

void RowPool::Queue::run()
{
    while (!closed.load()) {
        if (nextRow.load() > rows)
            return;
        BulkWork& bulk = BulkWork::instance();
        if (!bulk.enter(closed))
            return;
        if (closed.load()) {
            bulk.leave();
            return;
        }
        const int row = nextRow.fetch_add(1);
        if (row > rows) {
            bulk.leave();
            return;
        }
        t_onBulkRow = true;
        job(row);
        t_onBulkRow = false;
        bulk.leave();
        if (rowsDone.fetch_add(1) + 1 >= rows) {
            std::lock_guard lock(mutex);
            lastRowDone.notify_all();
        }
    }
}

} // namespace fw
