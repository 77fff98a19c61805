// The record codec, the sums over records in memory, and the record file
// reader and appender.
#include "traffic/TrafficRecords.h"

#include "platform/OwnerFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvtraffic {

namespace {

inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline int64_t Get64(const uint8_t* p)
{
    return int64_t(uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32);
}

inline void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

constexpr size_t kTimeAt = 0, kReservedAt = 8, kDurationAt = 12, kSentAt = 16, kReceivedAt = 20;

// Records per read: about 1.5 MB, a whole number of records. The file is read,
// not mapped: a mapping is a little faster, but a file cut short by another
// program while it is summed would kill the process with SIGBUS.
constexpr size_t kChunkRecords = 65536;

// Files are opened without blocking: a FIFO or a device put in a traffic
// file's place must not hang the reader; anything but a regular file is then
// refused. (On a regular file the flag changes nothing.)
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

void EncodeTrafficRecord(const TrafficRecord& r, uint8_t out[kTrafficRecordSize])
{
    const uint64_t t = uint64_t(r.time);
    Put32(out + kTimeAt, uint32_t(t));
    Put32(out + kTimeAt + 4, uint32_t(t >> 32));
    Put32(out + kReservedAt, r.reserved);
    Put32(out + kDurationAt, r.duration);
    Put32(out + kSentAt, r.bytesSent);
    Put32(out + kReceivedAt, r.bytesReceived);
}

TrafficRecord DecodeTrafficRecord(const uint8_t in[kTrafficRecordSize])
{
    TrafficRecord r;
    r.time = Get64(in + kTimeAt);
    r.reserved = Get32(in + kReservedAt);
    r.duration = Get32(in + kDurationAt);
    r.bytesSent = Get32(in + kSentAt);
    r.bytesReceived = Get32(in + kReceivedAt);
    return r;
}

void AccumulateTrafficRecords(const uint8_t* data, size_t count, const TrafficQuery& q, TrafficSums& s)
{
    if (count == 0)
        return;
    uint64_t rx = 0, tx = 0, sinceRx = 0, sinceTx = 0, betweenRx = 0, betweenTx = 0;
    const uint8_t* p = data;
    for (size_t i = 0; i < count; ++i, p += kTrafficRecordSize) {
        const int64_t t = Get64(p + kTimeAt);
        const uint64_t sent = Get32(p + kSentAt);
        const uint64_t received = Get32(p + kReceivedAt);
        rx += received;
        tx += sent;
        // Masks rather than branches: the times of a real history are in
        // order, but a changed clock makes them jump.
        const uint64_t inSince = 0 - uint64_t(t >= q.since);
        const uint64_t inBetween = 0 - uint64_t(t >= q.from && t <= q.to);
        sinceRx += received & inSince;
        sinceTx += sent & inSince;
        betweenRx += received & inBetween;
        betweenTx += sent & inBetween;
    }
    s.records += count;
    s.received += rx;
    s.sent += tx;
    s.sinceReceived += sinceRx;
    s.sinceSent += sinceTx;
    s.betweenReceived += betweenRx;
    s.betweenSent += betweenTx;
    s.hasLast = true;
    s.last = DecodeTrafficRecord(data + (count - 1) * kTrafficRecordSize);
}

TrafficSums SumTrafficBuffer(const uint8_t* data, size_t size, const TrafficQuery& q)
{
    TrafficSums s;
    AccumulateTrafficRecords(data, size / kTrafficRecordSize, q, s);
    return s;
}

namespace {

// Reads a traffic file a buffer at a time and hands each run of whole records
// to `chunk`. False when the file cannot be opened; a read error ends the
// file at what was read before it.
template <class Chunk> bool ReadTrafficChunks(const std::string& path, Chunk chunk)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (fd.get() < 0)
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    // A small file (the usual history) needs no big buffer; one that grows
    // while it is read is still read to its end, a buffer at a time.
    const size_t fileRecords = size_t(st.st_size) / kTrafficRecordSize + 1;
    std::vector<uint8_t> buf(std::min(fileRecords, kChunkRecords) * kTrafficRecordSize);
    size_t have = 0; // bytes in buf, the head of a record carried over
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf.data() + have, buf.size() - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the end, or a read error: the torn rest counts nothing
        have += size_t(n);
        const size_t whole = have / kTrafficRecordSize;
        chunk(buf.data(), whole);
        const size_t used = whole * kTrafficRecordSize;
        std::memmove(buf.data(), buf.data() + used, have - used);
        have -= used;
    }
    return true;
}

} // namespace

bool SumTrafficFile(const std::string& path, const TrafficQuery& q, TrafficSums& sums)
{
    return ReadTrafficChunks(path, [&](const uint8_t* data, size_t count) { AccumulateTrafficRecords(data, count, q, sums); });
}

void CollectTrafficSessions(const uint8_t* data, size_t count, int64_t from, int64_t to,
                            std::vector<TrafficRecord>& out)
{
    for (size_t i = 0; i < count; ++i) {
        const TrafficRecord r = DecodeTrafficRecord(data + i * kTrafficRecordSize);
        // A time no session can have (before 1970, or beyond the year
        // 36000) is a damaged record: it marks nothing.
        if (r.time < 0 || r.time > kLatestSessionTime)
            continue;
        // A session touches the span when it ended after `from` and began
        // before `to`; a record's time is its end.
        const int64_t began = r.time - int64_t(r.duration / 1000);
        if (r.time >= from && began < to)
            out.push_back(r);
    }
}

bool ReadTrafficSessions(const std::string& path, int64_t from, int64_t to, std::vector<TrafficRecord>& out)
{
    return ReadTrafficChunks(path, [&](const uint8_t* data, size_t count) {
        CollectTrafficSessions(data, count, from, to, out);
    });
}

bool ReadLastTrafficRecord(const std::string& path, TrafficRecord& out)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (fd.get() < 0)
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kTrafficRecordSize)
        return false;
    const off_t at = (st.st_size / kTrafficRecordSize - 1) * kTrafficRecordSize;
    uint8_t rec[kTrafficRecordSize];
    size_t got = 0;
    while (got < sizeof rec) {
        const ssize_t n = ::pread(fd.get(), rec + got, sizeof rec - got, at + off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    out = DecodeTrafficRecord(rec);
    return true;
}

bool AppendTrafficRecordToFile(const std::string& path, const TrafficRecord& record, std::string* why)
{
    // Only a file of ours in a folder of ours: a symbolic link in a traffic
    // file's place would have the record written into whatever it names.
    Fd fd(kv::OpenOwnedFile(path, O_RDWR | O_CREAT | O_NONBLOCK, 0600, why));
    if (fd.get() < 0)
        return false;
    // Another process (the window and the command-line tool) may append at
    // the same moment; the lock keeps the records whole and in order.
    while (::flock(fd.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // After a crash in the middle of an append the file ends in a piece of a
    // record. The new record starts where that piece starts and is longer
    // than it, so the file stays a whole number of records and only grows.
    const off_t at = st.st_size / kTrafficRecordSize * kTrafficRecordSize;
    uint8_t rec[kTrafficRecordSize];
    EncodeTrafficRecord(record, rec);
    size_t done = 0;
    while (done < sizeof rec) {
        const ssize_t n = ::pwrite(fd.get(), rec + done, sizeof rec - done, at + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return ::fdatasync(fd.get()) == 0;
}

} // namespace kvtraffic
