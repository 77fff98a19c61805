// Call control: placing, answering and ending calls, DTMF keys, the ear
// volume, and what the status poll does with the call state it reads.
#include "engine/DmCall.h"

#include "engine/DmTexts.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <cstring>

namespace kv {

namespace {

constexpr uint8_t kPbLoaded = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
constexpr const char* kMissedCall = "Missed call";
constexpr const char* kNoEmergency = "\nNo Emergency\nNumber";

bool PhonebookLoaded(const ModemState& st) { return (st.m_ucUiFlags.load() & kPbLoaded) == kPbLoaded; }

std::string Cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

bool InCallPhase(const ModemState& st)
{
    const uint16_t p = st.m_wUiPhase.load();
    return p == UI_PHASE_INCOMING || p == UI_PHASE_OUTGOING;
}

void ClearCallList(ModemState& st)
{
    st.m_ucCallListIndex = 0;
    st.m_ucCallListActive = 0;
    std::lock_guard<std::mutex> g(st.m_textLock);
    for (int i = 0; i < 2; ++i) {
        st.m_strCallNumber[i].clear();
        st.m_strCallName[i].clear();
    }
}

// Stores one party in the call list at the index and raises the index; at
// two entries the first one is the active one.
void AddCallListEntry(ModemState& st, const std::string& number, const std::string& name)
{
    uint8_t idx = st.m_ucCallListIndex.load();
    if (idx >= 2)
        idx = 1;
    {
        std::lock_guard<std::mutex> g(st.m_textLock);
        st.m_strCallNumber[idx] = Cut(number, kCallTextMax);
        st.m_strCallName[idx] = Cut(name, kCallTextMax);
    }
    ++idx;
    st.m_ucCallListIndex = idx;
    if (idx == 2)
        st.m_ucCallListActive = 0;
}

} // namespace

uint8_t EarLevelToSend(uint8_t level)
{
    if ((level & 0x80) && (level & 0x40))
        return uint8_t((level + 1) & 0x0F);
    if (level & 0x80)
        return uint8_t((level - 1) & 0x0F);
    return uint8_t(level & 0x0F);
}

std::string SplitPauses(const std::string& dial, std::deque<std::string>& pauses)
{
    pauses.clear();
    const size_t p = dial.find('p');
    if (p == std::string::npos)
        return dial;
    size_t from = p + 1;
    while (true) {
        const size_t next = dial.find('p', from);
        const std::string part = dial.substr(from, next == std::string::npos ? std::string::npos : next - from);
        if (!part.empty())
            pauses.push_back(part);
        if (next == std::string::npos)
            break;
        from = next + 1;
    }
    return dial.substr(0, p);
}

int QueueDial(CDmEngine& e, const std::string& number)
{
    std::deque<std::string> pauses;
    const std::string head = SplitPauses(number, pauses);
    ModemState& st = e.State();
    st.m_call.SetPauses(pauses);
    st.m_call.SetDialNumber(head);
    return e.PostDmCommand(DM_OUT_CALL, false);
}

int QueueCallKey(CDmEngine& e, int code)
{
    ModemState& st = e.State();
    st.m_call.PushKey(code);
    if (e.PostDmCommand(DM_KEY_PRESS, true) == 0) {
        st.m_call.DropLastKey();
        return 0;
    }
    return 1;
}

bool MarkVolumeChange(ModemState& st, bool up)
{
    const bool inCall = st.m_ucLastCallState.load() == CALL_STATE_CONVERSATION;
    std::atomic<uint8_t>& level = inCall ? st.m_ucInCallVolume : st.m_ucIdleVolume;
    const uint8_t v = level.load();
    const int value = v & 0x0F;
    if (up) {
        if (value + 1 > 4)
            return false;
        level = uint8_t((v & 0x0F) | 0xC0);
        return true;
    }
    if (value <= (inCall ? 1 : 0))
        return false;
    level = uint8_t((v & 0x0F) | 0x80);
    return true;
}

bool RequestVolumeChange(CDmEngine& e, bool up)
{
    if (!MarkVolumeChange(e.State(), up))
        return false;
    e.Host().EnableControl(IDC_VOLUME_UP, false);
    e.Host().EnableControl(IDC_VOLUME_DOWN, false);
    e.PostDmCommand(DM_EAR_LEVEL, false);
    return true;
}

bool CDmCall::IsEmergencyNumber(const std::string& n)
{
    return n == "911" || n == "100" || n == "101" || n == "102";
}

const char* CDmCall::StateName(uint8_t s)
{
    static const char* const kNames[] = {"DIAG_D_INIT_S",    "(idle)",          "DIAG_D_VC_INIT_S",
                                         "DIAG_D_WFO_S",     "DIAG_D_WFA_S",    "DIAG_D_CONV_S",
                                         "DIAG_D_RELEASE_S", "DIAG_D_OVHD_S",   "DIAG_D_ORIG_S",
                                         "DIAG_D_PAGE_RES_S", "DIAG_D_ORD_RES_S", "DIAG_D_REG_S",
                                         "DIAG_D_MSG_S"};
    if (s >= 129 && s <= 141)
        return kNames[s - 129];
    return nullptr;
}

void CDmCall::Install(CDmEngine& engine)
{
    engine.RegisterCommand(DM_OUT_CALL, [this](CDmEngine& e) { OutCall(e); });
    engine.RegisterCommand(DM_IN_CALL, [this](CDmEngine& e) { InCall(e); });
    engine.RegisterCommand(DM_KEY_PRESS, [this](CDmEngine& e) { KeyPress(e); });
    engine.RegisterCommand(DM_EAR_LEVEL, [this](CDmEngine& e) { EarLevel(e); });
}

void CDmCall::PostRing(CDmEngine& e, bool start)
{
    e.State().m_call.m_bRinging = start;
    e.Host().PostUserMessage(MsgTarget::MainWindow, start ? UM_RING_START : UM_RING_STOP, 0, 0);
}

void CDmCall::ConfigUpdate(CDmEngine& e, intptr_t ending)
{
    if (e.State().m_nModalView.load() == MODAL_SETTINGS)
        e.Host().PostUserMessage(MsgTarget::ModalWindow, UM_CONFIG_UPDATE, CONFIG_UPDATE_CALL, ending);
}

bool CDmCall::SendKey(CDmEngine& e, uint8_t hold, uint8_t key)
{
    return e.Exchange(BuildHsKeyReq(hold, key)) == DIAG_OK;
}

// ---------------------------------------------------------------------------
// DM_OUT_CALL

void CDmCall::OutCall(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    DEBUG_LOG(LEVEL_DM, "DM_OUT_CALL:");
    if (st.m_wUiPhase.load() == UI_PHASE_OUTGOING) {
        DEBUG_LOG(LEVEL_DM, "now out calling....");
        return;
    }
    DEBUG_LOG(LEVEL_DM, "DM OUT CALL");
    const std::string dial = st.m_call.DialNumber();
    if (dial.empty())
        return;

    st.m_ucCallFlags = 0;
    st.m_call.m_bMissedShown = false;
    ClearCallDuration(st);
    st.m_call.ClearTexts();
    st.m_ucCallRecordKind = 0;
    CallTexts t;
    t.callerNumber = Cut(dial, kCallTextMax);
    st.m_call.SetTexts(t);
    st.m_call.SetDisplayText(t.callerNumber);

    if (st.m_ucCardFlags.load() & CARDF_NO_USABLE_CARD) {
        host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kCallDisplayNoCard);
        if (dial.size() == 3 && IsEmergencyNumber(dial)) {
            if (!(st.m_ucCardFlags.load() & CARDF_EMERGENCY_CALL)) {
                WriteProfileString(dmtext::kSecEmgCall, dmtext::kKeyNum, "1", kMainIni);
                st.m_ucCardFlags |= CARDF_EMERGENCY_CALL;
            }
        } else {
            host.AppendMessageLine(kNoEmergency, true);
            st.m_call.SetDialNumber("");
            m_pad->EngineKey(CALL_KEY_END);
            return;
        }
    }

