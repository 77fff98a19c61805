// "at": the AT path on its own, without the DM engine.
//
//   at status [--ticks N]   runs N ticks of the AT poll (default 1) and prints
//                           what it learned, one fact per line:
//                             signal <value>      (the text after "+CSQ:")
//                             imsi <digits>       (the IMSI's digits, "" unknown)
//                             imsi-text <text>    (the part used for change detection)
//                             apn <apn>           (the APN chosen and sent, "" none)
//                             card <state>        (the text after "+CPIN:")
//                             pin-requested 0|1
//   at apn [IMSI]           the table's APN for IMSI, or for the modem's IMSI
//                           (asked with AT+CIMI); "apn <apn> key <key>", or
//                           "apn none" (exit code 1) when no row matches
#include "cli/CliCommand.h"
#include "cli/CliPort.h"
#include "engine/CommPortLink.h"
#include "engine/HeadlessHost.h"
#include "net/ApnTable.h"
#include "net/AtPoll.h"
#include "net/AtReply.h"
#include "net/AtTexts.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Trim(std::string s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\n'))
        s.erase(s.begin());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n'))
        s.pop_back();
    return s;
}

bool OpenPort(const kvcli::GlobalOptions& opts, kv::CCommPort& port)
{
    kv::CCommPortLink link(port);
    int com = 1;
    if (!opts.device.empty())
        port.SetDevicePath(opts.device);
    else
        com = kv::DiscoverModemPort().comPort;
    const int baud = kv::DecimalPrefix(
        kv::GetProfileString(kv::kSecBaudRate, kv::kKeyNum, "115200", 64, kv::kIniDialer));
    if ((opts.device.empty() && com <= 0) || !link.Open(com, baud > 0 ? uint32_t(baud) : 115200u)) {
        kvcli::ReportPortNotOpened(port.IsOpen() ? 0 : port.OpenError(),
                                   opts.device.empty() ? (com > 0 ? "COM" + std::to_string(com) : "(none found)")
                                                       : opts.device);
        return false;
    }
    return true;
}

int RunStatus(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    long ticks = 1;
    for (size_t i = 1; i < args.size(); ++i) {
        char* end = nullptr;
        if (args[i] == "--ticks" && i + 1 < args.size())
            ticks = std::strtol(args[++i].c_str(), &end, 10);
        if (!end || *end || ticks < 1 || ticks > 1000)
            return kvcli::UsageError("usage: at status [--ticks N]");
    }
    kv::CCommPort port;
    if (!OpenPort(opts, port))
        return kvcli::kExitNoDevice;
    kv::CHeadlessHost host;
    kv::CCommPortAt atPort(port);
    kv::CAtPoll poll(host, atPort);
    for (long i = 0; i < ticks; ++i)
        poll.Tick();
    port.ClosePort();

    const kv::AtPollSnapshot s = poll.Snapshot();
    std::printf("signal %s\n", Trim(s.signalValue).c_str());
    std::printf("imsi %s\n", s.imsiDigits.c_str());
    std::printf("imsi-text %s\n", Trim(s.currentImsiText).c_str());
    std::printf("apn %s\n", s.apn.c_str());
    std::string card;
    if (const size_t at = s.cardAnswer.find(kv::attext::kCardMarker); at != std::string::npos) {
        card = s.cardAnswer.substr(at + std::string(kv::attext::kCardMarker).size());
        card = Trim(card.substr(0, card.find_first_of("\r\n")));
    }
    std::printf("card %s\n", card.c_str());
    std::printf("pin-requested %d\n", s.pinRequested ? 1 : 0);
    return s.imsiAnswer.empty() && s.lastSignalAnswer.empty() ? kvcli::kExitFailure : kvcli::kExitOk;
}

int RunApn(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (args.size() > 2)
        return kvcli::UsageError("usage: at apn [IMSI]");
    std::string digits;
    if (args.size() == 2) {
        digits = kv::ImsiDigitsOf(args[1]);
        if (digits.empty())
            return kvcli::UsageError("an IMSI is 6 to 15 digits");
    } else {
        kv::CCommPort port;
        if (!OpenPort(opts, port))
            return kvcli::kExitNoDevice;
        kv::CCommPortAt atPort(port);
        std::string answer;
        kv::AtExchange(atPort, kv::attext::kQueryImsi, kv::kQueryReadPlan, answer);
        port.ClosePort();
        digits = kv::ImsiDigitsOf(answer);
        if (digits.empty()) {
            std::fprintf(stderr, "korvianet-cli: the modem gave no IMSI\n");
            return kvcli::kExitFailure;
        }
        std::printf("imsi %s\n", digits.c_str());
    }
    const kv::ApnRow* row = kv::FindApnRow(digits);
    if (!row) {
        std::printf("apn none\n");
        return kvcli::kExitFailure;
    }
    std::printf("apn %s key %s\n", row->apn, row->key);
    return kvcli::kExitOk;
}

int RunAt(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == "status")
        return RunStatus(opts, args);
    if (!args.empty() && args[0] == "apn")
        return RunApn(opts, args);
    return kvcli::UsageError("usage: at status [--ticks N] | at apn [IMSI]");
}

} // namespace

KV_CLI_COMMAND("at", "at status [--ticks N] | at apn [IMSI]",
               "the AT path without the DM engine: \"status\" runs the AT poll (signal, IMSI, APN\n"
               "chosen and sent, card state, PIN request) and prints one fact per line; \"apn\" prints\n"
               "the built-in table's APN for an IMSI (or the modem's own IMSI).",
               RunAt);
