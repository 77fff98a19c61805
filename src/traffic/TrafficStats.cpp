#include "traffic/TrafficStats.h"

namespace kvtraffic {

bool AppendTrafficRecord(const TrafficRecord&) { return false; }

} // namespace kvtraffic