    if (e.Exchange(BuildOrigReq(dial)) != DIAG_OK) {
        DEBUG_LOG(LEVEL_ST, "dm_out_call error(line=%d)", __LINE__);
        ++e.ErrorCount();
        return;
    }
    DEBUG_LOG(LEVEL_DM, "DM OUT CALL = %s", dial.c_str());
    AddCallListEntry(st, dial, "");
    st.m_call.SetDialNumber("");
    host.SetWaitCursor(false);
    e.ErrorCount() = 0;
    st.m_wUiPhase = UI_PHASE_OUTGOING;
    host.StartTimer(TIMER_CALL_START, 100);
    host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kCallDisplayShow);
}

// ---------------------------------------------------------------------------
// DM_IN_CALL

// The history row of a missed call, once its caller is known: written here
// rather than at the modem's "missed" report, which comes before the caller
// is read (and, for a call that rang and ended between two polls, with the
// texts of an earlier call still in place).
void CDmCall::RecordMissedCall(CDmEngine& e)
{
    if (e.State().m_call.m_bMissedRecordDue.exchange(false))
        e.Host().SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kCallRecordMissed);
}

void CDmCall::InCall(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    DEBUG_LOG(LEVEL_DM, "DM IN CALL");
    st.m_call.SetDisplayText("");
    CallerIdRecord cid;
    if (e.Exchange(BuildCallerIdReq()) != DIAG_OK || !ParseCallerIdRecord(e.Reply(), e.ReplyLength(), cid)) {
        DEBUG_LOG(LEVEL_ST, "dm_in_call error");
        ++e.ErrorCount();
        // The missed call is kept all the same, with the caller unknown.
        if (st.m_call.m_bMissedRecordDue.exchange(false)) {
            st.m_call.ClearTexts();
            host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kCallRecordMissed);
        }
        return;
    }
    e.ErrorCount() = 0;
    const bool missed = (st.m_ucCallFlags.load() & CALLF_MISSED) != 0;
    const bool second = (cid.secondIndication2 != 0 || cid.secondIndication != 0 || cid.secondPresentation != 0)
        && !missed;
    st.m_call.ClearTexts();
    CallTexts texts;
    bool missedHandled = false;

    if (cid.presentation == 1 || cid.presentation == 2) {
        const char* w = cid.presentation == 1 ? "Restricted" : "Unavailable";
        if (missed) {
            host.AppendMessageLine(std::string(kMissedCall) + "\n" + w, true);
            st.m_call.m_bMissedShown = true;
            st.m_ucCallFlags &= uint8_t(~CALLF_MISSED);
            st.m_wUiPhase = UI_PHASE_IDLE;
            texts.callerName = w;
            st.m_call.SetTexts(texts);
            RecordMissedCall(e);
            PostRing(e, false);
            missedHandled = true;
        } else {
            AddCallListEntry(st, "", w);
            host.AppendMessageLine(second ? std::string("Incoming call\n") + w : std::string(w), true);
            const uint16_t phase = st.m_wUiPhase.load();
            st.m_wUiPhase = UI_PHASE_INCOMING;
            if (phase != UI_PHASE_INCOMING && phase != UI_PHASE_OUTGOING)
                PostRing(e, true);
            host.PostUserMessage(MsgTarget::MainWindow, UM_BRING_TO_FRONT, 1, 0);
        }
        // Both the restricted and the unavailable caller leave an empty
        // caller id, missed or not.
        WriteProfileString("call_id", dmtext::kKeyNum, "", kMainIni);
    } else {
        const std::string number = cid.number; // the parser keeps at most 63
        const std::string name = cid.name;
        if (missed) {
            host.AppendMessageLine(std::string(kMissedCall) + "\n" + (number.empty() ? "Unknown" : number), true);
            st.m_call.m_bMissedShown = true;
            st.m_ucCallFlags &= uint8_t(~CALLF_MISSED);
            st.m_wUiPhase = UI_PHASE_IDLE;
            texts.callerNumber = number;
            texts.callerName = name;
            st.m_call.SetTexts(texts);
            RecordMissedCall(e);
            host.SendUserMessage(UM_UI_REQUEST, UI_REQ_LOOKUP_NOP, 0);
            PostRing(e, false);
            missedHandled = true;
        } else if (st.m_ucCallFlags.load() & CALLF_FOREIGN_ORIG) {
            st.m_wUiPhase = UI_PHASE_OUTGOING;
            host.StartTimer(TIMER_CALL_START, 100);
            texts.callerNumber = number;
            st.m_call.SetTexts(texts);
            host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kCallDisplayShow);
        } else {
            texts.callerNumber = number;
            texts.callerName = name;
            st.m_call.SetTexts(texts);
            const uint16_t phase = st.m_wUiPhase.load();
            const bool quiet = phase == UI_PHASE_INCOMING || phase == UI_PHASE_OUTGOING;
            if (!quiet)
                st.m_call.SetDisplayText(number);
            std::string contact = host.LookupName(number).value_or("");
            if (contact == number)
                contact.clear(); // a contact named by its own number shows as the number
            std::string entryName;
            if (!contact.empty()) {
                host.AppendMessageLine(contact + "\n" + number, true);
                entryName = contact;
            } else if (!name.empty()) {
                host.AppendMessageLine(name + "\n" + number, true);
                entryName = name;
            } else {
                host.AppendMessageLine("\n" + number, true);
            }
            AddCallListEntry(st, number, entryName);
            // The phase is set before the ring is asked for: whoever sees
            // the ring sees the incoming phase.
            st.m_wUiPhase = UI_PHASE_INCOMING;
            if (!quiet)
                PostRing(e, true);
            host.PostUserMessage(MsgTarget::MainWindow, UM_BRING_TO_FRONT, 1, 0);
        }
    }

    if (second && cid.secondPresentation != 1 && cid.secondPresentation != 2) {
        CallTexts now = st.m_call.Texts();
        now.waitingNumber = cid.secondNumber;
        now.waitingName = cid.secondName;
        st.m_call.SetTexts(now);
    }

    if (st.m_ucCallFlags.load() & CALLF_FOREIGN_ORIG) {
        st.m_ucCallFlags &= uint8_t(~CALLF_FOREIGN_ORIG);
        return;
    }
    st.m_ucCallFlags &= uint8_t(~CALLF_ANNOUNCED);
    const uint8_t f = st.m_ucCallFlags.load();
    if ((f & CALLF_CONVERSATION) && !(f & CALLF_MISSED)) {
        st.m_ucCallFlags |= CALLF_WAITING;
        host.KillTimer(TIMER_WAITING_CALL);
        host.StartTimer(TIMER_WAITING_CALL, st.m_call.m_dwWaitingTimeoutMs.load());
    }
    if (!(st.m_ucCallFlags.load() & CALLF_WAITING) && !missedHandled)
        host.StartTimer(TIMER_CALL_START, 100);
}

