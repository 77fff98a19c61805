// In-call display and call history.
#include "contacts/CallHistory.h"

#include "engine/DmCallState.h"
#include "log/DebugLog.h"

namespace kv {

namespace {
constexpr size_t kNameMax = 16;
constexpr uint8_t kPbLoaded = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
} // namespace

bool CCallHistory::IsServiceNumber(const std::string& number) { return number.rfind("*228", 0) == 0; }

intptr_t CCallHistory::OnCallDisplay(intptr_t arg)
{
    ModemState& st = m_host.State();
    std::string firstEntry;
    {
        std::lock_guard<std::mutex> g(st.m_textLock);
        firstEntry = st.m_strCallNumber[0];
    }
    const CallTexts texts = st.m_call.Texts();
    // The list is already cleared when the end of a call is reported, so the
    // caller number is checked as well.
    if (IsServiceNumber(firstEntry) || IsServiceNumber(texts.callerNumber))
        return 0;

    const bool show = arg == kCallDisplayShow;
    const uint16_t phase = st.m_wUiPhase.load();
    const std::string number = texts.callerNumber;
    const std::string dtmf = st.m_call.FirstKeyText();
    if (show) {
        if (st.m_ucCardFlags.load() > 15)
            return 0;
        DEBUG_LOG(LEVEL_ST, "In Call Display");
    }
    std::string text = dtmf.empty() ? number : number + "\ndtmf:" + dtmf;
    if (show && (st.m_ucUiFlags.load() & kPbLoaded) != kPbLoaded) {
        m_strDisplay = text;
        m_host.AppendMessageLine(text, true);
        return 0;
    }

    std::string recordName;
    const std::string found = number.empty() ? std::string() : m_db.LookupNameByNumber(number);
    if (!found.empty()) {
        std::string name = m_strPicked.empty() ? found : m_strPicked;
        if (name.size() > kNameMax)
            name.resize(kNameMax);
        if (phase == UI_PHASE_OUTGOING && !dtmf.empty())
            text = name + "\n" + number + "\ndtmf:" + dtmf;
        else if (number.size() >= 18)
            text = name + " " + number;
        else
            text = name + "\n" + number;
        recordName = name;
    } else {
        DEBUG_LOG(LEVEL_DB, "no phonebook name for the caller");
        recordName = texts.callerName;
    }

    if (show) {
        if (phase == UI_PHASE_INCOMING && text.size() > kNameMax)
            text.resize(kNameMax);
        m_strDisplay = text;
        // An incoming call already shows its caller; an outgoing one shows
        // the name found for the number.
        if (phase != UI_PHASE_INCOMING)
            m_host.AppendMessageLine(WrapCallText(text), true);
        return 0;
    }
    if (arg == kCallDisplayNoCard)
        return 0;

    const bool ok = m_db.AppendCallRecord(int(arg), number, recordName, st.m_call.CallStart(),
                                          int(CallDurationSeconds(st)));
    if (!ok)
        DEBUG_LOG(LEVEL_ST, "call history write error");
    ClearCallDuration(st);
    m_strPicked.clear();
    return ok ? 1 : 0;
}

} // namespace kv
