#pragma once
// One job per row, rows 1..n, on at most a few threads that take the rows in
// order: a thread per row costs more than a row's requests on a busy machine,
// and a thread that takes its next row itself need not wait for the caller's
// thread to hand it over. Each start() has its own queue, kept alive by its
// threads, so threads left over from a closed run never count in a newer one.
// No Qt.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fw {

class RowPool {
public:
    using Job = std::function<void(int row)>;
    // Rows of all the process's pools running at one time.
    static constexpr int kMostBulkRows = 5;

    RowPool() = default;
    // Closes the run and waits for every thread (letGo() first: none).
    ~RowPool();
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;

    // Starts up to `threads` threads over rows 1..rows. False when not one
    // thread could be had (the rows are then not run at all); fewer threads
    // than asked for still take every row.
    bool start(int rows, int threads, Job job);
    int rows() const;
    // Rows whose job has ended.
    int rowsDone() const;
    bool finished() const { return rowsDone() >= rows(); }
    // Waits at most `wait` for the last row, or until wake() and `stop` says so.
    void waitFor(std::chrono::milliseconds wait, const std::function<bool()>& stop);
    void wake();
    // No more rows are taken; rows already running finish.
    void close();
    // Joins the threads that have ended; with `all`, waits for every thread.
    void reap(bool all);
    // Closes the run and hands every thread to the process, which joins each
    // once it has ended (at the latest when the process exits): for an owner
    // on the UI thread, which must never wait for a worker. The jobs must then
    // hold nothing of the owner's.
    void letGo();
    // Waits for every thread let go so far (their loads are cancelled, so
    // the wait is short): for the end of a process, before its statics go.
    static void joinLetGo();
    // True inside a row's job: the row counts as one of kMostBulkRows, so it
    // asks for one answer at a time.
    static bool onBulkRow();
    // Threads not yet reaped, ended or not.
    int threadCount() const { return int(m_threads.size()); }

private:
    struct Queue {
        Job job;
        int rows = 0;
        std::atomic<int> nextRow {1};
        std::atomic<int> rowsDone {0};
        std::atomic<bool> closed {false};
        std::mutex mutex;
        std::condition_variable lastRowDone;
        void run();
    };
    struct Thread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    std::shared_ptr<Queue> m_queue;
    std::vector<Thread> m_threads;
};

} // namespace fw
