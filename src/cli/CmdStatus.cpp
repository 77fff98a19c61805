// "status": a one-shot report of the modem as the main window shows it. The
// engine runs its start-up chain (without reading the phonebooks) and one
// status poll, then one snapshot of the battery and status records gives
// both signals at once; the message stores are listed; then it stops.
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliMonitor.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliStatusNames.h"
#include "engine/DmEngine.h"
#include "engine/DmTexts.h"
#include "host/HostIds.h"
#include "engine/PinCheck.h"
#include "host/StatusModel.h"
#include "settings/Profile.h"

#include <climits>
#include <cstdio>
#include <unistd.h>
#include <string>

namespace {

// The snapshot: a sub-request of this command only, run on the parked engine.
constexpr uint16_t kStatusSnapshot = 0x00C0;
constexpr int64_t kFirstPollMs = 15000;

struct Snapshot {
    bool battOk = false;
    bool statusOk = false;
    kv::BattInfo batt;
    kv::StatusRecord rec;
    bool longLayout = false;
};

uint16_t TakeSnapshot(kv::CDmEngine& engine, uintptr_t type)
{
    auto* snap = reinterpret_cast<Snapshot*>(type);
    if (!snap)
        return kv::DM_RESULT_BAD_ARGUMENT;
    snap->battOk = engine.Exchange(kv::BuildBattInfoReq()) == kv::DIAG_OK
                   && kv::ParseBattInfo(engine.Reply(), engine.ReplyLength(), snap->batt);
    snap->longLayout = (engine.State().m_ucServiceMode.load() & kv::kServiceModeLongStatus) != 0;
    snap->statusOk = engine.Exchange(kv::BuildModemStatusReq()) == kv::DIAG_OK
                     && kv::ParseStatusRecord(engine.Reply(), engine.ReplyLength(), snap->longLayout, snap->rec);
    return snap->battOk || snap->statusOk ? kStatusSnapshot : uint16_t(kv::DM_RESULT_EXCHANGE_FAILED);
}

std::string Setting(const char* section, const char* key)
{
    return kv::GetProfileString(section, key, "", 64, kv::kMainIni);
}

kvcli::Json SignalJson(bool known, int dbm)
{
    if (!known)
        return {{"dbm", nullptr}, {"bars", nullptr}};
    const int bars = kv::CStatusModel::SignalLevelOf(dbm);
    if (dbm == kv::kSignalNone || bars == kv::CStatusModel::kLevelNoSignal || bars == 0)
        return {{"dbm", dbm == kv::kSignalNone ? kvcli::Json(nullptr) : kvcli::Json(dbm)}, {"bars", 0}};
    return {{"dbm", dbm}, {"bars", bars}};
}

std::string SignalText(const kvcli::Json& j)
{
    if (j["bars"].is_null())
        return "unknown";
    if (j["dbm"].is_null())
        return "no signal";
    return std::to_string(j["bars"].get<int>()) + " of 5 bars (" + std::to_string(j["dbm"].get<int>()) + " dBm)";
}

std::string Text(const kvcli::Json& v)
{
    if (v.is_null())
        return "unknown";
    if (v.is_string())
        return kvcli::Shown(v.get<std::string>());
    if (v.is_boolean())
        return v.get<bool>() ? "yes" : "no";
    return v.dump();
}

// The report as text (or the document with --json): the same for a report
// taken here and one the owner of the modem sent.
int PrintStatus(const kvcli::Json& doc)
{
    if (kvcli::JsonMode()) {
        kvcli::PrintJson(doc);
        return kvcli::kExitOk;
    }
    const auto line = [](const char* group, const char* key, const std::string& value) {
        std::printf("  %-9s | %-22s %s\n", group, key, value.c_str());
    };
    const kvcli::Json& p = doc["port"];
    line("Port", "port:", (p["com"].is_null() ? std::string() : "COM" + p["com"].dump() + " ") + Text(p["path"])
                              + (!p["target"].is_string() || p["target"].get<std::string>().empty() ? "" : " -> " + Text(p["target"])));
    line("", "device kind:", Text(p["device_kind"]));
    const kvcli::Json& sv = doc["service"];
    line("Status", "service:", Text(sv["state"]));
    line("", "system mode:", Text(sv["system_mode"]));
    const kvcli::Json& roaming = doc["roaming"]["code"];
    line("", "roaming:", roaming.is_null() ? std::string("unknown") : roaming == 0 ? std::string("no") : "yes (" + roaming.dump() + ")");
    line("", "signal 1x:", SignalText(doc["signal"]["1x"]));
    line("", "signal EV-DO:", SignalText(doc["signal"]["evdo"]));
    const kvcli::Json& b = doc["battery"];
    line("", "battery:", Text(b["state"]) + (b["millivolts"].is_null() ? "" : " (" + b["millivolts"].dump() + " mV)"));
    line("", "charger:", b["charger_code"].is_null() ? "unknown"
                          : b["charger_connected"] == true ? "connected (state " + b["charger_code"].dump() + ")"
                                                               : "not connected");
    const kvcli::Json& c = doc["card"];
    line("Card", "state:", c["state"] == "PUK required" ? std::string("blocked: it needs its unblock code (PUK)")
                                                          : Text(c["state"]));
    line("", "PIN check:", c["pin_check"].is_null() ? "unknown" : c["pin_check"] == true ? "on" : "off");
    line("", "PIN attempts left:", Text(c["pin_attempts_left"]));
    line("", "unblock attempts left:", Text(c["unblock_attempts_left"]));
    line("Numbers", "MIN:", Text(doc["numbers"]["min"]));
    line("", "MDN:", Text(doc["numbers"]["mdn"]));
    line("", "ESN:", Text(doc["numbers"]["esn"]));
    const kvcli::Json& f = doc["firmware"];
    line("Firmware", "info:", Text(f["info"]));
    line("", "software:", Text(f["software"]) + ", built " + Text(f["built"]) + ", hardware " + Text(f["hardware"]));
    line("Messages", "memory:", Text(doc["messages"]["memory"]));
    line("", "ruim:", Text(doc["messages"]["ruim"]));
    line("", "new:", Text(doc["messages"]["new"]));
    const kvcli::Json& pb = doc["phonebook"];
    const auto bookText = [](const kvcli::Json& j) {
        return j["capacity"].is_null() ? std::string("unknown") : j["used"].dump() + " of " + j["capacity"].dump();
    };
    line("Phonebook", "memory:", bookText(pb["memory"]));
    line("", "ruim:", bookText(pb["ruim"]));
    return kvcli::kExitOk;
}

// The report's fields in the order the document has them, with the kind of
// value each holds: 's' text, 'i' whole number, 'b' true/false.
struct StatusField {
    const char* path;
    char kind;
};
constexpr StatusField kStatusFields[] = {
    {"port.com", 'i'}, {"port.path", 's'}, {"port.target", 's'}, {"port.device_kind", 'i'},
    {"service.state", 's'}, {"service.state_code", 'i'}, {"service.system_mode", 's'},
    {"service.system_mode_code", 'i'}, {"service.hybrid", 'b'}, {"service.service_mode", 'i'},
    {"service.preferred_mode", 'i'},
    {"roaming.roaming", 'b'}, {"roaming.code", 'i'},
    {"signal.1x.dbm", 'i'}, {"signal.1x.bars", 'i'}, {"signal.evdo.dbm", 'i'}, {"signal.evdo.bars", 'i'},
    {"battery.state", 's'}, {"battery.level_code", 'i'}, {"battery.millivolts", 'i'},
    {"battery.charger_connected", 'b'}, {"battery.charger_code", 'i'},
    {"card.state", 's'}, {"card.pin_check", 'b'}, {"card.pin_attempts_left", 'i'},
    {"card.unblock_attempts_left", 'i'},
    {"numbers.min", 's'}, {"numbers.mdn", 's'}, {"numbers.esn", 's'},
    {"firmware.info", 's'}, {"firmware.software", 's'}, {"firmware.built", 's'}, {"firmware.hardware", 's'},
    {"messages.memory", 'i'}, {"messages.ruim", 'i'}, {"messages.new", 'i'},
    {"phonebook.memory.used", 'i'}, {"phonebook.memory.capacity", 'i'},
    {"phonebook.ruim.used", 'i'}, {"phonebook.ruim.capacity", 'i'},
};

// The report the owner of the modem sent (keys are the paths above; a null
// is left out) as the document a report taken here gives. A value of the
// wrong kind is taken as unknown, never trusted.
kvcli::Json StatusFromBus(const kvcli::Json& flat)
{
    kvcli::Json doc = kvcli::Json::object();
    for (const StatusField& f : kStatusFields) {
        kvcli::Json* at = &doc;
        std::string path = f.path;
        for (size_t dot; (dot = path.find('.')) != std::string::npos; path.erase(0, dot + 1))
            at = &(*at)[path.substr(0, dot)];
        const auto v = flat.find(f.path);
        const bool fits = v != flat.end()
                          && (f.kind == 's'   ? v->is_string()
                              : f.kind == 'b' ? v->is_boolean()
                                              : v->is_number_integer());
        (*at)[path] = fits ? *v : kvcli::Json(nullptr);
    }
    return doc;
}

int StatusThroughOwner(kvcli::OwnerBus& bus)
{
    kvcli::BusMessage reply;
    if (const int st = bus.Call("GetStatus", kvcli::kBusCallMs * 3, reply); st != kvcli::kExitOk)
        return st;
    kvcli::Json flat = kvcli::Json::object();
    if (kvcli::ReadDict(reply.get(), flat) < 0)
        return kvcli::Fail(kvcli::kExitFailure, "the owner of the modem sent a status that cannot be read");
    return PrintStatus(StatusFromBus(flat));
}

int RunStatus(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == "--watch")
        return kvcli::RunMonitor(opts, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty())
        return kvcli::UsageError("usage: status [--watch [--seconds N]]");
    if (auto bus = kvcli::OwnerBus::Find())
        return StatusThroughOwner(*bus);
    int status = kvcli::kExitOk;
    auto s = kvcli::OpenSession(opts, false, status, true, [](kv::CMessagingSession& session) {
        session.Engine().RegisterSubRequest(kStatusSnapshot, [](kv::CDmEngine& e, uint16_t, uintptr_t type) {
            return TakeSnapshot(e, type);
        });
    });
    if (!s)
        return status;
    kv::CHeadlessHost& host = s->Host();
    kv::CDmEngine& engine = s->Engine();
    const kv::ModemState& st = host.State();

