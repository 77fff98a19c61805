// Feeds arbitrary bytes to the traffic record readers as a traffic file's
// contents: the sums over memory must match a record-by-record decode, the
// file reader and the last-record reader must agree with them, and every
// whole record must encode back to its bytes; the sessions a chart marks
// are whole records of a plausible time.
#include "traffic/TrafficRecords.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A real file of our own: the readers refuse to follow a link, and
// /proc/self/fd/N of an in-memory file is one.
const std::string& FilePath()
{
    static const std::string path = [] {
        char dir[] = "/tmp/kvfuzz-traffic-XXXXXX";
        return ::mkdtemp(dir) ? std::string(dir) + "/PktFF.dat" : std::string();
    }();
    return path;
}

int File()
{
    static int fd = FilePath().empty() ? -1 : ::open(FilePath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace kvtraffic;
    // The first 24 bytes (when there are that many) also choose the windows.
    TrafficQuery q;
    if (size >= 24) {
        std::memcpy(&q.since, data, 8);
        std::memcpy(&q.from, data + 8, 8);
        std::memcpy(&q.to, data + 16, 8);
    }
    const TrafficSums s = SumTrafficBuffer(data, size, q);
    // The sessions a chart marks: only whole records with a plausible time.
    std::vector<TrafficRecord> sessions;
    CollectTrafficSessions(data, size / kTrafficRecordSize, q.from, q.to, sessions);
    if (sessions.size() > size / kTrafficRecordSize)
        std::abort();
    for (const TrafficRecord& r : sessions)
        if (r.time < 0 || r.time > kLatestSessionTime)
            std::abort();
    const size_t whole = size / kTrafficRecordSize;
    if (s.records != whole || s.hasLast != (whole > 0))
        std::abort();
    uint64_t rx = 0, tx = 0, sinceRx = 0, betweenTx = 0;
    for (size_t i = 0; i < whole; ++i) {
        const uint8_t* p = data + i * kTrafficRecordSize;
        const TrafficRecord r = DecodeTrafficRecord(p);
        uint8_t back[kTrafficRecordSize];
        EncodeTrafficRecord(r, back);
        if (std::memcmp(back, p, kTrafficRecordSize) != 0)
            std::abort();
        rx += r.bytesReceived;
        tx += r.bytesSent;
        if (r.time >= q.since)
            sinceRx += r.bytesReceived;
        if (r.time >= q.from && r.time <= q.to)
            betweenTx += r.bytesSent;
    }
    if (s.received != rx || s.sent != tx || s.sinceReceived != sinceRx || s.betweenSent != betweenTx)
        std::abort();

    // The same bytes as a file.
    const int fd = File();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;
    const std::string& path = FilePath();
    TrafficSums f;
    if (!SumTrafficFile(path, q, f) || f.records != s.records || f.received != s.received
        || f.sinceReceived != s.sinceReceived || f.betweenSent != s.betweenSent)
        std::abort();
    TrafficRecord last;
    const bool hasLast = ReadLastTrafficRecord(path, last);
    if (hasLast != s.hasLast || (hasLast && (last.time != s.last.time || last.bytesSent != s.last.bytesSent)))
        std::abort();
    return 0;
}
