// The phonebook and call history page's rules that need no window.
#include "contacts/PhoneBookRules.h"
#include "data/DaoTransaction.h"

#include "contacts/PhoneBookTexts.h"
#include "data/DataConstants.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <charconv>
#include <cstdio>

namespace kv {

namespace {

void CloseQuietly(CDaoRecordset& rs)
{
    if (rs.IsOpen())
        rs.Close();
}

std::string Format(const char* fmt, int value)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

} // namespace

std::optional<CDaoQuery> PbSearchQuery(int page, int column, const std::string& text)
{
    using namespace pbpage;
    if (column != COL_ALL && text.empty())
        return std::nullopt;
    if (page == PAGE_HISTORY) {
        switch (column) {
        case COL_ALL: return CDaoVcallDb::SearchAll(text);
        case COL_NAME: return CDaoVcallDb::SearchName(text);
        case COL_PHONE: return CDaoVcallDb::SearchNumber(text);
        default: return std::nullopt;
        }
    }
    if (page != PAGE_MEMORY && page != PAGE_RUIM)
        return std::nullopt;
    switch (column) {
    case COL_ALL: return CDaoPbookDb::SearchAll(text, page);
    case COL_INDEX: return CDaoPbookDb::SearchIndex(text, page);
    case COL_NAME: return CDaoPbookDb::SearchName(text, page);
    case COL_PHONE: return CDaoPbookDb::SearchNumber(text, page);
    default: return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// History

std::string HistoryDetails(int32_t index, const std::string& time, const std::string& callTime)
{
    char head[16];
    std::snprintf(head, sizeof head, "%04d", int(index));
    return head + time + " " + pbpage::kHistoryTimeWord + ":" + callTime;
}

bool HistoryCallNumber(const std::string& details, int64_t& number)
{
    size_t i = 0;
    int64_t v = 0;
    while (i < details.size() && i < 11 && details[i] >= '0' && details[i] <= '9')
        v = v * 10 + (details[i++] - '0');
    if (i == 0)
        return false;
    number = v;
    return true;
}

std::string HistoryDetailText(const std::string& details)
{
    size_t i = 0;
    while (i < details.size() && details[i] >= '0' && details[i] <= '9')
        ++i;
    return details.substr(i);
}

HistoryItem HistoryItemOf(const CDaoVcallDb& rs)
{
    HistoryItem it;
    it.index = rs.m_index;
    it.kind = rs.m_storage_type;
    it.name = rs.m_name;
    it.number = rs.m_phone_number;
    it.details = HistoryDetails(rs.m_index, rs.m_time, rs.m_call_time);
    return it;
}

HistoryListing ListCallHistory(CAppDatabase& db, int keep)
{
    HistoryListing out;
    CDaoVcallDb& rs = db.Vcall();
    CloseQuietly(rs);
    CDaoTransaction tx(rs);
    int32_t highest = 0;
    try {
        // The older records go in one transaction: all of them or none.
        tx.Begin();
        rs.Open(CDaoVcallDb::QueryNewestFirst());
        int listed = 0;
        for (; !rs.IsEOF(); rs.MoveNext()) {
            if (listed < keep) {
                if (listed == 0)
                    highest = rs.m_index;
                out.items.push_back(HistoryItemOf(rs));
                ++listed;
            } else {
                rs.Delete();
                ++out.removed;
            }
            DEBUG_LOG(LEVEL_PB, pbpage::kLogHistoryRow, listed + out.removed);
        }
        rs.Close();
        tx.Commit();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, pbpage::kLogDbError, e.Description().c_str());
        out.error = e.Description();
        CloseQuietly(rs);
        tx.RollbackQuietly();
        out.removed = 0;
        return out;
    }
    if (highest > pbpage::kHistoryRenumberAbove) {
        DEBUG_LOG(LEVEL_PB, "%s", pbpage::kLogRenumber);
        // The list is read again after the renumbering: a record's item
        // must carry the number the table holds, or deleting it later would
        // look for a number that no longer exists.
        if (!RenumberCallHistory(db, out.lastNumber, out.error))
            return out;
        out.renumbered = true;
        out.items.clear();
        try {
            rs.Open(CDaoVcallDb::QueryNewestFirst());
            for (; !rs.IsEOF(); rs.MoveNext())
                out.items.push_back(HistoryItemOf(rs));
            rs.Close();
        } catch (const CDaoException& e) {
            DEBUG_LOG(LEVEL_PB, pbpage::kLogDbError, e.Description().c_str());
            out.error = e.Description();
            CloseQuietly(rs);
        }
    }
    return out;
}

bool RenumberCallHistory(CAppDatabase& db, int& lastNumber, std::string& error)
{
    CDaoVcallDb& rs = db.Vcall();
    CloseQuietly(rs);
    CDaoTransaction tx(rs);
    int n = 0;
    try {
        tx.Begin();
        rs.Open(CDaoVcallDb::QueryOldestFirst());
        for (; !rs.IsEOF(); rs.MoveNext()) {
            rs.Edit();
            rs.m_index = ++n;
            rs.Update();
        }
        rs.Close();
        tx.Commit();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, pbpage::kLogDbError, e.Description().c_str());
        error = e.Description();
        CloseQuietly(rs);
        tx.RollbackQuietly();
        return false;
    }
    lastNumber = n;
    WriteProfileString(kHistoryNumSection, kNumKey, Format("%d", n), kSettingsFile);
    return true;
}

bool DeleteCallRecord(CAppDatabase& db, int64_t callNumber, std::string& error)
{
    CDaoVcallDb& rs = db.Vcall();
    CloseQuietly(rs);
    try {
        rs.Open(CDaoVcallDb::QueryEntryText(std::to_string(callNumber)));
        if (rs.IsEOF()) {
            rs.Close();
            return false; // no record has that number
        }
        rs.Delete();
        rs.Close();
        return true;
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, pbpage::kLogSearchError, e.Description().c_str());
        error = e.Description();
        CloseQuietly(rs);
        return false;
    }
}