// ---------------------------------------------------------------------------
// DM_KEY_PRESS

void CDmCall::KeyPress(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    DEBUG_LOG(LEVEL_DM, "DM_KEY_PRESS:");
    int k = 0;
    if (!st.m_call.PopKey(k))
        return;
    if (!InCallPhase(st) || k == kKeyCodePause)
        return;
    const bool fn = k == CALL_KEY_SEND || k == CALL_KEY_END || k == CALL_KEY_CLR;
    const uint8_t hold = fn ? 0 : (m_pad->ToneFlag() ? 1 : 0);
    uint8_t key = uint8_t(k);
    const bool ringing = st.m_ucLastCallState.load() == CALL_STATE_RINGING;

    if (ringing) {
        key = k == CALL_KEY_END ? CALL_KEY_END : CALL_KEY_SEND;
        PostRing(e, false);
    } else if (k == CALL_KEY_SEND && !st.m_call.PausesEmpty()) {
        std::string digits;
        st.m_call.PopPause(digits);
        for (char c : digits) {
            SendKey(e, 0, uint8_t(c));
            DEBUG_LOG(LEVEL_DM, " pause key press = 0x%02x", unsigned(uint8_t(c)));
            SleepMs(m_nPauseDelayMs);
        }
        const std::string next = st.m_call.FirstPause();
        host.AppendMessageLine(next.empty() ? std::string() : "dtmf:" + next, true);
        DEBUG_LOG(LEVEL_DM, "pause key count = %d", int(digits.size()));
        return;
    } else if (k != CALL_KEY_SEND && !st.m_call.PausesEmpty()) {
        host.AppendMessageLine("", true);
        st.m_call.ClearPauses();
    }

    if (!SendKey(e, fn || ringing ? 0 : hold, key)) {
        DEBUG_LOG(LEVEL_ST, "dm_key_press error");
        return;
    }
    DEBUG_LOG(LEVEL_DM, "press key = 0x%02x", unsigned(key));
    e.ErrorCount() = 0;
    if (st.m_ucCallListIndex.load() == 2 && key == CALL_KEY_SEND) {
        const uint8_t active = uint8_t(st.m_ucCallListActive.load() ^ 1);
        st.m_ucCallListActive = active;
        std::string name, number;
        {
            std::lock_guard<std::mutex> g(st.m_textLock);
            name = st.m_strCallName[active];
            number = st.m_strCallNumber[active];
        }
        host.AppendMessageLine(name + "\n" + number, true);
    }
    const uint8_t last = st.m_ucLastCallState.load();
    if (last == CALL_STATE_CONVERSATION && key == CALL_KEY_SEND && !(st.m_ucCallFlags.load() & CALLF_WAITING))
        return;
    if (last == CALL_STATE_RINGING) {
        if (key == CALL_KEY_SEND || key == CALL_KEY_END)
            m_pad->EngineKey(key);
    } else if (key == CALL_KEY_CLR && m_pad->TakePendingFlag()) {
        // the flag is cleared
    } else {
        m_pad->EngineKey(key);
    }
    if (st.m_ucCallFlags.load() & CALLF_WAITING) {
        host.KillTimer(TIMER_WAITING_CALL);
        st.m_ucCallFlags &= uint8_t(~CALLF_WAITING);
    }
}

