// The application's cursors and the table-level operations.
#include "data/AppDatabase.h"
#include "data/DaoTransaction.h"

#include "data/DataConstants.h"
#include "data/DbPath.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <cstdio>

namespace kv {

CAppDatabase::CAppDatabase(std::string dbPath)
    : m_strPath(dbPath.empty() ? DatabasePath() : std::move(dbPath)),
      m_pbook(m_strPath), m_sms(m_strPath), m_vcall(m_strPath)
{
}

CAppDatabase::~CAppDatabase()
{
    CloseSmsCursor();
}

bool CAppDatabase::OpenSmsCursor()
{
    try {
        if (m_sms.IsOpen())
            m_sms.Close();
        m_sms.Open(CDaoSmsDb::QueryStanding());
        return true;
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return false;
    }
}

bool CAppDatabase::EnsureSmsCursor()
{
    return m_sms.IsOpen() || OpenSmsCursor();
}

void CAppDatabase::CloseSmsCursor()
{
    if (m_sms.IsOpen())
        m_sms.Close();
}

std::string CAppDatabase::LookupNameByNumber(const std::string& number)
{
    std::string name;
    try {
        if (m_pbook.IsOpen())
            m_pbook.Close();
        m_pbook.Open(CDaoPbookDb::QueryNumber(number));
        m_pbook.MoveFirst();
        name = m_pbook.m_name;
    } catch (const CDaoException&) {
        // No row (or no database): the caller shows the number alone.
        name.clear();
    }
    if (m_pbook.IsOpen())
        m_pbook.Close();
    return name;
}

bool CAppDatabase::DeleteWalk(const CDaoQuery& query)
{
    if (m_pbook.IsOpen())
        m_pbook.Close();
    bool ok = true;
    CDaoTransaction tx(m_pbook);
    try {
        // One transaction: the rows go all together or not at all.
        tx.Begin();
        m_pbook.Open(query);
        if (!m_pbook.IsEOF()) {
            m_pbook.MoveFirst();
            while (!m_pbook.IsEOF()) {
                m_pbook.Delete();
                m_pbook.MoveNext();
            }
        }
        tx.Commit();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        ok = false;
        tx.RollbackQuietly();
    }
    if (m_pbook.IsOpen())
        m_pbook.Close();
    return ok;
}

bool CAppDatabase::WipePhonebook()
{
    return DeleteWalk(CDaoPbookDb::QueryWipe());
}

bool CAppDatabase::ClearPhonebookStorage(int storageType)
{
    if (IsProtectedStorage(storageType))
        return false;
    return DeleteWalk(CDaoPbookDb::QueryStorage(storageType));
}

std::string CAppDatabase::FormatCallStart(const std::tm& start)
{
    std::tm t = start;
    std::tm norm = start;
    if (std::mktime(&norm) != static_cast<std::time_t>(-1))
        t.tm_wday = norm.tm_wday;
    char day[64] = "";
    std::strftime(day, sizeof day, "%A", &t);
    char buf[160];
    std::snprintf(buf, sizeof buf, kCallTimeFormat, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, day, t.tm_hour, t.tm_min);
    return buf;
}

std::string CAppDatabase::FormatDuration(int seconds)
{
    if (seconds < 0)
        seconds = 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, kCallDurationFormat, seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

bool CAppDatabase::AppendCallRecord(int kind, const std::string& number, const std::string& name,
                                    const std::tm& start, int durationSeconds)
{
    bool ok = true;
    try {
        if (m_vcall.IsOpen())
            m_vcall.Close();
        m_vcall.Open();
        m_vcall.AddNew();
        m_vcall.m_name = name;
        m_vcall.m_storage_type = kind;
        m_vcall.m_phone_number = number.empty() ? kUnknownNumber : number;
        m_vcall.m_time = FormatCallStart(start);
        m_vcall.m_call_time = FormatDuration(durationSeconds);
        const int last = DecimalPrefix(GetProfileString(kHistoryNumSection, kNumKey, "0", kHistoryNumBuffer, kSettingsFile));
        const int next = last + 1;
        m_vcall.m_index = next;
        WriteProfileString(kHistoryNumSection, kNumKey, std::to_string(next), kSettingsFile);
        m_vcall.Update();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        ok = false;
    }
    if (m_vcall.IsOpen())
        m_vcall.Close();
    return ok;
}

} // namespace kv
