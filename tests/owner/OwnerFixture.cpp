#include "OwnerFixture.h"

#include "host/HostIds.h"

namespace kvtest {

void OwnerRecorder::OnOwnerChanged(const kv::OwnerSnapshot&, const std::vector<std::string>&)
{
    std::lock_guard<std::mutex> g(m_lock);
    ++m_changes;
}

void OwnerRecorder::OnOwnerEvent(const kv::OwnerEvent& event)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_events.push_back(event);
}

std::vector<kv::OwnerEvent> OwnerRecorder::Events() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_events;
}

std::optional<kv::OwnerEvent> OwnerRecorder::First(kv::OwnerEventKind kind) const
{
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& e : m_events)
        if (e.kind == kind)
            return e;
    return std::nullopt;
}

int OwnerRecorder::Count(kv::OwnerEventKind kind) const
{
    std::lock_guard<std::mutex> g(m_lock);
    int n = 0;
    for (const auto& e : m_events)
        n += e.kind == kind;
    return n;
}

int OwnerRecorder::Changes() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_changes;
}

std::string OwnerFixture::Describe()
{
    const kv::OwnerSnapshot s = Snap();
    return "ready=" + std::to_string(s.engineReady) + " port=" + s.port + " service=" + s.serviceState + "("
           + std::to_string(s.serviceStateCode) + ") mode=" + s.systemMode + " 1x=" + std::to_string(s.signal1xDbm)
           + "/" + std::to_string(s.signal1xBars) + " evdo=" + std::to_string(s.signalEvdoDbm) + "/"
           + std::to_string(s.signalEvdoBars) + " card=" + s.cardState + " memory=" + std::to_string(s.messagesMemory)
           + " call=" + s.callState + ":" + s.callNumber + " line=" + m_session->Host().MessageLine()
           + " host1x=" + std::to_string(m_session->Host().Signal(1041));
}

void OwnerFixture::TearDown()
{
    if (m_owner) {
        m_owner->Hub().RemoveListener(&m_rec);
        m_owner->Close();
    }
    StopSession();
    m_owner.reset();
    SimFixture::TearDown();
}

void OwnerFixture::MakeSession(bool readPhonebooks)
{
    kv::CMessagingSession::Options o;
    o.device = m_sim->SlavePath();
    o.dbPath = DbPath();
    o.readPhonebooks = readPhonebooks;
    o.startTimeoutMs = 20000;
    m_session = std::make_unique<kv::CMessagingSession>(o);
    kv::CHeadlessHost& host = m_session->Host();
    kv::OwnerParts parts;
    parts.host = &host;
    parts.core = &host.Core();
    parts.engine = &m_session->Engine();
    parts.services = &m_session->Services();
    parts.db = &m_session->Db();
    parts.post = [&host](std::function<void()> fn) { host.RunOnUi(std::move(fn)); };
    parts.startupDone = [&host] { return host.ControlEnabled(kv::IDC_SMS_TOGGLE); };
    parts.device = m_sim->SlavePath();
    m_owner = std::make_unique<kv::COwner>(parts);
    m_owner->Hub().AddListener(&m_rec);
    kv::COwner* owner = m_owner.get();
    m_session->SetMessageFilter([owner](kv::MsgTarget t, uint32_t msg, uintptr_t w, intptr_t l, intptr_t& r) {
        if (t == kv::MsgTarget::SmsPage && msg == kv::UM_SMS_SEND_STATUS && owner->OnSmsSendStatus(w, l)) {
            r = 0;
            return true;
        }
        return false;
    });
}

void OwnerFixture::Begin(const std::function<void(kv::sim::ModemModel&)>& seed, bool readPhonebooks)
{
    StartSim(seed);
    MakeSession(readPhonebooks);
    ASSERT_TRUE(StartModem());
    // Ready, and the stores listed once (what is there is not news).
    ASSERT_TRUE(Until([&] { return Snap().engineReady && Snap().messagesMemory >= 0; }, 15000));
}

} // namespace kvtest