// ---------------------------------------------------------------------------
// DM_EAR_LEVEL

void CDmCall::EarLevel(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    DEBUG_LOG(LEVEL_DM, "DM_EAR_LEVEL");
    const uint8_t inCall = st.m_ucInCallVolume.load();
    const uint8_t idle = st.m_ucIdleVolume.load();
    const uint8_t inSend = EarLevelToSend(inCall);
    const uint8_t idleSend = EarLevelToSend(idle);
    if (e.Exchange(BuildEarLevelReq(inSend, idleSend)) == DIAG_OK) {
        if (inSend != (inCall & 0x0F))
            host.SetIndicator(IND_EAR_VOLUME, inSend);
        if (idleSend != (idle & 0x0F))
            host.SetIndicator(IND_EAR_VOLUME, idleSend);
        st.m_ucInCallVolume = inSend;
        st.m_ucIdleVolume = idleSend;
    } else {
        DEBUG_LOG(LEVEL_ST, "dm_ear_level error");
    }
    host.EnableControl(IDC_VOLUME_UP, true);
    host.EnableControl(IDC_VOLUME_DOWN, true);
}

// ---------------------------------------------------------------------------
// Call supervision of the status poll

void CDmCall::CallEnded(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    host.SetIndicator(IND_EAR_VOLUME, st.m_ucIdleVolume.load() & 0x0F);
    m_pad->LabelVolumeButtons(false);
    st.m_wUiPhase = UI_PHASE_IDLE;
    ConfigUpdate(e, 1);
}

