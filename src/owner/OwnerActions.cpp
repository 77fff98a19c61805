#include "owner/OwnerActions.h"

#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "engine/DmCall.h"
#include "engine/DmCodes.h"
#include "engine/DmEngine.h"
#include "engine/DmTexts.h"
#include "host/HostCore.h"
#include "host/HostIds.h"
#include "host/HostTexts.h"
#include "link/CommPort.h"
#include "log/VisibleText.h"
#include "messaging/MessagingServices.h"
#include "messaging/MessagingSession.h"
#include "messaging/SmsTexts.h"
#include "net/ConnectionManager.h"
#include "net/RasCodes.h"
#include "host/ArgChecks.h"
#include "owner/OwnerFeed.h"
#include "owner/PbOutcome.h"
#include "owner/StatusReport.h"

#include <set>

namespace kv {

namespace {

constexpr const char* kClosing = "the modem's owner is closing";
constexpr const char* kGone = "the modem went away (unplugged or no longer answering)";
constexpr const char* kNoMessaging = "the messages and phonebooks are not available here";
constexpr const char* kNoConnection = "the data connection is not available here";
constexpr int64_t kNetStepMs = 10000;

OwnerResult Error(OwnerError e, std::string text) { return {e, std::move(text)}; }

// A failed engine request, each kind named for what it is.
OwnerResult FromResult(uint16_t r, const std::string& what)
{
    const std::string text = what + ": " + ResultText(r);
    switch (r) {
    case DM_RESULT_DB_ERROR: return Error(OwnerError::Database, text);
    case DM_RESULT_EXCHANGE_FAILED: return Error(OwnerError::TimedOut, text);
    case DM_RESULT_MODEM_REFUSED: return Error(OwnerError::Refused, text);
    case DM_RESULT_BUSY: return Error(OwnerError::Busy, text);
    case DM_RESULT_ENGINE_STOPPED: return Error(OwnerError::Failed, kGone);
    default: return Error(OwnerError::Failed, text);
    }
}

const char* StoreName(int32_t index) { return SmsStorageOf(index) == kSmsStoreRuim ? "ruim" : "memory"; }

const char* BoxName(double tag)
{
    return tag <= kSmsTagUnread ? (tag == kSmsTagUnread ? "unread" : "read") : "outbox";
}

std::string SlotName(int32_t index) { return std::string(StoreName(index)) + ":" + std::to_string(SmsSlotOf(index)); }

OwnerSms MessageOf(CDaoSmsDb& sms, const std::function<std::string(double)>& timeText)
{
    OwnerSms m;
    m.index = uint32_t(sms.m_index);
    m.store = StoreName(sms.m_index);
    m.slot = uint32_t(SmsSlotOf(sms.m_index));
    m.box = BoxName(sms.m_tag_type);
    m.time = timeText(sms.m_time);
    m.number = Utf8Text(sms.m_cb_number);
    m.text = Utf8Text(sms.MessageText());
    return m;
}

std::string TimeText(double t)
{
    constexpr int64_t kCdmaEpoch = 315964800; // 1980-01-06 in Unix seconds
    const std::time_t unixTime = std::time_t(int64_t(t) + kCdmaEpoch);
    std::tm tm{};
    gmtime_r(&unixTime, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

const char* OutcomeName(intptr_t outcome)
{
    switch (outcome) {
    case kSmsOutcomeDelivered: return "delivered";
    case CMessagingSession::kNoReport: return "no report";
    case kSmsOutcomeBusy: return "modem busy";
    case kSmsOutcomeRefused: return "refused";
    default: return "failed";
    }
}

OwnerResult FromPb(const PbOutcome& o)
{
    switch (o.kind) {
    case PbOutcome::Ok: return {};
    case PbOutcome::Refused: return Error(OwnerError::InvalidArgument, o.text);
    case PbOutcome::Database: return Error(OwnerError::Database, o.text);
    case PbOutcome::Failed: return Error(OwnerError::Failed, o.text);
    case PbOutcome::Result: {
        OwnerResult r = FromResult(o.result, "");
        r.text = o.text;
        return r;
    }
    }
    return {};
}

const char* PbStorageWord(int type) { return type == kPbookRuim ? "ruim" : "memory"; }

bool ValidSmsIndex(int64_t index)
{
    return index >= SmsRowIndex(kSmsStoreRuim, 0) && index <= SmsRowIndex(kSmsStoreMemory, 0xFFFF);
}

constexpr const char* kSmsIndexRule =
    "is neither a row index (327680 to 458751) nor STORE:SLOT (memory:3, ruim:0; slot 0 to 65535)";

std::string IndexRefusal(const char* name, long long v)
{
    return std::string(name) + ": '" + std::to_string(v) + "' is not a whole number from 1 to 65535";
}

} // namespace

COwnerActions::COwnerActions(const OwnerParts& parts, COwnerWork& work, COwnerFeed& feed)
    : m_parts(parts), m_work(work), m_feed(feed)
{
    RegisterStatusSnapshot(*m_parts.engine);
}

COwnerActions::~COwnerActions() { m_alive->store(false); }

bool COwnerActions::Gone() const { return !m_parts.engine->ThreadRunning(); }

bool COwnerActions::Until(const std::function<bool()>& pred, int64_t ms)
{
    m_parts.host->WaitPumping([&] { return pred() || Gone(); }, ms);
    return pred();
}

OwnerResult COwnerActions::NotReadyResult() const
{
    if (Gone())
        return Error(OwnerError::NotReady, dmtext::kPortNotOpened);
    // Starting: what the message line says meanwhile.
    std::string line;
    for (char c : m_parts.host->MessageLineText())
        line += (c == '\n' || c == '\r') ? ' ' : c;
    while (!line.empty() && line.front() == ' ')
        line.erase(line.begin());
    return Error(OwnerError::NotReady, line.empty() ? std::string("the modem is starting") : line);
}

void COwnerActions::Run(std::function<void()> job, std::function<void(const OwnerResult&)> fail, bool needsMessages)
{
    auto alive = m_alive;
    auto once = std::make_shared<std::function<void(const OwnerResult&)>>(std::move(fail));
    m_work.Queue(
        [this, alive, once, job = std::move(job), needsMessages] {
            if (!alive->load()) {
                (*once)(Error(OwnerError::Failed, kClosing));
                return;
            }
            const bool ready = !Gone() && (!m_parts.startupDone || m_parts.startupDone());
            if (!ready) {
                (*once)(NotReadyResult());
                return;
            }
            if (needsMessages && (!m_parts.services || !m_parts.db)) {
                (*once)(Error(OwnerError::Failed, kNoMessaging));
                return;
            }
            job();
        },
        [once] { (*once)(Error(OwnerError::Failed, kClosing)); });
}

// ---------------------------------------------------------------------------
// Status

void COwnerActions::GetStatus(std::function<void(const OwnerResult&, const std::string&)> done)
{
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d] {
            StatusFacts facts;
            CDmEngine& engine = *m_parts.engine;
            engine.DmSubRequest(kStatusSnapshotRequest, reinterpret_cast<uintptr_t>(&facts.snap), false);
            if (m_parts.services) {
                for (int k = 0; k < 2; ++k) {
                    const uint16_t r = engine.DmSubRequest(DM_SMS_LIST, k == 0 ? 6 : 5, false);
                    if (r == DM_SMS_LIST || r == DM_RESULT_NO_MESSAGES || r == DM_RESULT_DB_ERROR)
                        (k == 0 ? facts.memoryCount : facts.ruimCount) =
                            k == 0 ? m_parts.services->Shared().m_nMemoryCount.load()
                                   : m_parts.services->Shared().m_nRuimCount.load();
                }
            }
            if (Gone()) {
                (*d)(Error(OwnerError::Failed, kGone), "");
                return;
            }
            const ModemState& st = m_parts.core->State();
            facts.deviceGiven = !m_parts.device.empty();
            facts.portPath = facts.deviceGiven ? m_parts.device
                                               : CCommPort::ComDevicePath(uint32_t(st.m_nComPort.load()));
            facts.service = m_feed.Indicator(IND_SERVICE);
            facts.roaming = m_feed.Indicator(IND_ROAMING);
            facts.batteryIndicator = m_feed.Indicator(IND_BATTERY);
            const StatusJson doc = BuildStatusDocument(st, facts);
            (*d)({}, doc.dump(-1, ' ', false, StatusJson::error_handler_t::replace));
        },
        [d](const OwnerResult& r) { (*d)(r, ""); });
}

// ---------------------------------------------------------------------------
// The data connection

void COwnerActions::Connect(const std::string& user, const std::string& password, Done done)
{
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, user, password] {
            kvnet::CConnectionManager* net = m_parts.net;
            if (!net) {
                (*d)(Error(OwnerError::Failed, kNoConnection));
                return;
            }
            const uint8_t state = net->State();
            if (state == kvnet::RAS_REQ_MONITOR || state == kvnet::RAS_REQ_CONNECT) {
                (*d)(Error(OwnerError::Busy, "a connection is up or being dialled already"));
                return;
            }
            if (!user.empty() || !password.empty())
                net->SetAccount(user, password, net->DialString());
            net->NetConnect();
            // The dial has begun once the monitor thread took the request;
            // how it ends comes as an event.
            const bool dialling = Until(
                [net] {
                    const uint8_t s = net->State();
                    return s == kvnet::RAS_REQ_CONNECT || s == kvnet::RAS_REQ_MONITOR;
                },
                kNetStepMs);
            if (dialling) {
                (*d)({});
                return;
            }
            std::string text = net->EntryErrorText();
            if (text.empty())
                text = "the dial did not start";
            (*d)(Error(OwnerError::Failed, text));
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

void COwnerActions::Disconnect(Done done)
{
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d] {
            kvnet::CConnectionManager* net = m_parts.net;
            if (!net) {
                (*d)(Error(OwnerError::Failed, kNoConnection));
                return;
            }
            net->NetDisconnect();
            const bool down = Until(
                [net] {
                    const uint8_t s = net->State();
                    return s != kvnet::RAS_REQ_CONNECT && s != kvnet::RAS_REQ_MONITOR && s != kvnet::RAS_REQ_DISCONNECT;
                },
                kNetStepMs);
            (*d)(down ? OwnerResult{} : Error(OwnerError::TimedOut, "the connection did not end in time"));
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

// ---------------------------------------------------------------------------
// Voice calls

bool COwnerActions::InCall() const
{
    const uint16_t p = m_parts.core->State().m_wUiPhase.load();
    return p == UI_PHASE_INCOMING || p == UI_PHASE_OUTGOING;
}

OwnerResult COwnerActions::ToDialPad()
{
    // The modem takes keys only from the dial pad, as in the window.
    ModemState& st = m_parts.core->State();
    if (st.m_nActiveView.load() == VIEW_DIAL_PAD)
        return {};
    if (st.m_ucServiceState.load() == SERVICE_EVDO)
        return Error(OwnerError::Refused, hosttext::kNoCallEvdoOnly);
    if (m_parts.core->UserActiveView(VIEW_DIAL_PAD, 0) == 0 || st.m_nActiveView.load() != VIEW_DIAL_PAD)
        return Error(OwnerError::Refused, "the dial pad cannot be shown now");
    return {};
}

bool COwnerActions::Connected() const
{
    return m_parts.core->State().m_ucLastCallState.load() == CALL_STATE_CONVERSATION;
}

void COwnerActions::Dial(const std::string& number, Done done)
{
    if (const std::string why = DialStringProblem(number); !why.empty()) {
        done(Error(OwnerError::InvalidArgument, why));
        return;
    }
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, number] {
            if (InCall()) {
                (*d)(Error(OwnerError::Busy, "a call is already in progress"));
                return;
            }
            if (QueueDial(*m_parts.engine, number) == 0) {
                (*d)(Gone() ? Error(OwnerError::Failed, kGone)
                            : Error(OwnerError::Refused, "the call was refused (a data connection is up)"));
                return;
            }
            const auto refused = [&] {
                return m_parts.host->MessageLineText().find("No Emergency") != std::string::npos;
            };
            Until([&] { return InCall() || refused(); }, m_callTimeoutMs);
            if (InCall())
                (*d)({});
            else if (Gone())
                (*d)(Error(OwnerError::Failed, kGone));
            else if (refused())
                (*d)(Error(OwnerError::Refused,
                           "without a usable card only the emergency numbers 911, 100, 101 and 102 are dialled"));
            else
                (*d)(Error(OwnerError::Failed, "the call was not placed"));
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

void COwnerActions::Answer(Done done)
{
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d] {
            const ModemState& st = m_parts.core->State();
            if (st.m_wUiPhase.load() != UI_PHASE_INCOMING || Connected()) {
                (*d)(Error(OwnerError::NotFound, "no incoming call"));
                return;
            }
            if (const OwnerResult r = ToDialPad(); !r.ok()) {
                (*d)(r);
                return;
            }
            QueueCallKey(*m_parts.engine, CALL_KEY_SEND);
            if (Until([&] { return Connected() || !InCall(); }, m_callTimeoutMs) && Connected())
                (*d)({});
            else
                (*d)(Gone() ? Error(OwnerError::Failed, kGone)
                            : Error(OwnerError::Failed, "the call could not be answered"));
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

void COwnerActions::Hangup(Done done)
{
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d] {
            if (InCall()) {
                if (const OwnerResult r = ToDialPad(); !r.ok()) {
                    (*d)(r);
                    return;
                }
                QueueCallKey(*m_parts.engine, CALL_KEY_END);
                if (!Until([&] { return !InCall(); }, m_callTimeoutMs)) {
                    (*d)(Gone() ? Error(OwnerError::Failed, kGone) : Error(OwnerError::Failed, "the call did not end"));
                    return;
                }
            }
            (*d)({});
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

void COwnerActions::SendDtmf(const std::string& digits, Done done)
{
    if (const std::string why = DtmfProblem(digits); !why.empty()) {
        done(Error(OwnerError::InvalidArgument, why));
        return;
    }
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, digits] {
            if (!Connected()) {
                (*d)(Error(OwnerError::NotFound, "no call to send digits to"));
                return;
            }
            if (const OwnerResult r = ToDialPad(); !r.ok()) {
                (*d)(r);
                return;
            }
            ModemState& st = m_parts.core->State();
            for (char c : digits) {
                QueueCallKey(*m_parts.engine, c);
                if (!Until([&] { return st.m_call.KeysEmpty(); }, m_callTimeoutMs)) {
                    (*d)(Gone() ? Error(OwnerError::Failed, kGone) : Error(OwnerError::Failed, "a key was not sent"));
                    return;
                }
                m_parts.host->WaitPumping([] { return false; }, 100);
            }
            (*d)({});
        },
        [d](const OwnerResult& r) { (*d)(r); });
}

// ---------------------------------------------------------------------------
// Messages

bool COwnerActions::OnSmsSendStatus(uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard<std::mutex> g(m_outLock);
        if (!m_bSending)
            return false;
        if (wParam == 0)
            m_outcomes.push_back(lParam);
    }
    m_parts.host->Wake();
    return true;
}

intptr_t COwnerActions::SendOne(const std::string& number, const std::string& callback, const std::string& text)
{
    {
        std::lock_guard<std::mutex> g(m_outLock);
        m_outcomes.clear();
        m_bSending = true;
    }
    m_parts.services->Shared().SetSendRecord(number, callback, text);
    const uint16_t r = m_parts.engine->DmSubRequest(DM_SMS_SEND, 0, false);
    intptr_t outcome = CMessagingSession::kNoReport;
    bool got = false;
    if (r == DM_RESULT_ENGINE_STOPPED) {
        outcome = kSmsOutcomeRefused;
        got = true;
    } else if (r == DM_RESULT_BUSY) {
        outcome = kSmsOutcomeBusy; // not now: nothing was sent
        got = true;
    } else {
        // A refused send posts its outcome at once; a sent one gets its
        // report from the engine's send-status command.
        const auto take = [&] {
            std::lock_guard<std::mutex> g(m_outLock);
            if (m_outcomes.empty())
                return false;
            outcome = m_outcomes.front();
            return true;
        };
        got = Until(take, r == DM_SMS_SEND ? m_reportTimeoutMs : 1500) || take();
        if (!got)
            outcome = r == DM_SMS_SEND && Gone() ? CMessagingSession::kSentModemGone : CMessagingSession::kNoReport;
    }
    std::lock_guard<std::mutex> g(m_outLock);
    m_bSending = false;
    m_outcomes.clear();
    return outcome;
}

void COwnerActions::SendSms(const std::vector<std::string>& numbers, const std::string& text,
                            const std::string& callback, bool save,
                            std::function<void(const OwnerResult&, const std::vector<OwnerSmsOutcome>&)> done)
{
    // In the order the command line checks them.
    const std::string why = SmsSendProblem(numbers, text, callback);
    if (!why.empty()) {
        done(Error(OwnerError::InvalidArgument, why), {});
        return;
    }
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, numbers, text, callback, save] {
            if (save) {
                // A copy in the card's outbox first, as the SMS page keeps one.
                m_parts.services->Shared().SetSendRecord(numbers.front(), callback, text);
                m_parts.engine->DmSubRequest(DM_SMS_WRITE, uintptr_t(SmsRowIndex(kSmsStoreRuim, 3)), false);
            }
            std::vector<OwnerSmsOutcome> results;
            int failed = 0, timedOut = 0;
            bool gone = false;
            for (const std::string& n : numbers) {
                if (gone) {
                    ++failed;
                    results.push_back({n, "not sent", 0, false});
                    continue;
                }
                const intptr_t outcome = SendOne(n, callback, text);
                if (outcome != kSmsOutcomeDelivered && Gone()) {
                    gone = true;
                    ++failed;
                    results.push_back({n, "modem gone", 0, false});
                    continue;
                }
                results.push_back({n, OutcomeName(outcome), int64_t(outcome), true});
                if (outcome == kSmsOutcomeDelivered)
                    continue;
                ++failed;
                if (outcome == CMessagingSession::kNoReport)
                    ++timedOut;
            }
            OwnerResult r;
            if (gone)
                r = Error(OwnerError::Failed, kGone);
            else if (failed)
                r = Error(failed == timedOut ? OwnerError::TimedOut : OwnerError::Failed,
                          "Sending messages have " + std::to_string(failed) + " failed of "
                              + std::to_string(numbers.size()) + " total.");
            (*d)(r, results);
        },
        [d](const OwnerResult& r) { (*d)(r, {}); }, true);
}

OwnerResult COwnerActions::LoadMessages()
{
    CDmEngine& engine = *m_parts.engine;
    bool any = false;
    for (const int store : {kSmsStoreMemory, kSmsStoreRuim}) {
        const uint16_t r = engine.DmSubRequest(DM_SMS_LIST, uintptr_t(store), false);
        if (r == DM_SMS_LIST)
            any = true;
        else if (r != DM_RESULT_NO_MESSAGES)
            return FromResult(r, std::string("listing the ") + (store == kSmsStoreRuim ? "ruim" : "memory")
                                     + " messages failed");
    }
    if (any) {
        const uint16_t r = engine.DmSubRequest(DM_SMS_READ, 0, false);
        if (r != DM_SMS_READ)
            return FromResult(r, "reading the messages failed");
    }
    m_parts.core->State().m_ucUiFlags |= UIF_SMS_LOADED;
    return {};
}

void COwnerActions::ListSms(const std::string& store,
                            std::function<void(const OwnerResult&, const std::vector<OwnerSms>&)> done)
{
    if (const std::string why = SmsStoreProblem(store, true); !why.empty()) {
        done(Error(OwnerError::InvalidArgument, why), {});
        return;
    }
    const int only = store.empty() ? 0 : store == "memory" ? kSmsStoreMemory : kSmsStoreRuim;
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, only] {
            if (const OwnerResult r = LoadMessages(); !r.ok()) {
                (*d)(r, {});
                return;
            }
            std::vector<OwnerSms> out;
            try {
                CDaoSmsDb& sms = m_parts.db->Sms();
                if (sms.GetRecordCount() > 0)
                    for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext())
                        if (!only || SmsStorageOf(sms.m_index) == only)
                            out.push_back(MessageOf(sms, TimeText));
            } catch (const CDaoException& e) {
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())), {});
                return;
            }
            (*d)({}, out);
        },
        [d](const OwnerResult& r) { (*d)(r, {}); }, true);
}