    // The first status poll sets what the window shows (roaming always).
    host.RunUntil([&] { return host.Indicator(kv::IND_ROAMING) != -1 || !engine.ThreadRunning(); },
                  kFirstPollMs);
    if (host.Indicator(kv::IND_ROAMING) == -1)
        return kvcli::Fail(engine.ThreadRunning() ? kvcli::kExitTimedOut : kvcli::kExitNoDevice,
                           "the modem sent no status in time");
    Snapshot snap;
    engine.DmSubRequest(kStatusSnapshot, reinterpret_cast<uintptr_t>(&snap), false);
    int counts[2] = {-1, -1};
    for (int k = 0; k < 2; ++k) {
        const uint16_t r = engine.DmSubRequest(kv::DM_SMS_LIST, k == 0 ? 6 : 5, false);
        // The count is stored before any table work, so it holds even when
        // the mirror could not follow.
        if (r == kv::DM_SMS_LIST || r == kv::DM_RESULT_NO_MESSAGES || r == kv::DM_RESULT_DB_ERROR)
            counts[k] = k == 0 ? s->Shared().m_nMemoryCount.load() : s->Shared().m_nRuimCount.load();
    }
    s->Stop();

    kvcli::Json doc;
    const std::string portPath = opts.device.empty() ? kv::CCommPort::ComDevicePath(uint32_t(st.m_nComPort.load()))
                                                     : opts.device;
    char target[PATH_MAX];
    const ssize_t targetLen = ::readlink(portPath.c_str(), target, sizeof target - 1);
    doc["port"] = {{"com", opts.device.empty() ? kvcli::Json(st.m_nComPort.load()) : kvcli::Json(nullptr)},
                   {"path", kvcli::Utf8Text(portPath)},
                   {"target", targetLen > 0 ? kvcli::Utf8Text(std::string(target, size_t(targetLen))) : std::string()},
                   {"device_kind", st.m_nDeviceKind.load()}};
    const int service = host.Indicator(kv::IND_SERVICE);
    doc["service"] = {{"state", kvcli::ServiceName(service)},
                      {"state_code", service},
                      {"system_mode", snap.statusOk ? kvcli::Json(kvcli::SystemModeName(snap.rec.sysMode)) : kvcli::Json(nullptr)},
                      {"system_mode_code", snap.statusOk ? kvcli::Json(int(snap.rec.sysMode)) : kvcli::Json(nullptr)},
                      {"hybrid", snap.statusOk ? kvcli::Json(snap.rec.hybridPref != 0) : kvcli::Json(nullptr)},
                      {"service_mode", st.m_ucServiceMode.load()},
                      {"preferred_mode", kv::GetProfileInt(kv::dmtext::kSecPrefMode, "num", -1, kv::kMainIni)}};
    const int roaming = host.Indicator(kv::IND_ROAMING);
    doc["roaming"] = {{"roaming", roaming != 0}, {"code", roaming}};
    doc["signal"] = {{"1x", SignalJson(snap.statusOk, kv::SignalDbm(snap.rec.rx1xRssi, snap.longLayout))},
                     {"evdo", SignalJson(snap.statusOk, kv::SignalDbm(snap.rec.rxHdrRssi, snap.longLayout))}};
    const int level = snap.battOk ? kv::BatteryLevel(snap.batt) : host.Indicator(kv::IND_BATTERY);
    const int charger = snap.battOk ? int(snap.batt.chgVal & 0xFF) : -1;
    doc["battery"] = {{"state", kvcli::BatteryName(level)},
                      {"level_code", level},
                      {"millivolts", snap.battOk ? kvcli::Json(snap.batt.battVal) : kvcli::Json(nullptr)},
                      {"charger_connected", charger < 0 ? kvcli::Json(nullptr) : kvcli::Json(charger != 0)},
                      {"charger_code", charger < 0 ? kvcli::Json(nullptr) : kvcli::Json(charger)}};
    const std::string pinCnt = Setting(kv::dmtext::kSecChv1Cnt, "num");
    const std::string pukCnt = Setting(kv::dmtext::kSecChv1PukCnt, "num");
    // The card's values come from the settings its check wrote; without a
    // card they would be an earlier card's.
    const std::string card = kvcli::CardState(st);
    const bool cardSeen = card != "absent";
    doc["card"] = {{"state", card},
                   {"pin_check", cardSeen ? kvcli::Json(kv::PinCheckOn(st)) : kvcli::Json(nullptr)},
                   {"pin_attempts_left",
                    !cardSeen || pinCnt.empty() ? kvcli::Json(nullptr) : kvcli::Json(kv::DecimalPrefix(pinCnt))},
                   {"unblock_attempts_left",
                    !cardSeen || pukCnt.empty() ? kvcli::Json(nullptr) : kvcli::Json(kv::DecimalPrefix(pukCnt))}};
    doc["numbers"] = {{"min", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeyMin))},
                      {"mdn", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeyMdn))},
                      {"esn", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeyEsn))}};
    doc["firmware"] = {{"info", kvcli::Utf8Text(st.ModemInfo())},
                       {"software", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeySwVer))},
                       {"built", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeyCompDate))},
                       {"hardware", kvcli::Utf8Text(Setting(kv::dmtext::kSecModem, kv::dmtext::kKeyHwVer))}};
    doc["messages"] = {{"memory", counts[0] < 0 ? kvcli::Json(nullptr) : kvcli::Json(counts[0])},
                       {"ruim", counts[1] < 0 ? kvcli::Json(nullptr) : kvcli::Json(counts[1])},
                       {"new", snap.statusOk ? kvcli::Json(std::max(0, int(int16_t(snap.rec.newSmsCnt))))
                                             : kvcli::Json(nullptr)}};
    // A capacity of 0: the start-up chain stopped before asking (e.g. at the card).
    const auto book = [](int used, int capacity) {
        return capacity > 0 ? kvcli::Json{{"used", used}, {"capacity", capacity}}
                            : kvcli::Json{{"used", nullptr}, {"capacity", nullptr}};
    };
    doc["phonebook"] = {{"memory", book(st.m_wPbMemoryUsed.load(), st.m_wPbMemoryMax.load())},
                        {"ruim", book(st.m_wPbRuimUsed.load(), st.m_wPbRuimMax.load())}};

    return PrintStatus(doc);
}

} // namespace