// The end of the call on display (the modem's "call ended" report): the
// history row, the idle display and volume, the dial pad reset.
void CDmCall::EndShownCall(CDmEngine& e)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    ClearCallList(st);
    host.KillTimer(TIMER_CALL_PICKER_END);
    st.m_ucCallRecordKind = 0;
    st.m_ucCallFlags &= CALLF_MISSED;
    host.KillTimer(TIMER_CALL_DURATION);
    host.KillTimer(TIMER_WAITING_CALL);
    if (!st.m_call.m_bMissedShown.load())
        host.AppendMessageLine("", true);
    if (PhonebookLoaded(st))
        host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY,
                             st.m_wUiPhase.load() == UI_PHASE_INCOMING ? 2 : 1);
    host.ResetDialPad();
    host.SetIndicator(IND_EAR_VOLUME, st.m_ucIdleVolume.load() & 0x0F);
    m_pad->LabelVolumeButtons(false);
    st.m_wUiPhase = UI_PHASE_IDLE;
    st.m_bRxDiversity = 0;
    host.SetIndicator(IND_RX_DIVERSITY, 0);
    host.SetIndicator(IND_CALL, 0x81);
    ConfigUpdate(e, 1);
    host.EnableControl(IDC_PHONEBOOK, true);
    if (st.m_call.m_bRinging.load())
        PostRing(e, false);
}

