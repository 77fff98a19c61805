#include "cli/CliMonitorLines.h"
#include "version/Version.h"

#include "cli/CliBus.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

namespace kvcli {

namespace {

std::string TimeNow(bool iso)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    char buf[40];
    if (iso) {
        gmtime_r(&now, &tm);
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    } else {
        localtime_r(&now, &tm);
        std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    }
    return buf;
}

std::string Clock(long long seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

// A text from outside, made safe for one line; "" as none.
std::string Words(const Json& v, const char* none = "none")
{
    if (!v.is_string())
        return v.is_null() ? "unknown" : v.dump();
    const std::string s = v.get<std::string>();
    return s.empty() ? none : Shown(s);
}

long long Number(const Json& v, long long otherwise = -1)
{
    return v.is_number_integer() ? v.get<long long>() : otherwise;
}

std::string Known(const Json& v)
{
    const long long n = Number(v);
    return n < 0 ? "unknown" : std::to_string(n);
}

std::string YesNo(const Json& v, const char* yes, const char* no)
{
    return !v.is_boolean() ? "unknown" : v.get<bool>() ? yes : no;
}

std::string Caller(const Json& args, const char* numberKey)
{
    const std::string number = Words(args.value(numberKey, Json("")), "an unknown number");
    const Json name = args.value("name", Json(""));
    return name.is_string() && !name.get<std::string>().empty() ? Words(name) + " (" + number + ")" : number;
}

// The interface's signals and the names of their arguments.
const std::map<std::string, std::vector<const char*>> kSignalArgs = {
    {"SmsReceived", {"storage", "slot", "index", "sender", "name"}},
    {"CallIncoming", {"number", "name"}},
    {"CallAnswered", {"number"}},
    {"CallEnded", {"number", "seconds"}},
    {"CallMissed", {"number", "name"}},
    {"ConnectionUp", {"text"}},
    {"ConnectionDown", {"text"}},
    {"ConnectionFailed", {"text"}},
    {"ModemAdded", {"port"}},
    {"ModemRemoved", {"port"}},
    {"QuotaWarning", {"percent", "used", "quota"}},
};

} // namespace

Json ReadSignalArgs(sd_bus_message* m, const std::string& member)
{
    const auto known = kSignalArgs.find(member);
    Json args = Json::object();
    for (size_t i = 0;; ++i) {
        char type = 0;
        const char* contents = nullptr;
        if (sd_bus_message_peek_type(m, &type, &contents) <= 0 || !std::strchr("bynqiuxtdsog", type))
            break;
        Json v;
        if (ReadBasic(m, type, v) < 0)
            break;
        const std::string key = known != kSignalArgs.end() && i < known->second.size() ? known->second[i]
                                                                                        : "arg" + std::to_string(i);
        args[key] = std::move(v);
    }
    return args;
}

const std::vector<std::string>& PropertyNames()
{
    static const std::vector<std::string> names = {
        "Version", "EngineReady", "Port", "ComPort", "DeviceKind", "ServiceState", "ServiceStateCode",
        "SystemMode", "SystemModeCode", "Roaming", "Signal1xDbm", "Signal1xBars", "SignalEvdoDbm",
        "SignalEvdoBars", "BatteryState", "BatteryLevel", "ChargerConnected", "CardState", "PinCheck",
        "PinAttemptsLeft", "UnblockAttemptsLeft", "NewMessages", "MessagesMemory", "MessagesRuim",
        "ConnectionState", "ConnectionText", "ConnectionDuration", "BytesReceived", "BytesSent", "CallState",
        "CallNumber", "CallName"};
    return names;
}

std::string PropertyWords(const std::string& name, const Json& v)
{
    if (name == "EngineReady")
        return YesNo(v, "ready", "not ready");
    if (name == "Port")
        return Words(v, "no modem");
    if (name == "ComPort")
        return Number(v) > 0 ? "COM" + std::to_string(Number(v)) : "unknown";
    if (name == "Roaming")
        return YesNo(v, "yes", "no");
    if (name == "ChargerConnected")
        return YesNo(v, "connected", "not connected");
    if (name == "PinCheck")
        return YesNo(v, "on", "off");
    if (name == "Signal1xDbm" || name == "SignalEvdoDbm")
        return !v.is_number_integer() ? "unknown" : Number(v) == 0 ? "no signal" : std::to_string(Number(v)) + " dBm";
    if (name == "Signal1xBars" || name == "SignalEvdoBars")
        return v.is_number_integer() ? std::to_string(Number(v)) + " of 5 bars" : "unknown";
    if (name == "NewMessages")
        return v.is_number_integer() ? std::to_string(Number(v)) + " new" : "unknown";
    if (name == "MessagesMemory" || name == "MessagesRuim")
        return Number(v) < 0 ? "unknown" : std::to_string(Number(v)) + " messages";
    if (name == "ConnectionDuration")
        return v.is_number_integer() ? Clock(Number(v, 0)) : "unknown";
    if (name == "BytesReceived" || name == "BytesSent")
        return v.is_number_integer() ? std::to_string(Number(v, 0)) + " bytes" : "unknown";
    if (name == "ServiceState" || name == "SystemMode" || name == "BatteryState" || name == "CardState"
        || name == "ConnectionState" || name == "CallState" || name == "Version")
        return Words(v, "unknown");
    if (v.is_string())
        return Words(v);
    return v.is_number_integer() ? Known(v) : Words(v);
}

std::string EventWords(const std::string& name, const Json& a)
{
    const auto text = [&](const char* key) { return Words(a.value(key, Json(""))); };
    if (name == "SmsReceived")
        return "a new message from " + Caller(a, "sender") + " in " + text("storage") + ":"
               + std::to_string(Number(a.value("slot", Json(0)), 0));
    if (name == "CallIncoming")
        return Caller(a, "number") + " is calling";
    if (name == "CallAnswered")
        return "the call with " + Caller(a, "number") + " was answered";
    if (name == "CallEnded")
        return "the call with " + Caller(a, "number") + " ended after "
               + Clock(Number(a.value("seconds", Json(0)), 0));
    if (name == "CallMissed")
        return "missed a call from " + Caller(a, "number");
    if (name == "ConnectionUp" || name == "ConnectionDown" || name == "ConnectionFailed")
        return text("text");
    if (name == "ModemAdded" || name == "ModemRemoved")
        return text("port");
    if (name == "QuotaWarning")
        return std::to_string(Number(a.value("percent", Json(0)), 0)) + "% of the quota used ("
               + std::to_string(Number(a.value("used", Json(0)), 0)) + " of "
               + std::to_string(Number(a.value("quota", Json(0)), 0)) + " bytes)";
    std::string out;
    for (auto it = a.begin(); it != a.end(); ++it)
        out += (out.empty() ? "" : ", ") + it.key() + " " + Words(*it);
    return out;
}

void PrintChanges(const Json& status, const std::vector<std::string>& changed)
{
    if (changed.empty())
        return;
    if (JsonMode()) {
        PrintJsonLine(Json{{"time", TimeNow(true)}, {"changed", changed}, {"status", status}});
        return;
    }
    const std::string now = TimeNow(false);
    for (const std::string& name : changed) {
        const auto v = status.find(name);
        std::printf("%s %s: %s\n", now.c_str(), Shown(name).c_str(),
                    PropertyWords(name, v == status.end() ? Json(nullptr) : *v).c_str());
    }
    std::fflush(stdout);
}

void PrintEvent(const std::string& name, const Json& args)
{
    if (JsonMode()) {
        Json doc{{"time", TimeNow(true)}, {"event", name}};
        for (auto it = args.begin(); it != args.end(); ++it)
            doc[it.key()] = *it;
        PrintJsonLine(doc);
        return;
    }
    std::printf("%s %s: %s\n", TimeNow(false).c_str(), Shown(name).c_str(), EventWords(name, args).c_str());
    std::fflush(stdout);
}

Json SnapshotJson(const kv::OwnerSnapshot& s)
{
    return Json{{"Version", kv::ProgramVersion()},
                {"EngineReady", s.engineReady},
                {"Port", Utf8Text(s.port)},
                {"ComPort", s.comPort},
                {"DeviceKind", s.deviceKind},
                {"ServiceState", s.serviceState},
                {"ServiceStateCode", s.serviceStateCode},
                {"SystemMode", s.systemMode},
                {"SystemModeCode", s.systemModeCode},
                {"Roaming", s.roaming},
                {"Signal1xDbm", s.signal1xDbm},
                {"Signal1xBars", s.signal1xBars},
                {"SignalEvdoDbm", s.signalEvdoDbm},
                {"SignalEvdoBars", s.signalEvdoBars},
                {"BatteryState", s.batteryState},
                {"BatteryLevel", s.batteryLevel},
                {"ChargerConnected", s.chargerConnected},
                {"CardState", s.cardState},
                {"PinCheck", s.pinCheck},
                {"PinAttemptsLeft", s.pinAttemptsLeft},
                {"UnblockAttemptsLeft", s.unblockAttemptsLeft},
                {"NewMessages", s.newMessages},
                {"MessagesMemory", s.messagesMemory},
                {"MessagesRuim", s.messagesRuim},
                {"ConnectionState", s.connectionState},
                {"ConnectionText", Utf8Text(s.connectionText)},
                {"ConnectionDuration", s.connectionDuration},
                {"BytesReceived", s.bytesReceived},
                {"BytesSent", s.bytesSent},
                {"CallState", s.callState},
                {"CallNumber", Utf8Text(s.callNumber)},
                {"CallName", Utf8Text(s.callName)}};
}

} // namespace kvcli
