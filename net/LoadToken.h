#pragma once
// The cancel of one load. A feature that loads (a refresh, a whole-market
// load, a command's estimates) owns a LoadToken; each load it starts takes a
// LoadTicket from begin(), and every fetch of that load carries the ticket
// (HttpRequestOptions::load, RetryPolicy::load). Beginning a newer load or
// cancelling ends the older one: its transfer in flight is abandoned at once
// by the transfer itself, and no further request of it is sent. The ticket
// shares the token's state, so a worker may keep asking after the token's
// owner is gone. Safe on any thread. No Qt.
#include <atomic>
#include <cstdint>
#include <memory>

namespace fw {

class LoadToken;

class LoadTicket {
public:
    // A ticket of no load: never cancelled (the one-shot fetches).
    LoadTicket() = default;
    // A newer load began on the token, or it was cancelled.
    bool cancelled() const;
    // Taken from a token (a default ticket belongs to no load).
    explicit operator bool() const { return m_state != nullptr; }

private:
    friend class LoadToken;
    struct State {
        std::atomic<uint64_t> current {0}; // the ticket of the load under way; 0: none
        std::atomic<uint64_t> issued {0};
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
    // The ticket is this token's newest and was not cancelled.
    bool isCurrent(const LoadTicket& ticket) const;
    // No load of this token is current any more.
    void cancel();

private:
    std::shared_ptr<LoadTicket::State> m_state;
};

} // namespace fw
