// The DM command queue: one lock per whole list operation.
#include "engine/ModemState.h"

#include <algorithm>

namespace kv {

void CDmQueue::Push(uint16_t code, bool atHead)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (atHead)
        m_list.push_front(code);
    else
        m_list.push_back(code);
}

bool CDmQueue::PopHead(uint16_t& code)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_list.empty())
        return false;
    code = m_list.front();
    m_list.pop_front();
    return true;
}

bool CDmQueue::Contains(uint16_t code) const
{
    std::lock_guard<std::mutex> g(m_lock);
    return std::find(m_list.begin(), m_list.end(), code) != m_list.end();
}

bool CDmQueue::RemoveFirst(uint16_t code)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = std::find(m_list.begin(), m_list.end(), code);
    if (it == m_list.end())
        return false;
    m_list.erase(it);
    return true;
}

void CDmQueue::Clear()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_list.clear();
}

bool CDmQueue::Empty() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_list.empty();
}

size_t CDmQueue::Size() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_list.size();
}

} // namespace kv