void COwnerActions::ReadSms(uint32_t index, std::function<void(const OwnerResult&, const OwnerSms&)> done)
{
    if (!ValidSmsIndex(index)) {
        done(Error(OwnerError::InvalidArgument, "INDEX: '" + std::to_string(index) + "' " + kSmsIndexRule), {});
        return;
    }
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, index] {
            if (const OwnerResult r = LoadMessages(); !r.ok()) {
                (*d)(r, {});
                return;
            }
            OwnerSms m;
            bool unread = false;
            try {
                CDaoSmsDb& sms = m_parts.db->Sms();
                if (!sms.FindFirst(CDaoSmsDb::FilterIndex(long(index)))) {
                    (*d)(Error(OwnerError::NotFound, "no message " + SlotName(int32_t(index))), {});
                    return;
                }
                m = MessageOf(sms, TimeText);
                unread = sms.m_tag_type == kSmsTagUnread;
            } catch (const CDaoException& e) {
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())), {});
                return;
            }
            if (unread)
                m_parts.services->Sms().MarkMessageRead(int32_t(index));
            (*d)({}, m);
        },
        [d](const OwnerResult& r) { (*d)(r, {}); }, true);
}

void COwnerActions::DeleteSms(uint32_t index, Done done)
{
    if (!ValidSmsIndex(index)) {
        done(Error(OwnerError::InvalidArgument, "INDEX: '" + std::to_string(index) + "' " + kSmsIndexRule));
        return;
    }
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, index] {
            if (const OwnerResult r = LoadMessages(); !r.ok()) {
                (*d)(r);
                return;
            }
            const std::string name = SlotName(int32_t(index));
            try {
                if (!m_parts.db->Sms().FindFirst(CDaoSmsDb::FilterIndex(long(index)))) {
                    (*d)(Error(OwnerError::NotFound, "no message " + name));
                    return;
                }
            } catch (const CDaoException& e) {
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())));
                return;
            }
            const uint16_t r = m_parts.engine->DmSubRequest(DM_SMS_REMOVEAT, uintptr_t(index), false);
            (*d)(r == DM_SMS_REMOVEAT ? OwnerResult{} : FromResult(r, "cannot delete " + name));
        },
        [d](const OwnerResult& r) { (*d)(r); }, true);
}

