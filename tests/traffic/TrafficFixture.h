// A private settings and data folder for the traffic tests, with helpers to
// lay out record files byte by byte and to pin the time zone.
#pragma once

#include "support/TempSettings.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace kvtest {

inline std::string RecordBytes(int64_t time, uint32_t duration, uint32_t sent, uint32_t received)
{
    kvtraffic::TrafficRecord r;
    r.time = time;
    r.duration = duration;
    r.bytesSent = sent;
    r.bytesReceived = received;
    uint8_t b[kvtraffic::kTrafficRecordSize];
    kvtraffic::EncodeTrafficRecord(r, b);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

// Sets TZ for the test's life and restores the old zone afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) {
            m_had = true;
            m_old = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

// Seconds since 1970 of a local calendar time (month 1-12).
inline int64_t Local(int y, int mon, int d, int h = 0, int mi = 0, int s = 0)
{
    std::tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

class TrafficTest : public ::testing::Test {
protected:
    // Writes a traffic file in the data folder (created as the program would).
    void WriteTraffic(const char* file, const std::string& bytes)
    {
        MakeDataDir();
        WriteFileBytes(Data(file), bytes);
    }
    void MakeDataDir();
    std::string Data(const std::string& name) const { return cfg.DataDir() + "/" + name; }

    TempSettings cfg;
};

} // namespace kvtest
