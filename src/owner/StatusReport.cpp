#include "owner/StatusReport.h"

#include "engine/DmCodes.h"
#include "engine/DmTexts.h"
#include "engine/PinCheck.h"
#include "host/HostIds.h"
#include "host/StatusModel.h"
#include "log/NumberParse.h"
#include "settings/Profile.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace kv {

namespace {

bool ValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::string Setting(const char* section, const char* key) { return GetProfileString(section, key, "", 64, kMainIni); }

StatusJson SignalJson(bool known, int dbm)
{
    if (!known)
        return {{"dbm", nullptr}, {"bars", nullptr}};
    const uint32_t bars = SignalBars(dbm);
    if (bars == 0)
        return {{"dbm", dbm == kSignalNone ? StatusJson(nullptr) : StatusJson(dbm)}, {"bars", 0}};
    return {{"dbm", dbm}, {"bars", bars}};
}

uint16_t TakeSnapshot(CDmEngine& engine, uintptr_t type)
{
    auto* snap = reinterpret_cast<StatusSnapshot*>(type);
    if (!snap)
        return DM_RESULT_BAD_ARGUMENT;
    snap->battOk = engine.Exchange(BuildBattInfoReq()) == DIAG_OK
                   && ParseBattInfo(engine.Reply(), engine.ReplyLength(), snap->batt);
    snap->longLayout = (engine.State().m_ucServiceMode.load() & kServiceModeLongStatus) != 0;
    snap->statusOk = engine.Exchange(BuildModemStatusReq()) == DIAG_OK
                     && ParseStatusRecord(engine.Reply(), engine.ReplyLength(), snap->longLayout, snap->rec);
    return snap->battOk || snap->statusOk ? kStatusSnapshotRequest : uint16_t(DM_RESULT_EXCHANGE_FAILED);
}

} // namespace

