#include "FakeModem.h"

#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"
#include "platform/Event.h"

#include <algorithm>
#include <cstring>

using namespace kv;

namespace kvtest {

bool FakeModem::Open(int, uint32_t)
{
    if (m_openFails.load() || m_open.load())
        return false;
    ++m_opens;
    m_open = true;
    return true;
}

void FakeModem::Close()
{
    if (m_open.exchange(false))
        ++m_closes;
    std::lock_guard<std::mutex> g(m_lock);
    m_cv.notify_all();
}

std::string FakeModem::NameOf(const DiagRequest& r)
{
    const uint8_t* b = r.Data();
    const uint16_t sub = r.length >= 3 ? GetU16(b, 1) : 0;
    switch (b[0]) {
    case DIAG_VERNO_F: return "VER";
    case DIAG_STATUS_F: return "ESN";
    case DIAG_HS_KEY_REQ: return "KEY" + std::to_string(b[2]);
    case DIAG_EXT_REQ: return "NV" + std::to_string(GetU16(b, 3));
    case KVA_CMD_GENERAL:
        switch (sub) {
        case KVA_SUB_SERVICE: return "SERVICE";
        case KVA_SUB_STATUS: return "STATUS";
        case KVA_SUB_CM_SYS_SEL: return "CMSYSSEL";
        case KVA_SUB_1X_DRC: return "1XDRC";
        case KVA_SUB_HDR_DRC: return "HDRDRC";
        case KVA_SUB_INF_VER: return "INFVER";
        case KVA_SUB_BATT_INFO: return "BATT";
        case KVA_SUB_GET_INFO: return "GETINFO";
        default: return "CF" + std::to_string(sub);
        }
    case KVA_CMD_SMS: return sub == KVA_SUB_INFO ? "SMSINFO" : "SMS" + std::to_string(sub);
    case KVA_CMD_PBOOK: return sub == KVA_SUB_PB_INIT ? "PBINFO" + std::to_string(b[3]) : "PB" + std::to_string(sub);
    case KVA_CMD_RUIM:
        return sub == KVA_SUB_RUIM_STATUS ? "RUIM" : sub == KVA_SUB_RUIM_VERIFY_CHV ? "VERIFY" : "UNBLOCK";
    default: return "?";
    }
}

static std::string Code(const uint8_t* p)
{
    std::string s;
    for (int i = 0; i < 8 && p[i] != 0xFF; ++i)
        s += char(p[i]);
    return s;
}

std::vector<uint8_t> FakeModem::Answer(const std::string& n, const DiagRequest& r)
{
    Model& m = m_model;
    const uint8_t* b = r.Data();
    if (n == "VER") {
        VersionReply v;
        v.buildDate = m.buildDate;
        v.swVersion = m.swVersion;
        v.hwVersion = m.hwVersion;
        return EncodeVersionReply(v);
    }
    if (n == "ESN") {
        EsnMinReply v;
        v.esn = m.esn;
        v.min1 = m.min1;
        v.min2 = m.min2;
        return EncodeEsnMinReply(v);
    }
    if (n.rfind("KEY", 0) == 0) {
        std::vector<uint8_t> a(b, b + 3);
        return a;
    }
    if (n == "NV10")
        return EncodeNvReadReply(10, {0, uint8_t(m.prefMode), uint8_t(m.prefMode >> 8)});
    if (n == "NV562")
        return EncodeNvReadReply(562, {m.hybrid});
    if (n == "NV215") {
        std::vector<uint8_t> d{0, uint8_t(m.dirNumber.size())};
        for (char c : m.dirNumber)
            d.push_back(uint8_t(c));
        return EncodeNvReadReply(215, d);
    }
    if (n == "SERVICE") {
        ServiceReply v;
        v.serviceMode = m.serviceMode;
        v.rxDiversity = m.rxDiversity;
        v.asciiMax = m.asciiMax;
        v.unicodeMax = m.unicodeMax;
        v.callbackMax = m.callbackMax;
        v.inCallVolume = m.inCallVolume;
        v.idleVolume = m.idleVolume;
        return EncodeServiceReply(v);
    }
    if (n == "INFVER")
        return EncodeInfVerReply(InfVerReply{1, 2, 0x0305});
    if (n == "BATT") {
        BattInfo v;
        v.chgVal = m.chgVal;
        v.battVal = m.battVal;
        std::copy(std::begin(m.bar), std::end(m.bar), v.bar.begin());
        return EncodeBattInfo(v);
    }
    if (n == "GETINFO")
        return EncodeGetInfoReply(m.info);
    if (n == "STATUS") {
        StatusRecord s;
        s.sysMode = m.sysMode;
        s.hybridPref = m.hybridPref;
        s.state = m.state;
        s.curSysmode = m.curSysmode;
        s.roaming = m.roaming;
        s.newSmsCnt = m.newSms;
        s.rxDiversity = m.statusRxDiversity;
        const bool lng = (m.serviceMode & 0x80) != 0;
        s.rx1xRssi = lng ? m.rx1x : -m.rx1x;
        s.rxHdrRssi = lng ? m.rxHdr : -m.rxHdr;
        return EncodeStatusRecord(s, lng);
    }
    if (n == "1XDRC")
        return Encode1xDrcReply(m.rate1x);
    if (n == "HDRDRC") {
        std::array<uint8_t, 8> a{};
        std::copy(std::begin(m.hdrRates), std::end(m.hdrRates), a.begin());
        return EncodeHdrDrcReply(a);
    }
    if (n == "CMSYSSEL")
        return EncodeVendorResultReply(KVA_CMD_GENERAL, KVA_SUB_CM_SYS_SEL, 0);
    if (n == "SMSINFO") {
        SmsInfoReply v;
        v.inited = m.smsInited;
        v.smsMaxSlot = m.smsMaxSlot;
        return EncodeSmsInfoReply(v);
    }
    if (n.rfind("PBINFO", 0) == 0) {
        PbInfoReply v;
        v.result = m.pbResult;
        v.maxRecord = 250;
        v.recordInUse = b[3] == 1 ? 5 : 7;
        v.pbLen = 65;
        return EncodePbInfoReply(v);
    }
    if (n == "RUIM") {
        RuimStatus v{m.connected, m.uimState, m.lockState,
                     m.lockState == 4 ? m.pukRetry : m.retryCnt};
        return EncodeRuimStatus(v);
    }
    if (n == "VERIFY" || n == "UNBLOCK") {
        RuimChvReply v;
        const bool unblock = n == "UNBLOCK";
        if (m.forcedSw >= 0) {
            v.sw1 = uint8_t(m.forcedSw >> 8);
            v.sw2 = uint8_t(m.forcedSw);
            v.numOfRetries = m.forcedRetries;
            return EncodeRuimChvReply(unblock ? KVA_SUB_RUIM_UNBLOCK_CHV : KVA_SUB_RUIM_VERIFY_CHV, v);
        }
        const bool good = unblock ? Code(b + 3) == m.puk : Code(b + 3) == m.pin;
        if (good) {
            v.sw1 = 0x90;
            if (unblock)
                m.pin = Code(b + 11);
            m.lockState = 3;
            m.retryCnt = 3;
            v.numOfRetries = 3;
        } else {
            uint8_t& left = unblock ? m.pukRetry : m.retryCnt;
            if (left > 0)
                --left;
            v.sw1 = 0x98;
            v.sw2 = left > 0 ? 0x04 : 0x40;
            if (!unblock && left == 0)
                m.lockState = 4;
            v.numOfRetries = left;
        }
        return EncodeRuimChvReply(unblock ? KVA_SUB_RUIM_UNBLOCK_CHV : KVA_SUB_RUIM_VERIFY_CHV, v);
    }
    return {};
}

int FakeModem::Transact(const DiagRequest& request, uint8_t* reply, size_t replySize,
                        size_t& replyLength)
{
    replyLength = 0;
    if (!m_open.load())
        return DIAG_NOT_WRITTEN;
    if (m_inFlight.fetch_add(1) != 0)
        m_overlap = true;
    if (m_hang.load()) {
        // A request that never comes back, until the port is closed under it.
        std::unique_lock<std::mutex> lk(m_lock);
        m_cv.wait_for(lk, std::chrono::seconds(20), [&] { return !m_open.load(); });
        m_inFlight.fetch_sub(1);
        return DIAG_TIMEOUT;
    }
    SleepMs(m_delayMs.load());
    const std::string n = NameOf(request);
    {
        std::unique_lock<std::mutex> lk(m_lock);
        if (!m_hangNext.empty() && n == m_hangNext) {
            m_hangNext.clear();
            m_cancelled = false;
            m_log.push_back(n);
            m_hanging = true;
            m_cv.wait_for(lk, std::chrono::seconds(20), [&] { return !m_open.load() || m_cancelled; });
            m_hanging = false;
            m_inFlight.fetch_sub(1);
            return DIAG_TIMEOUT;
        }
    }
    int rc = DIAG_OK;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_log.push_back(n);
        m_raw.emplace_back(request.Data(), request.Data() + request.length);
        auto it = m_fail.find(n);
        if (m_silent) {
            rc = DIAG_TIMEOUT;
        } else if (it != m_fail.end() && it->second > 0) {
            --it->second;
            rc = DIAG_TIMEOUT;
        } else {
            std::vector<uint8_t> a = Answer(n, request);
            if (a.empty()) {
                rc = DIAG_NO_MATCH;
            } else {
                replyLength = std::min(a.size(), replySize);
                std::memcpy(reply, a.data(), replyLength);
            }
        }
    }
    m_cv.notify_all();
    m_inFlight.fetch_sub(1);
    return rc;
}

void FakeModem::FailNext(const std::string& name, int times)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_fail[name] = times;
}

void FakeModem::HangNext(const std::string& name)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_hangNext = name;
}

void FakeModem::CancelWait()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_cancelled = true;
    m_cv.notify_all();
}

void FakeModem::SetSilent(bool on)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_silent = on;
}

std::vector<std::string> FakeModem::Log() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_log;
}

std::vector<std::vector<uint8_t>> FakeModem::RawRequests() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_raw;
}

size_t FakeModem::Count(const std::string& name) const
{
    std::lock_guard<std::mutex> g(m_lock);
    return size_t(std::count(m_log.begin(), m_log.end(), name));
}

bool FakeModem::WaitCount(const std::string& name, size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_lock);
    return m_cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
        return size_t(std::count(m_log.begin(), m_log.end(), name)) >= count;
    });
}

} // namespace kvtest
