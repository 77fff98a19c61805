// Finding the modem and starting the engine headless for one command, with
// each failure named: no modem found, its port found but unusable (and
// why), or the modem not answering during start-up.
#pragma once

#include "cli/CliCommand.h"
#include "messaging/MessagingSession.h"

#include <functional>
#include <memory>
#include <string>

namespace kvcli {

struct PortCheck {
    int com = 0;          // COM number from discovery (0: none; also with --device)
    std::string path;     // the tty path to open ("" when none was found)
    std::string target;   // what a dosdevices link points at ("" when not a link)
    std::string problem;  // "" when the port can be opened, else why not
    int error = 0;        // the errno behind the problem (0: none or not from the system)
};

// The failure text for a port that cannot be used: "ComPort is not opened.",
// where and why, and for a refused or busy port what to do about it.
std::string PortUnusableText(const PortCheck& pc, const std::string& where);

// Discovery (or --device) and a trial open of the port.
PortCheck CheckModemPort(const GlobalOptions& opts);
// Why path cannot be used as the modem's port ("" when it can): missing,
// refused, not a terminal, or in use by another program.
std::string PortProblem(const std::string& path, int* error = nullptr);

// What a blocked card needs, after "the card ...".
inline constexpr const char* kCardBlockedText =
    "is blocked: it needs its unblock code (PUK), e.g. with 'korvianet-cli run' or in the window";

// Starts the engine for a command. On failure prints what went wrong,
// sets status (3 no modem or unusable port, 4 no answer in time) and
// returns nullptr.
// With cardMayStop the start also counts as done when the start-up chain
// stops at the card (no card, its PIN not given, or blocked): what a report
// needs. Without it a blocked card fails at once (status 1), naming it.
// prepare runs before the engine starts (e.g. to register a sub-request).
std::unique_ptr<kv::CMessagingSession> OpenSession(
    const GlobalOptions& opts, bool readPhonebooks, int& status, bool cardMayStop = false,
    const std::function<void(kv::CMessagingSession&)>& prepare = {});

} // namespace kvcli
