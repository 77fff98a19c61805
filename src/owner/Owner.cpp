#include "owner/Owner.h"

namespace kv {

COwner::COwner(const OwnerParts& parts)
    : m_work(parts.post), m_feed(m_hub, parts, m_work), m_actions(parts, m_work, m_feed)
{
    m_feed.Start();
}

COwner::~COwner() { Close(); }

void COwner::Close()
{
    m_feed.Stop();
    m_work.Close();
}

} // namespace kv