void COwnerActions::DeleteAllSms(const std::string& box,
                                 std::function<void(const OwnerResult&, uint32_t, uint32_t)> done)
{
    if (const std::string why = SmsBoxProblem(box); !why.empty()) {
        done(Error(OwnerError::InvalidArgument, why), 0, 0);
        return;
    }
    const bool inbox = box == "inbox";
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, inbox] {
            if (const OwnerResult r = LoadMessages(); !r.ok()) {
                (*d)(r, 0, 0);
                return;
            }
            const auto boxIndexes = [&](std::vector<int32_t>& out) {
                out.clear();
                CDaoSmsDb& sms = m_parts.db->Sms();
                if (sms.GetRecordCount() > 0)
                    for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext())
                        if (inbox ? sms.m_tag_type <= kSmsTagUnread : sms.m_tag_type > kSmsTagUnread)
                            out.push_back(sms.m_index);
            };
            std::vector<int32_t> before, after;
            uint16_t r = DM_SMS_REMOVEALL;
            try {
                boxIndexes(before);
            } catch (const CDaoException& e) {
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())), 0, 0);
                return;
            }
            // One by one: the page's Delete All works on the page's own
            // list, which is the window's to keep.
            for (int32_t index : before) {
                r = m_parts.engine->DmSubRequest(DM_SMS_REMOVEAT, uintptr_t(index), false);
                if (r == DM_SMS_REMOVEAT)
                    r = DM_SMS_REMOVEALL;
                else if (r == DM_RESULT_ENGINE_STOPPED || r == DM_RESULT_EXCHANGE_FAILED || Gone())
                    break;
                else
                    r = DM_SMS_REMOVEALL; // refused: it stays, and is counted as left
            }
            try {
                boxIndexes(after);
            } catch (const CDaoException& e) {
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())), 0, 0);
                return;
            }
            const uint32_t deleted = uint32_t(before.size() - std::min(before.size(), after.size()));
            OwnerResult res;
            if (r != DM_SMS_REMOVEALL)
                res = FromResult(r, "delete all stopped");
            else if (!after.empty())
                res = Error(OwnerError::Refused, "the modem kept " + std::to_string(after.size()) + " of "
                                                     + std::to_string(before.size()) + " messages");
            (*d)(res, deleted, uint32_t(after.size()));
        },
        [d](const OwnerResult& r) { (*d)(r, 0, 0); }, true);
}

