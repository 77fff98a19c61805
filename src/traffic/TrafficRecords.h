// The byte level of the traffic files: the 24-byte little-endian record and
// the sums over a run of records in memory. Pure functions, no files, no
// threads: the file readers, the fuzzer and the benchmarks share them.
#pragma once

#include "traffic/TrafficStats.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kvtraffic {

void EncodeTrafficRecord(const TrafficRecord& record, uint8_t out[kTrafficRecordSize]);
TrafficRecord DecodeTrafficRecord(const uint8_t in[kTrafficRecordSize]);

// Which time windows one pass sums besides the totals. The defaults select
// no record.
struct TrafficQuery {
    int64_t since = std::numeric_limits<int64_t>::max(); // time >= since
    int64_t from = std::numeric_limits<int64_t>::max();  // from <= time <= to
    int64_t to = std::numeric_limits<int64_t>::min();
};

// Sums are kept as exact 64-bit integers: the same values a double would
// hold while they stay below 2^53, and exact beyond.
struct TrafficSums {
    uint64_t records = 0;
    uint64_t received = 0, sent = 0;
    uint64_t sinceReceived = 0, sinceSent = 0;
    uint64_t betweenReceived = 0, betweenSent = 0;
    bool hasLast = false;
    TrafficRecord last;
};

// Adds count whole records starting at data.
void AccumulateTrafficRecords(const uint8_t* data, size_t count, const TrafficQuery& query, TrafficSums& sums);

// Sums a buffer as a file holds it: whole records only; a torn tail (fewer
// than 24 bytes at the end) contributes nothing.
TrafficSums SumTrafficBuffer(const uint8_t* data, size_t size, const TrafficQuery& query);

// Readers do not follow a symbolic link in a file's place (it reads as no file).

// Reads a traffic file and adds its whole records to sums. False (sums
// untouched) when the file cannot be opened; a read error ends the sums at
// what was read before it.
bool SumTrafficFile(const std::string& path, const TrafficQuery& query, TrafficSums& sums);

// The latest end time a session's record can sensibly hold (2^40 s).
inline constexpr int64_t kLatestSessionTime = int64_t(1) << 40;
// The sessions of count whole records at data that were up at some time in
// [from, to) (a record's time is its end, its duration says when it began).
// Records with a time outside 0 .. kLatestSessionTime are left out.
void CollectTrafficSessions(const uint8_t* data, size_t count, int64_t from, int64_t to,
                            std::vector<TrafficRecord>& out);
// The same over a whole file; false when the file cannot be opened.
bool ReadTrafficSessions(const std::string& path, int64_t from, int64_t to, std::vector<TrafficRecord>& out);
// The last whole record of a file; false when there is none or the file
// cannot be read.
bool ReadLastTrafficRecord(const std::string& path, TrafficRecord& out);

// Appends one record to a file (created 0600 when missing). The record goes
// at the end of the last whole record, so a torn tail left by a crash is
// written over and never shifts later records; the file never shrinks. The
// append is serialised against other writers with an exclusive lock and
// synced before it returns. The file must be a regular file of the user's
// own in a folder of the user's own; a symbolic link is not followed. On
// failure why (if given) says what went wrong.
bool AppendTrafficRecordToFile(const std::string& path, const TrafficRecord& record, std::string* why = nullptr);

} // namespace kvtraffic
