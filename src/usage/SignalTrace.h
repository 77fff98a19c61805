// The live signal of the last minutes, in memory, for the aiming view: the
// engine thread adds each status poll's levels, the window reads a copy.
// Samples older than the window (5 minutes) are dropped as new ones come.
#pragma once

#include "usage/SignalHistory.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace kvusage {

struct TracePoint {
    int64_t t = 0; // seconds since 1970
    SignalSample s;
};

class CSignalTrace {
public:
    explicit CSignalTrace(int64_t keepSeconds = 300) : m_keep(keepSeconds) {}
    void Add(int64_t t, const SignalSample& s);
    std::vector<TracePoint> Points() const;

private:
    int64_t m_keep;
    mutable std::mutex m_lock;
    std::deque<TracePoint> m_points;
};

// The process's one trace (the window's engine feeds it).
CSignalTrace& LiveSignalTrace();

} // namespace kvusage