// ---------------------------------------------------------------------------
// Phonebooks

void COwnerActions::ListPhonebook(const std::string& storage,
                                  std::function<void(const OwnerResult&, const std::vector<OwnerPbEntry>&, int, int)> done)
{
    const int only = storage.empty() ? 0 : PbStorageType(storage);
    if (!storage.empty() && !only) {
        done(Error(OwnerError::InvalidArgument, PbStorageProblem(storage)), {}, 0, 0);
        return;
    }
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, only] {
            const ModemState& st = m_parts.core->State();
            std::vector<OwnerPbEntry> out;
            int used = 0, capacity = 0;
            CDaoPbookDb& pb = m_parts.db->Pbook();
            try {
                for (int type : {kPbookRuim, kPbookMemory}) {
                    if (only && only != type)
                        continue;
                    used += type == kPbookRuim ? st.m_wPbRuimUsed.load() : st.m_wPbMemoryUsed.load();
                    capacity += type == kPbookRuim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();
                    pb.Open(CDaoPbookDb::QueryStorage(type));
                    for (; !pb.IsEOF(); pb.MoveNext())
                        out.push_back({PbStorageWord(type), uint32_t(pb.m_index), Utf8Text(pb.m_phone_number),
                                       Utf8Text(pb.m_name)});
                    pb.Close();
                }
            } catch (const CDaoException& e) {
                if (pb.IsOpen())
                    pb.Close();
                (*d)(Error(OwnerError::Database, "database error: " + VisibleText(e.Description())), {}, 0, 0);
                return;
            }
            (*d)({}, out, used, capacity);
        },
        [d](const OwnerResult& r) { (*d)(r, {}, 0, 0); }, true);
}