void CDmCall::OnIncomingIndication(CDmEngine& e, const StatusRecord& rec)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    // A released call's row waits for the next poll that reports no event.
    // A modem that leaves the release together with its "call ended" report
    // (or a new call coming in) would otherwise drop it: it is written now,
    // before the new event changes the call texts.
    if (rec.incomingCallIndicate != 0 && st.m_ucCallRecordKind.load() != 0) {
        host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, st.m_ucCallRecordKind.load());
        st.m_ucCallRecordKind = 0;
    }
    switch (rec.incomingCallIndicate) {
    case 1:
        DEBUG_LOG(LEVEL_DM, "Incoming call");
        // The modem reports only its newest event: when a call ends and the
        // next one comes in between two polls, the end is never seen and the
        // earlier call would still be shown (and the new one not rung for).
        // A call that is shown but never reached a conversation has ended
        // when another comes in; a second call during a conversation is a
        // waiting call.
        if (InCallPhase(st) && !(st.m_ucCallFlags.load() & CALLF_CONVERSATION)
            && rec.state != CALL_STATE_CONVERSATION) {
            DEBUG_LOG(LEVEL_DM, "end of the earlier call not reported");
            EndShownCall(e);
        }
        if (!(st.m_ucCallFlags.load() & CALLF_CONVERSATION))
            st.m_ucCallFlags |= CALLF_ANNOUNCED;
        st.m_call.m_bMissedShown = false;
        st.m_DmRequests.RemoveFirst(DM_OUT_CALL);
        st.m_DmRequests.Push(DM_IN_CALL, true);
        m_pad->IncomingMode();
        ConfigUpdate(e, 0);
        break;
    case 2:
        DEBUG_LOG(LEVEL_DM, "missed call");
        // A call that rang and ended between two polls was never shown:
        // what the call texts, start and duration hold is an earlier call's.
        if (!InCallPhase(st)) {
            st.m_call.ClearTexts();
            RecordCallStart(st);
            ClearCallDuration(st);
        }
        ClearCallList(st);
        host.KillTimer(TIMER_CALL_PICKER_END);
        st.m_ucCallFlags = uint8_t((st.m_ucCallFlags.load() & ~CALLF_WAITING) | CALLF_MISSED);
        st.m_ucCallRecordKind = 0;
        st.m_DmRequests.Push(DM_IN_CALL, false);
        host.KillTimer(TIMER_CALL_DURATION);
        // The row is written by DM_IN_CALL, which reads the caller.
        st.m_call.m_bMissedRecordDue = PhonebookLoaded(st);
        ConfigUpdate(e, 1);
        break;
    case 3:
        if (!InCallPhase(st))
            break;
        DEBUG_LOG(LEVEL_DM, "display end !!");
        EndShownCall(e);
        break;
    case 4:
        if (st.m_wUiPhase.load() == UI_PHASE_IDLE && !(st.m_ucCallFlags.load() & CALLF_FOREIGN_ORIG)) {
            DEBUG_LOG(LEVEL_DM, "display org ");
            st.m_ucCallFlags |= CALLF_FOREIGN_ORIG;
            st.m_DmRequests.Push(DM_IN_CALL, false);
        }
        break;
    case 0: {
        const uint8_t kind = st.m_ucCallRecordKind.load();
        if (st.m_ucLastCallState.load() == CALL_STATE_RELEASE && kind != 0) {
            host.SendUserMessage(UM_UI_REQUEST, UI_REQ_CALL_DISPLAY, kind);
            st.m_ucCallRecordKind = 0;
        }
        break;
    }
    default:
        break;
    }
}

