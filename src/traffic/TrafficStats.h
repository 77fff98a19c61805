// Traffic statistics: one 24-byte record per finished data session, appended
// to three small files ("PktFF.dat", "PktMF.dat", "PktLF.dat") whose folder is
// the "Curdir" prefix of the settings, and the sums read back from them.
#pragma once

#include <cstdint>

namespace kvtraffic {

// One finished session, stored little-endian with no header.
struct TrafficRecord {
    int64_t time = 0;           // seconds since 1970-01-01 UTC, at session end
    uint32_t reserved = 0;      // always 0
    uint32_t duration = 0;      // milliseconds
    uint32_t bytesSent = 0;     // upload
    uint32_t bytesReceived = 0; // download
};

inline constexpr int kTrafficRecordSize = 24;

// Appends the record to the three files, in that order; false when a file
// could not be written.
bool AppendTrafficRecord(const TrafficRecord& record);

} // namespace kvtraffic