void COwnerActions::AddPhonebookEntry(const std::string& storage, int index, const std::string& name,
                                      const std::string& number, std::function<void(const OwnerResult&, uint32_t)> done)
{
    const int type = PbStorageType(storage);
    std::string why = PbStorageProblem(storage);
    if (why.empty() && index != -1 && (index < 1 || index > 0xFFFF))
        why = IndexRefusal("--index", index);
    if (why.empty())
        if (const std::string p = PbNameProblem(name, type, 65); !p.empty())
            why = "NAME: " + p;
    if (why.empty())
        if (const std::string p = DialProblem(number, PbNumberRules(type)); !p.empty())
            why = "NUMBER: " + p;
    if (!why.empty()) {
        done(Error(OwnerError::InvalidArgument, why), 0);
        return;
    }
    auto d = std::make_shared<decltype(done)>(std::move(done));
    Run(
        [this, d, type, index, name, number] {
            const ModemState& st = m_parts.core->State();
            if (const std::string p = PbNameProblem(name, type, st.m_wPbLen.load()); !p.empty()) {
                (*d)(Error(OwnerError::InvalidArgument, "NAME: " + p), 0);
                return;
            }
            const int capacity = type == kPbookRuim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();
            int at = index;
            if (at == -1) {
                // The first index from 1 the table does not use; after a
                // database error a guess could overwrite an entry.
                std::set<int> used;
                CDaoPbookDb& pb = m_parts.db->Pbook();
                try {
                    pb.Open(CDaoPbookDb::QueryStorage(type));
                    for (; !pb.IsEOF(); pb.MoveNext())
                        used.insert(pb.m_index);
                    pb.Close();
                } catch (const CDaoException& e) {
                    if (pb.IsOpen())
                        pb.Close();
                    (*d)(Error(OwnerError::Database, "database error while looking for a free index: "
                                                         + VisibleText(e.Description()) + " (give --index N)"),
                         0);
                    return;
                }
                at = 1;
                while (used.count(at))
                    ++at;
                if (capacity > 0 && at > capacity) {
                    (*d)(Error(OwnerError::Refused, std::string("the ") + PbStorageWord(type) + " phonebook is full ("
                                                        + std::to_string(capacity) + " entries)"),
                         0);
                    return;
                }
            } else if (capacity > 0 && at > capacity) {
                (*d)(Error(OwnerError::InvalidArgument, "--index: " + std::to_string(at) + " is beyond the "
                                                            + PbStorageWord(type) + " phonebook's "
                                                            + std::to_string(capacity) + " entries"),
                     0);
                return;
            }
            const auto c = m_parts.services->Pbook().WriteEntry(type, at, name, number);
            const OwnerResult r = FromPb(PbChangeOutcome(c, "stored", type, at));
            (*d)(r, r.ok() ? uint32_t(at) : 0);
        },
        [d](const OwnerResult& r) { (*d)(r, 0); }, true);
}