bool DeleteAllCallHistory(CAppDatabase& db, std::string& error)
{
    CDaoVcallDb& rs = db.Vcall();
    CloseQuietly(rs);
    CDaoTransaction tx(rs);
    try {
        tx.Begin();
        rs.Open();
        for (; !rs.IsEOF(); rs.MoveNext())
            rs.Delete();
        rs.Close();
        tx.Commit();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, pbpage::kLogDbError, e.Description().c_str());
        error = e.Description();
        CloseQuietly(rs);
        tx.RollbackQuietly();
        return false;
    }
    WriteProfileString(kHistoryNumSection, kNumKey, "0", kSettingsFile);
    return true;
}

// ---------------------------------------------------------------------------
// Selections

std::optional<int> PbIndexFromText(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c < '0' || c > '9')
            return std::nullopt;
        digits += c;
    }
    int value = 0;
    const char* end = digits.data() + digits.size();
    const auto r = std::from_chars(digits.data(), end, value);
    if (digits.empty() || r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return value;
}

std::string UsableNumber(const std::string& number)
{
    if (number.empty() || number == kUnknownNumber)
        return {};
    std::string out;
    for (char c : number)
        if (c != '-')
            out += c;
    return out;
}

std::vector<std::string> MessageNumbers(const std::vector<std::string>& numbers)
{
    std::vector<std::string> out;
    for (const std::string& n : numbers) {
        std::string u = UsableNumber(n);
        if (!u.empty())
            out.push_back(std::move(u));
    }
    return out;
}

std::string CutText(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t n = maxBytes;
    // Back off continuation bytes (10xxxxxx) to the start of their sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

PbRefusal WriteMessageRefusal(const ModemState& st, int selected)
{
    using namespace pbpage;
    if (st.m_ucServiceState.load() == SERVICE_EVDO)
        return {kNoSmsEvdo, MsgIcon::Error};
    if (selected > kMaxMessageItems)
        return {Format(kSelectAtMost, kMaxMessageItems), MsgIcon::Warning};
    if (selected <= 0)
        return {kNoSelection, MsgIcon::Warning};
    return {};
}

PbRefusal VoiceCallRefusal(const ModemState& st, int selected)
{
    using namespace pbpage;
    const uint8_t ras = st.m_nRasState.load();
    const uint8_t service = st.m_ucServiceState.load();
    if ((ras == RAS_STATE_CONNECTING || ras == RAS_STATE_CONNECTED)
        && (service == SERVICE_1X || service == SERVICE_EVDO))
        return {kNoCallConnecting, MsgIcon::Warning};
    if (service == SERVICE_EVDO)
        return {kNoCallEvdo, MsgIcon::Error};
    const uint16_t phase = st.m_wUiPhase.load();
    if (phase == UI_PHASE_INCOMING || phase == UI_PHASE_OUTGOING)
        return {kNoCallInCall, MsgIcon::Warning};
    if (selected > kMaxCallItems)
        return {Format(kSelectAtMost, kMaxCallItems), MsgIcon::Warning};
    if (selected <= 0)
        return {kNoSelection, MsgIcon::Warning};
    return {};
}

int PbCapacity(const ModemState& st, int page)
{
    return page == pbpage::PAGE_RUIM ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();
}

int PbEntryCount(CAppDatabase& db, int page)
{
    CDaoPbookDb& rs = db.Pbook();
    CloseQuietly(rs);
    int n = -1;
    try {
        rs.Open(CDaoPbookDb::QueryStorage(page));
        n = int(rs.GetRecordCount());
        rs.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, pbpage::kLogDbError, e.Description().c_str());
        CloseQuietly(rs);
    }
    return n;
}

} // namespace kv
