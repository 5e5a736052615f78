#include "net/LoadToken.h"

namespace fw {

bool LoadTicket::cancelled() const { return m_state && m_state->current.load() != m_id; }

LoadTicket LoadToken::begin()
{
    const uint64_t id = m_state->issued.fetch_add(1) + 1;
    m_state->current.store(id);
    return LoadTicket(m_state, id);
}

bool LoadToken::isCurrent(const LoadTicket& ticket) const
{
    return ticket.m_state == m_state && !ticket.cancelled();
}

void LoadToken::cancel() { m_state->current.store(0); }

} // namespace fw