void COwnerActions::ModifyPhonebookEntry(const std::string& storage, uint32_t index, const std::string& name,
                                         const std::string& number, Done done)
{
    const int type = PbStorageType(storage);
    std::string why = PbStorageProblem(storage);
    if (why.empty() && (index < 1 || index > 0xFFFF))
        why = IndexRefusal("INDEX", index);
    if (why.empty())
        if (const std::string p = PbNameProblem(name, type, 65); !p.empty())
            why = "NAME: " + p;
    if (why.empty())
        if (const std::string p = DialProblem(number, PbNumberRules(type)); !p.empty())
            why = "NUMBER: " + p;
    if (!why.empty()) {
        done(Error(OwnerError::InvalidArgument, why));
        return;
    }
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, type, index, name, number] {
            if (const std::string p = PbNameProblem(name, type, m_parts.core->State().m_wPbLen.load()); !p.empty()) {
                (*d)(Error(OwnerError::InvalidArgument, "NAME: " + p));
                return;
            }
            const auto c = m_parts.services->Pbook().ModifyEntry(type, int(index), name, number);
            if (c.refusal == "no such entry") {
                (*d)(Error(OwnerError::NotFound, std::string("no ") + PbStorageWord(type) + " entry "
                                                     + std::to_string(index) + " (pb add stores a new one)"));
                return;
            }
            (*d)(FromPb(PbChangeOutcome(c, "changed", type, int(index))));
        },
        [d](const OwnerResult& r) { (*d)(r); }, true);
}

void COwnerActions::DeletePhonebookEntry(const std::string& storage, uint32_t index, Done done)
{
    const int type = PbStorageType(storage);
    std::string why = PbStorageProblem(storage);
    if (why.empty() && (index < 1 || index > 0xFFFF))
        why = IndexRefusal("INDEX", index);
    if (!why.empty()) {
        done(Error(OwnerError::InvalidArgument, why));
        return;
    }
    auto d = std::make_shared<Done>(std::move(done));
    Run(
        [this, d, type, index] {
            const ModemState& st = m_parts.core->State();
            const int capacity = type == kPbookRuim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();
            if (capacity > 0 && int(index) > capacity) {
                (*d)(Error(OwnerError::InvalidArgument, "INDEX: " + std::to_string(index) + " is beyond the "
                                                            + PbStorageWord(type) + " phonebook's "
                                                            + std::to_string(capacity) + " entries"));
                return;
            }
            (*d)(FromPb(PbChangeOutcome(m_parts.services->Pbook().DeleteEntry(type, int(index)), "deleted", type,
                                        int(index))));
        },
        [d](const OwnerResult& r) { (*d)(r); }, true);
}

} // namespace kv