KV_CLI_COMMAND("status", "status [--watch [--seconds N]]",
               "one report of the modem as the window shows it: port, service and system mode, roaming,\n"
               "      both signals, battery and charger, card and PIN attempts, MIN, MDN, ESN, firmware, the\n"
               "      message counts of both stores and the phonebook counts; then it exits. --watch: as 'monitor'",
               RunStatus,
               "  {\"port\": {\"com\": N|null, \"path\": TEXT, \"target\": TEXT, \"device_kind\": N},\n"
               "   \"service\": {\"state\": TEXT, \"state_code\": N, \"system_mode\": TEXT, \"system_mode_code\": N,\n"
               "               \"hybrid\": true|false, \"service_mode\": N, \"preferred_mode\": N},\n"
               "   \"roaming\": {\"roaming\": true|false, \"code\": N},\n"
               "   \"signal\": {\"1x\": {\"dbm\": N|null, \"bars\": 0..5|null}, \"evdo\": {...}},  (dbm null, bars 0: no signal)\n"
               "   \"battery\": {\"state\": TEXT, \"level_code\": N, \"millivolts\": N, \"charger_connected\": true|false,\n"
               "               \"charger_code\": N},\n"
               "   \"card\": {\"state\": \"ready\"|\"absent\"|\"PIN required\"|\"PUK required\"|\"not ready\",\n"
               "            \"pin_check\": true|false|null,\n"
               "            \"pin_attempts_left\": N|null, \"unblock_attempts_left\": N|null},\n"
               "   \"numbers\": {\"min\": TEXT, \"mdn\": TEXT, \"esn\": TEXT},\n"
               "   \"firmware\": {\"info\": TEXT, \"software\": TEXT, \"built\": TEXT, \"hardware\": TEXT},\n"
               "   \"messages\": {\"memory\": N|null, \"ruim\": N|null, \"new\": N|null},\n"
               "   \"phonebook\": {\"memory\": {\"used\": N|null, \"capacity\": N|null}, \"ruim\": {...}}}\n"
               "  (null: the modem did not say)");