void CDmCall::OnCallState(CDmEngine& e, const StatusRecord& rec)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    const uint8_t s = rec.state;
    const uint8_t last = st.m_ucLastCallState.load();
    const bool changed = s != last;
    switch (s) {
    case 0:
        if (changed && st.m_ucCardRetry.load() != kCardRetryAbsent)
            host.SetIndicator(IND_CALL, 0x81);
        break;
    case 129:
        if (changed)
            host.SetIndicator(IND_CALL, 0x81);
        break;
    case 130:
        if (st.m_wPrefMode.load() != 10 && changed) {
            host.SetIndicator(IND_CALL, 0x81);
            host.SetIndicator(IND_MESSAGE_LINE, 2);
        }
        break;
    case CALL_STATE_RINGING:
        if (st.m_wUiPhase.load() == UI_PHASE_INCOMING) {
            m_bCallIndicatorOn = !m_bCallIndicatorOn;
            host.SetIndicator(IND_CALL, m_bCallIndicatorOn ? 0x80 : 0x81);
        }
        break;
    case CALL_STATE_CONVERSATION:
        if (!InCallPhase(st))
            break;
        if (st.m_wUiPhase.load() == UI_PHASE_INCOMING && st.m_call.m_bRinging.load())
            PostRing(e, false);
        if (changed) {
            ClearCallDuration(st);
            host.StartTimer(TIMER_CALL_DURATION, 1000);
            st.m_ucCallFlags = CALLF_CONVERSATION;
            host.SetIndicator(IND_CALL, 0);
            host.SetIndicator(IND_EAR_VOLUME, st.m_ucInCallVolume.load() & 0x0F);
            m_pad->LabelVolumeButtons(true);
        }
        if (st.m_ucCallFlags.load() & CALLF_WAITING) {
            m_bCallIndicatorOn = !m_bCallIndicatorOn;
            host.SetIndicator(IND_CALL, m_bCallIndicatorOn ? 0x80 : 0x81);
        } else {
            host.SetIndicator(IND_CALL, 0x80);
        }
        host.EnableControl(IDC_PHONEBOOK, false);
        break;
    case CALL_STATE_RELEASE: {
        if (!InCallPhase(st))
            break;
        host.ResetDialPad();
        st.m_ucCallFlags &= CALLF_MISSED;
        host.KillTimer(TIMER_CALL_DURATION);
        host.KillTimer(TIMER_WAITING_CALL);
        if (!(st.m_ucCallFlags.load() & CALLF_MISSED)) {
            if (!st.m_call.m_bMissedShown.load()) {
                host.AppendMessageLine("", true);
                host.SetIndicator(IND_MESSAGE_LINE, 2);
            }
            if (PhonebookLoaded(st))
                st.m_ucCallRecordKind = st.m_wUiPhase.load() == UI_PHASE_OUTGOING ? 1 : 2;
        }
        if (st.m_call.m_bRinging.load())
            PostRing(e, false);
        CallEnded(e);
        break;
    }
    default:
        if (const char* name = StateName(s))
            DEBUG_LOG(LEVEL_DM, "%s", name);
        else
            DEBUG_LOG(LEVEL_DM, "Unknown State:0x%02x", unsigned(s));
        break;
    }
    if (s == CALL_STATE_CONVERSATION && (st.m_ucCallFlags.load() & (CALLF_FOREIGN_ORIG | CALLF_ANNOUNCED)))
        st.m_ucLastCallState = CALL_STATE_VC_INIT;
    else
        st.m_ucLastCallState = s;
}

} // namespace kv
