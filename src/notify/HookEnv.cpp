#include "notify/HookEnv.h"

#include <cstring>

namespace kvnotify {

const char* HookEventName(kv::OwnerEventKind kind)
{
    using K = kv::OwnerEventKind;
    switch (kind) {
    case K::SmsReceived: return "sms-received";
    case K::CallIncoming: return "call-incoming";
    case K::CallAnswered: return "call-answered";
    case K::CallEnded: return "call-ended";
    case K::CallMissed: return "call-missed";
    case K::ConnectionUp: return "connection-up";
    case K::ConnectionDown: return "connection-down";
    case K::ConnectionFailed: return "connection-failed";
    case K::ModemAdded: return "modem-added";
    case K::ModemRemoved: return "modem-removed";
    case K::QuotaWarning: return "quota-warning";
    }
    return "unknown";
}

namespace {
std::string Value(const std::string& s)
{
    std::string v = s.substr(0, s.find('\0'));
    if (v.size() > kHookValueMax)
        v.resize(kHookValueMax);
    return v;
}
} // namespace

std::vector<std::pair<std::string, std::string>> HookVariables(const kv::OwnerEvent& e)
{
    using K = kv::OwnerEventKind;
    std::vector<std::pair<std::string, std::string>> v;
    v.emplace_back("KORVIANET_EVENT", HookEventName(e.kind));
    const auto add = [&v](const char* name, const std::string& value) { v.emplace_back(name, Value(value)); };
    switch (e.kind) {
    case K::SmsReceived:
        add("KORVIANET_NUMBER", e.number);
        add("KORVIANET_NAME", e.name);
        add("KORVIANET_STORAGE", e.storage);
        add("KORVIANET_SLOT", std::to_string(e.slot));
        add("KORVIANET_INDEX", std::to_string(e.index));
        add("KORVIANET_TEXT", e.text);
        break;
    case K::CallIncoming:
    case K::CallMissed:
        add("KORVIANET_NUMBER", e.number);
        add("KORVIANET_NAME", e.name);
        break;
    case K::CallAnswered:
        add("KORVIANET_NUMBER", e.number);
        break;
    case K::CallEnded:
        add("KORVIANET_NUMBER", e.number);
        add("KORVIANET_SECONDS", std::to_string(e.seconds));
        break;
    case K::ConnectionUp:
    case K::ConnectionDown:
    case K::ConnectionFailed:
        add("KORVIANET_TEXT", e.text);
        break;
    case K::ModemAdded:
    case K::ModemRemoved:
        add("KORVIANET_PORT", e.port);
        break;
    case K::QuotaWarning:
        add("KORVIANET_PERCENT", std::to_string(e.percent));
        add("KORVIANET_USED", std::to_string(e.used));
        add("KORVIANET_QUOTA", std::to_string(e.quota));
        add("KORVIANET_TEXT", e.text);
        break;
    }
    return v;
}

std::vector<std::string> HookEnvironment(const char* const* base, const kv::OwnerEvent& event)
{
    // An inherited variable of the same name as one of the event's would
    // tell of another event: all of them go, the others (such as the
    // settings folder's) stay.
    static const char* const kNames[] = {"KORVIANET_EVENT", "KORVIANET_NUMBER", "KORVIANET_NAME",
                                         "KORVIANET_STORAGE", "KORVIANET_SLOT", "KORVIANET_INDEX",
                                         "KORVIANET_TEXT", "KORVIANET_SECONDS", "KORVIANET_PORT",
                                         "KORVIANET_PERCENT", "KORVIANET_USED", "KORVIANET_QUOTA"};
    std::vector<std::string> env;
    for (const char* const* p = base; p && *p; ++p) {
        const char* eq = std::strchr(*p, '=');
        const std::string name(*p, eq ? size_t(eq - *p) : std::strlen(*p));
        bool ours = false;
        for (const char* n : kNames)
            ours = ours || name == n;
        if (!ours)
            env.emplace_back(*p);
    }
    for (const auto& [name, value] : HookVariables(event))
        env.push_back(name + "=" + value);
    return env;
}

} // namespace kvnotify
