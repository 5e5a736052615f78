#include "net/LoadToken.h"

namespace fw {

bool LoadTicket::cancelled() const { return m_state && m_state->current.load() != m_id; }

LoadTicket LoadToken::begin()
{
    std::lock_guard lock(m_state->mutex);
    return issue();
}

LoadTicket LoadToken::tryBegin()
{
    std::lock_guard lock(m_state->mutex);
    return running() ? LoadTicket() : issue();
}

bool LoadToken::finish(const LoadTicket& ticket)
{
    return finish(ticket, [] {});
}

bool LoadToken::isCurrent(const LoadTicket& ticket) const { return owns(ticket); }

bool LoadToken::running() const { return m_state->current.load() != 0; }

void LoadToken::cancel()
{
    std::lock_guard lock(m_state->mutex);
    m_state->current.store(0);
}

LoadTicket LoadToken::issue()
{
    const uint64_t id = ++m_state->issued;
    m_state->current.store(id);
    return LoadTicket(m_state, id);
}

bool LoadToken::owns(const LoadTicket& ticket) const
{
    return ticket.m_state == m_state && m_state->current.load() == ticket.m_id;
}

} // namespace fw