std::string Utf8Text(std::string_view bytes)
{
    if (ValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string ResultText(uint16_t result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", unsigned(result));
    switch (result) {
    case DM_RESULT_EXCHANGE_FAILED: return std::string("no answer from the modem in time (") + code + ")";
    case DM_RESULT_MODEM_REFUSED: return std::string("the modem refused it (") + code + ")";
    case DM_RESULT_DB_ERROR: return std::string("database error (") + code + ")";
    case DM_RESULT_ENGINE_STOPPED: return std::string("the modem stopped answering (") + code + ")";
    case DM_RESULT_BAD_ARGUMENT: return std::string("the request was incomplete (") + code + ")";
    default: return std::string("failed (") + code + ")";
    }
}

const char* ServiceName(int v)
{
    switch (v) {
    case SERVICE_1X_HYBRID: return "1x (hybrid with EV-DO)";
    case SERVICE_1X: return "1x";
    case SERVICE_NONE: return "no service";
    case SERVICE_EVDO: return "EV-DO";
    default: return "unknown";
    }
}

const char* SystemModeName(int v)
{
    switch (v) {
    case 0: return "none";
    case 2: return "CDMA 1x";
    case 4: return "EV-DO";
    default: return "unknown";
    }
}

std::string BatteryName(int level)
{
    if (level >= 0 && level <= 5)
        return "level " + std::to_string(level) + " of 5";
    if (level == 6)
        return "charged";
    if (level == 7)
        return "charging";
    return "unknown";
}

std::string CardStateName(const ModemState& st)
{
    const uint8_t flags = st.m_ucCardFlags.load();
    if ((flags & CARDF_NO_CARD) || st.m_ucCardRetry.load() == kCardRetryAbsent)
        return "absent";
    if (flags & CARDF_BLOCKED)
        return "PUK required";
    if (flags & CARDF_PIN_CANCELLED)
        return "PIN required";
    if (flags & CARDF_NOT_READY)
        return "not ready";
    return "ready";
}

uint32_t SignalBars(int dbm)
{
    if (dbm == kSignalNone || dbm == kSignalBlank)
        return 0;
    const int bars = CStatusModel::SignalLevelOf(dbm);
    if (bars == CStatusModel::kLevelNoSignal || bars <= 0 || bars > 5)
        return 0;
    return uint32_t(bars);
}

void RegisterStatusSnapshot(CDmEngine& engine)
{
    engine.RegisterSubRequest(kStatusSnapshotRequest,
                              [](CDmEngine& e, uint16_t, uintptr_t type) { return TakeSnapshot(e, type); });
}

StatusJson BuildStatusDocument(const ModemState& st, const StatusFacts& f)
{
    const StatusSnapshot& snap = f.snap;
    StatusJson doc;
    char target[PATH_MAX];
    const ssize_t targetLen = ::readlink(f.portPath.c_str(), target, sizeof target - 1);
    doc["port"] = {{"com", f.deviceGiven ? StatusJson(nullptr) : StatusJson(st.m_nComPort.load())},
                   {"path", Utf8Text(f.portPath)},
                   {"target", targetLen > 0 ? Utf8Text(std::string(target, size_t(targetLen))) : std::string()},
                   {"device_kind", st.m_nDeviceKind.load()}};
    doc["service"] = {{"state", ServiceName(f.service)},
                      {"state_code", f.service},
                      {"system_mode", snap.statusOk ? StatusJson(SystemModeName(snap.rec.sysMode)) : StatusJson(nullptr)},
                      {"system_mode_code", snap.statusOk ? StatusJson(int(snap.rec.sysMode)) : StatusJson(nullptr)},
                      {"hybrid", snap.statusOk ? StatusJson(snap.rec.hybridPref != 0) : StatusJson(nullptr)},
                      {"service_mode", st.m_ucServiceMode.load()},
                      {"preferred_mode", GetProfileInt(dmtext::kSecPrefMode, "num", -1, kMainIni)}};
    doc["roaming"] = {{"roaming", f.roaming != 0}, {"code", f.roaming}};
    doc["signal"] = {{"1x", SignalJson(snap.statusOk, SignalDbm(snap.rec.rx1xRssi, snap.longLayout))},
                     {"evdo", SignalJson(snap.statusOk, SignalDbm(snap.rec.rxHdrRssi, snap.longLayout))}};
    const int level = snap.battOk ? BatteryLevel(snap.batt) : f.batteryIndicator;
    const int charger = snap.battOk ? int(snap.batt.chgVal & 0xFF) : -1;
    doc["battery"] = {{"state", BatteryName(level)},
                      {"level_code", level},
                      {"millivolts", snap.battOk ? StatusJson(snap.batt.battVal) : StatusJson(nullptr)},
                      {"charger_connected", charger < 0 ? StatusJson(nullptr) : StatusJson(charger != 0)},
                      {"charger_code", charger < 0 ? StatusJson(nullptr) : StatusJson(charger)}};
    const std::string pinCnt = Setting(dmtext::kSecChv1Cnt, "num");
    const std::string pukCnt = Setting(dmtext::kSecChv1PukCnt, "num");
    // The card's values come from the settings its check wrote; without a
    // card they would be an earlier card's.
    const std::string card = CardStateName(st);
    const bool cardSeen = card != "absent";
    doc["card"] = {{"state", card},
                   {"pin_check", cardSeen ? StatusJson(PinCheckOn(st)) : StatusJson(nullptr)},
                   {"pin_attempts_left",
                    !cardSeen || pinCnt.empty() ? StatusJson(nullptr) : StatusJson(DecimalPrefix(pinCnt))},
                   {"unblock_attempts_left",
                    !cardSeen || pukCnt.empty() ? StatusJson(nullptr) : StatusJson(DecimalPrefix(pukCnt))}};
    doc["numbers"] = {{"min", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeyMin))},
                      {"mdn", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeyMdn))},
                      {"esn", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeyEsn))}};
    doc["firmware"] = {{"info", Utf8Text(st.ModemInfo())},
                       {"software", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeySwVer))},
                       {"built", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeyCompDate))},
                       {"hardware", Utf8Text(Setting(dmtext::kSecModem, dmtext::kKeyHwVer))}};
    doc["messages"] = {{"memory", f.memoryCount < 0 ? StatusJson(nullptr) : StatusJson(f.memoryCount)},
                       {"ruim", f.ruimCount < 0 ? StatusJson(nullptr) : StatusJson(f.ruimCount)},
                       {"new", snap.statusOk ? StatusJson(std::max(0, int(int16_t(snap.rec.newSmsCnt))))
                                             : StatusJson(nullptr)}};
    // A capacity of 0: the start-up chain stopped before asking (e.g. at the card).
    const auto book = [](int used, int capacity) {
        return capacity > 0 ? StatusJson{{"used", used}, {"capacity", capacity}}
                            : StatusJson{{"used", nullptr}, {"capacity", nullptr}};
    };
    doc["phonebook"] = {{"memory", book(st.m_wPbMemoryUsed.load(), st.m_wPbMemoryMax.load())},
                        {"ruim", book(st.m_wPbRuimUsed.load(), st.m_wPbRuimMax.load())}};
    return doc;
}

} // namespace kv
