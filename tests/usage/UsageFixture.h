// A private settings and data folder with a copy of the built database for
// the usage tests, a clock the test moves, and the zone pinned.
#pragma once

#include "support/TempSettings.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace kvtest {

class ScopedZone {
public:
    explicit ScopedZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) {
            m_had = true;
            m_old = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    bool m_had = false;
    std::string m_old;
};

// Seconds since 1970 of a UTC calendar time.
inline int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return int64_t(timegm(&tm));
}

// The moment a local wall-clock time means in the zone set now.
inline int64_t Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

class UsageDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = m_settings.Path("WVL.MDB");
        WriteFileBytes(m_db, ReadFileBytes(KORVIA_BUILT_DB));
        ASSERT_FALSE(ReadFileBytes(m_db).empty()) << "the built database is missing";
    }
    TempSettings m_settings;
    std::string m_db;
    ScopedZone m_zone{"Europe/Berlin"};
};

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

} // namespace kvtest
