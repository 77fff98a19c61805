#include "host/TrayText.h"

#include <cstdio>

namespace kv {

namespace {

constexpr int kModeCdma1x = 2;
constexpr int kModeEvdo = 4;
constexpr uint32_t kMaxBars = 5;

std::string Who(const OwnerSnapshot& s)
{
    if (!s.callName.empty())
        return s.callName;
    if (!s.callNumber.empty())
        return s.callNumber;
    return "an unknown number";
}

std::string CallLine(const OwnerSnapshot& s)
{
    if (s.callState == "dialing")
        return "Calling " + Who(s);
    if (s.callState == "incoming")
        return "Incoming call from " + Who(s);
    if (s.callState == "active")
        return "On a call with " + Who(s);
    return "";
}

// "Signal 3/5 · EV-DO", "No service"; roaming is told after either.
std::string SignalLine(const OwnerSnapshot& s)
{
    std::string line;
    if (s.systemModeCode == kModeEvdo || s.systemModeCode == kModeCdma1x)
        line = "Signal " + std::to_string(TrayBars(s)) + "/5 · "
               + (s.systemModeCode == kModeEvdo ? "EV-DO" : "1x");
    else
        line = "No service";
    if (s.roaming)
        line += " · Roaming";
    return line;
}

} // namespace

uint32_t TrayBars(const OwnerSnapshot& s)
{
    uint32_t bars = s.systemModeCode == kModeEvdo ? s.signalEvdoBars
                    : s.systemModeCode == kModeCdma1x ? s.signal1xBars
                                                       : 0;
    return bars > kMaxBars ? kMaxBars : bars;
}

std::string TrayDuration(uint32_t seconds)
{
    char buf[40];
    const uint32_t days = seconds / 86400;
    const uint32_t rest = seconds % 86400;
    if (days > 0)
        std::snprintf(buf, sizeof buf, "%ud %02u:%02u:%02u", days, rest / 3600, rest / 60 % 60, rest % 60);
    else
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", rest / 3600, rest / 60 % 60, rest % 60);
    return buf;
}

std::string TrayBytes(uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double v = double(bytes) / 1000.0;
    size_t unit = 0;
    // Rounds as printed: 999.96 KB is shown as 1.0 MB, not 1000.0 KB.
    while (v >= 999.95 && unit + 1 < sizeof kUnits / sizeof *kUnits) {
        v /= 1000.0;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
    return buf;
}

TrayLook DescribeForTray(const OwnerSnapshot& s)
{
    TrayLook look;
    look.actionLabel = "Connect";
    std::vector<std::string> lines;

    const bool modem = !s.port.empty();
    const std::string& conn = s.connectionState;
    if (conn == "connected") {
        look.stateLine = "Connected " + TrayDuration(s.connectionDuration) + " · "
                         + TrayBytes(s.bytesReceived + s.bytesSent);
        look.iconName = kTrayIconConnected;
        look.action = TrayConnectAction::Disconnect;
        look.actionEnabled = true;
    } else if (conn == "connecting") {
        look.stateLine = "Connecting…";
        look.iconName = kTrayIconConnecting;
        look.action = TrayConnectAction::Disconnect; // ends the dial
        look.actionEnabled = true;
    } else if (conn == "disconnecting") {
        look.stateLine = "Disconnecting…";
        look.action = TrayConnectAction::Disconnect;
        look.actionEnabled = false;
    } else if (!modem) {
        look.stateLine = "No modem";
        look.iconName = kTrayIconNoModem;
    } else if (!s.engineReady) {
        look.stateLine = "Modem not ready";
    } else {
        look.stateLine = SignalLine(s);
        look.actionEnabled = true;
    }
    if (look.iconName.empty())
        look.iconName = kTrayIconSignalPrefix + std::to_string(s.engineReady ? TrayBars(s) : 0);
    if (look.action == TrayConnectAction::Disconnect)
        look.actionLabel = "Disconnect";

    lines.push_back(look.stateLine);
    if (conn == "connecting" && !s.connectionText.empty())
        lines.push_back(s.connectionText);
    // While a connection is under way the signal goes on the next line.
    if (conn != "disconnected" && modem && s.engineReady)
        lines.push_back(SignalLine(s));
    if (modem) {
        if (std::string call = CallLine(s); !call.empty())
            lines.push_back(call);
        if (s.newMessages == 1)
            lines.push_back("1 new message");
        else if (s.newMessages > 1)
            lines.push_back(std::to_string(s.newMessages) + " new messages");
    }

    for (const std::string& line : lines) {
        if (!look.tooltip.empty())
            look.tooltip += '\n';
        look.tooltip += line;
    }
    return look;
}

} // namespace kv
