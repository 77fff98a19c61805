// Traffic statistics: one 24-byte record per finished data session, appended
// to three small files ("PktFF.dat", "PktMF.dat", "PktLF.dat") whose folder is
// the "Curdir" prefix of the settings, and the sums read back from them.
//
// A relative prefix (the default empty one included) is taken inside the user
// data folder. Every operation reads the prefix anew and opens and closes its
// file; readers take whole records only, so a record torn by a crash in the
// middle of an append reads as absent, and the next append writes over it.
#pragma once

#include <cstdint>
#include <string>

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

inline constexpr const char* kTrafficFileAll = "PktFF.dat";    // totals, month sums
inline constexpr const char* kTrafficFileMirror = "PktMF.dat"; // kept, never read
inline constexpr const char* kTrafficFileLast = "PktLF.dat";   // the last session

// The two numberings of kind: totals and the last session count received as
// 0 and sent as 1; the month sums count received as 1 and sent as 2.
inline constexpr int kTotalReceived = 0;
inline constexpr int kTotalSent = 1;
inline constexpr int kMonthReceived = 1;
inline constexpr int kMonthSent = 2;

// Appends the record to the three files, in that order; false when a file
// could not be written. Each copy's time is set to the current time when it
// is written (the field's value is not used). A session that received nothing
// is not recorded (true, files untouched). A file that cannot be opened or
// created is skipped; the others still get the record. A data folder or a
// file that is not the user's own (or a symbolic link in a file's place) is
// refused and gets nothing. On failure why (if given) says what went wrong.
bool AppendTrafficRecord(const TrafficRecord& record, std::string* why = nullptr);

// The path of one traffic file under the current "Curdir" prefix.
std::string TrafficFilePath(const char* file);

// Sum over all records of "PktFF.dat": bytes received (kind 0) or sent (1).
double SumTrafficTotal(int kind);
// Bytes received (0) or sent (1) of the last record of "PktLF.dat"; 0 without.
double LastSessionBytes(int kind);
// Duration (ms) and time of the last record of "PktLF.dat"; 0 without.
uint32_t LastSessionDuration();
int64_t LastSessionTime();
// Over the records of "PktFF.dat" with time >= start: bytes received (kind 1)
// or sent (kind 2).
double SumTrafficSince(int64_t start, int kind);
// As SumTrafficSince, for start <= time <= end.
double SumTrafficBetween(int64_t start, int64_t end, int kind);

// Month windows in local time. The current month runs from the 1st at
// 00:00:00 to now; the previous month from its 1st at 00:00:00 to one second
// before the current month's start.
struct MonthWindow {
    int64_t start = 0;
    int64_t end = 0;
};
MonthWindow CurrentMonthWindow(int64_t now);
MonthWindow PreviousMonthWindow(int64_t now);

struct MonthTraffic {
    MonthWindow window;
    double download = 0;
    double upload = 0;
    double Total() const { return download + upload; }
};
// The current month sums counts every record from its start on (records
// dated in the future, after a clock change, included).
MonthTraffic CurrentMonthTraffic(int64_t now);
MonthTraffic PreviousMonthTraffic(int64_t now);

// Everything the traffic displays show, gathered in one pass over
// "PktFF.dat" and one read of the last record of "PktLF.dat".
struct TrafficOverview {
    double totalReceived = 0;
    double totalSent = 0;
    bool hasLast = false;
    TrafficRecord last;
    MonthTraffic current;
    MonthTraffic previous;
};
TrafficOverview ReadTrafficOverview(int64_t now);

} // namespace kvtraffic
