#pragma once
// Which load may write. A feature that loads (a list into the fund grid, a
// refresh, a pick's holdings, a search) owns a LoadToken; each load it starts
// takes a LoadTicket, and writes only while its ticket is the token's current
// one. Two rules, one type:
// - the newest wins (begin): beginning a load ends the one under way;
// - refuse while one runs (tryBegin ... finish): no ticket while one is under way.
// Every fetch of a load may carry its ticket (HttpRequestOptions::load,
// RetryPolicy::load): once the load is no longer current its transfer in
// flight is abandoned at once by the transfer itself, and no further request
// of it is sent. A write through the token (write, finish) runs under the
// token's lock, so once begin() or cancel() returns no older load writes
// again. The ticket shares the token's state, so a worker may keep asking
// after the token's owner is gone. Safe on any thread. No Qt.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace fw {

class LoadToken;

class LoadTicket {
public:
    // A ticket of no load: never cancelled (the one-shot fetches), never current.
    LoadTicket() = default;
    // A newer load began on the token, or this one was cancelled or finished.
    bool cancelled() const;
    // Taken from a token (a default ticket belongs to no load; tryBegin
    // gives one while a load is under way).
    explicit operator bool() const { return m_state != nullptr; }

private:
    friend class LoadToken;
    struct State {
        std::atomic<uint64_t> current {0}; // the ticket of the load under way; 0: none
        uint64_t issued = 0;               // under `mutex`
        std::mutex mutex;                  // held by every change of `current` and every write
    };
    LoadTicket(std::shared_ptr<const State> state, uint64_t id) : m_state(std::move(state)), m_id(id) {}

    std::shared_ptr<const State> m_state;
    uint64_t m_id = 0;
};

class LoadToken {
public:
    LoadToken() : m_state(std::make_shared<LoadTicket::State>()) {}
    LoadToken(const LoadToken&) = delete;
    LoadToken& operator=(const LoadToken&) = delete;

    // A new load; the one under way (if any) is cancelled.
    LoadTicket begin();
    // A new load when none is under way; a default ticket (false) while one is.
    LoadTicket tryBegin();
    // The ticket's load has ended: when it is still current, no load is under
    // way any more and `last` runs under the lock (a cancel() waits for it).
    // False, and `last` not run, when the ticket was no longer current.
    template <typename Write>
    bool finish(const LoadTicket& ticket, Write&& last)
    {
        std::lock_guard lock(m_state->mutex);
        if (!owns(ticket))
            return false;
        m_state->current.store(0);
        last();
        return true;
    }
    bool finish(const LoadTicket& ticket);

    // The ticket is this token's newest and was neither cancelled nor finished.
    bool isCurrent(const LoadTicket& ticket) const;
    // A load is under way.
    bool running() const;
    // No load of this token is current any more.
    void cancel();

    // Runs `write` while `ticket` is current, under the lock that begin(),
    // tryBegin() and cancel() take: the check and the write are one step.
    // False, and nothing run, when the ticket is no longer current. `write`
    // must not call back into the token.
    template <typename Write>
    bool write(const LoadTicket& ticket, Write&& write)
    {
        std::lock_guard lock(m_state->mutex);
        if (!owns(ticket))
            return false;
        write();
        return true;
    }

private:
    LoadTicket issue(); // under the lock
    bool owns(const LoadTicket& ticket) const;

    std::shared_ptr<LoadTicket::State> m_state;
};

} // namespace fw
