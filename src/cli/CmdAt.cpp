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
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "engine/CommPortLink.h"
#include "host/HeadlessHost.h"
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

// Opens the modem's port; on failure says why (exit status 3).
bool OpenPort(const kvcli::GlobalOptions& opts, kv::CCommPort& port)
{
    if (kvcli::OwnerBus::Find()) {
        kvcli::NeedsPortItself("'at'");
        return false;
    }
    const kvcli::PortCheck pc = kvcli::CheckModemPort(opts);
    if (pc.path.empty()) {
        kvcli::Fail(kvcli::kExitNoDevice, "no modem found (see 'korvianet-cli ports')");
        return false;
    }
    if (!pc.problem.empty()) {
        kvcli::Fail(kvcli::kExitNoDevice, kvcli::PortUnusableText(pc, kvcli::Shown(pc.path)));
        return false;
    }
    kv::CCommPortLink link(port);
    int com = 1;
    if (!opts.device.empty())
        port.SetDevicePath(opts.device);
    else
        com = pc.com;
    const int baud = kv::DecimalPrefix(
        kv::GetProfileString(kv::kSecBaudRate, kv::kKeyNum, "115200", 64, kv::kIniDialer));
    if (!link.Open(com, baud > 0 ? uint32_t(baud) : 115200u)) {
        kvcli::Fail(kvcli::kExitNoDevice, "cannot open the modem's port " + kvcli::Shown(pc.path));
        return false;
    }
    return true;
}

int RunStatus(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    long ticks = 1;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "--ticks" || i + 1 >= args.size())
            return kvcli::UsageError("usage: at status [--ticks N]");
        const auto v = kvcli::NumberArg("--ticks", args[++i], 1, 1000);
        if (!v)
            return kvcli::kExitUsage;
        ticks = long(*v);
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
    std::string card;
    if (const size_t at = s.cardAnswer.find(kv::attext::kCardMarker); at != std::string::npos) {
        card = s.cardAnswer.substr(at + std::string(kv::attext::kCardMarker).size());
        card = Trim(card.substr(0, card.find_first_of("\r\n")));
    }
    if (kvcli::JsonMode()) {
        kvcli::PrintJson({{"signal", kvcli::Utf8Text(Trim(s.signalValue))},
                          {"imsi", kvcli::Utf8Text(s.imsiDigits)},
                          {"imsi_text", kvcli::Utf8Text(Trim(s.currentImsiText))},
                          {"apn", kvcli::Utf8Text(s.apn)},
                          {"card", kvcli::Utf8Text(card)},
                          {"pin_requested", s.pinRequested}});
    } else {
        // The answers are the modem's texts: shown escaped, one fact per line.
        std::printf("signal %s\n", kvcli::Shown(Trim(s.signalValue)).c_str());
        std::printf("imsi %s\n", kvcli::Shown(s.imsiDigits).c_str());
        std::printf("imsi-text %s\n", kvcli::Shown(Trim(s.currentImsiText)).c_str());
        std::printf("apn %s\n", kvcli::Shown(s.apn).c_str());
        std::printf("card %s\n", kvcli::Shown(card).c_str());
        std::printf("pin-requested %d\n", s.pinRequested ? 1 : 0);
    }
    if (s.imsiAnswer.empty() && s.lastSignalAnswer.empty())
        return kvcli::Fail(kvcli::kExitTimedOut, "the modem answered no AT command");
    return kvcli::kExitOk;
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
        if (digits.empty())
            return kvcli::Fail(kvcli::kExitFailure, "the modem gave no IMSI");
        if (!kvcli::JsonMode())
            std::printf("imsi %s\n", kvcli::Shown(digits).c_str());
    }
    const kv::ApnRow* row = kv::FindApnRow(digits);
    if (kvcli::JsonMode()) {
        kvcli::PrintJson({{"imsi", kvcli::Utf8Text(digits)},
                          {"apn", row ? kvcli::Json(row->apn) : kvcli::Json(nullptr)},
                          {"key", row ? kvcli::Json(row->key) : kvcli::Json(nullptr)}});
    } else if (!row) {
        std::printf("apn none\n");
    } else {
        std::printf("apn %s key %s\n", row->apn, row->key);
    }
    return row ? kvcli::kExitOk : kvcli::kExitFailure;
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
               RunAt,
               "  at status: {\"signal\": TEXT, \"imsi\": TEXT, \"imsi_text\": TEXT, \"apn\": TEXT, \"card\": TEXT,\n"
               "              \"pin_requested\": true|false}\n"
               "  at apn:    {\"imsi\": TEXT, \"apn\": TEXT|null, \"key\": TEXT|null}   (exit 1 when apn is null)");
