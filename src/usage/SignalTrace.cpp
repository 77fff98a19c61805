// The live signal trace: see SignalTrace.h.
#include "usage/SignalTrace.h"

namespace kvusage {

void CSignalTrace::Add(int64_t t, const SignalSample& s)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_points.push_back(TracePoint{t, s});
    // A clock set back leaves no point from "the future" behind either.
    while (!m_points.empty() && (m_points.front().t < t - m_keep || m_points.front().t > t))
        m_points.pop_front();
    if (m_points.size() > 100000)
        m_points.pop_front();
}

std::vector<TracePoint> CSignalTrace::Points() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return {m_points.begin(), m_points.end()};
}

CSignalTrace& LiveSignalTrace()
{
    static CSignalTrace trace;
    return trace;
}

} // namespace kvusage
