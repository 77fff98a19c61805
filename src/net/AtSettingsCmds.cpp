// The settings page's AT commands (see AtSettingsCmds.h).
#include "net/AtSettingsCmds.h"

#include "log/DebugLog.h"
#include "net/AtReply.h"
#include "net/AtTexts.h"

namespace kv {

namespace {

constexpr size_t kPinMinLength = 4;
constexpr int kResetPauseMs = 500;
// The page may wait longer for the port than the poll: it is the user's
// explicit action and the DIAG link gives the port up between transactions.
constexpr int kSettingsLockWaitMs = 1000;

AtPinOutcome Run(IAtPort& port, const std::string& command)
{
    std::string answer;
    const AtExchangeResult r =
        AtExchange(port, command, kSettingsReadPlan, answer, kSettingsLockWaitMs);
    if (r == AtExchangeResult::Answered && answer.find(attext::kOk) != std::string::npos)
        return AtPinOutcome::Success;
    DEBUG_LOG(LEVEL_ST, "at pin command result %d error", int(r));
    return AtPinOutcome::Failed;
}

void Discard(IAtPort& port, const char* command)
{
    std::string answer;
    AtExchange(port, command, kDiscardReadPlan, answer, kSettingsLockWaitMs);
}

} // namespace

const char* AtPinRefusalText(AtPinOutcome outcome)
{
    switch (outcome) {
    case AtPinOutcome::TooShort: return attext::kPinTooShort;
    case AtPinOutcome::NotDigits: return attext::kPinNotDigits;
    case AtPinOutcome::ConfirmFail: return attext::kPinConfirmFail;
    default: return "";
    }
}

AtPinOutcome AtPinLock(IAtPort& port, bool enable, const std::string& pin)
{
    if (pin.size() < kPinMinLength)
        return AtPinOutcome::TooShort;
    const std::string command = BuildPinLockCommand(enable, pin);
    if (command.empty())
        return AtPinOutcome::NotDigits;
    return Run(port, command);
}

AtPinOutcome AtPinChange(IAtPort& port, const std::string& oldPin, const std::string& newPin,
                         const std::string& verify)
{
    if (oldPin.size() < kPinMinLength || newPin.size() < kPinMinLength
        || verify.size() < kPinMinLength)
        return AtPinOutcome::TooShort;
    if (newPin != verify)
        return AtPinOutcome::ConfirmFail;
    const std::string command = BuildPinChangeCommand(oldPin, newPin);
    if (command.empty())
        return AtPinOutcome::NotDigits;
    return Run(port, command);
}

bool AtQueryFirmwareKind(IAtPort& port)
{
    std::string answer;
    const AtExchangeResult r =
        AtExchange(port, attext::kQueryFirmware, kSettingsReadPlan, answer, kSettingsLockWaitMs);
    return r == AtExchangeResult::Answered && answer.find(attext::kFirmwareKind) != std::string::npos;
}

void AtResetModem(IAtPort& port)
{
    if (AtQueryFirmwareKind(port)) {
        Discard(port, attext::kResetCommand);
        return;
    }
    Discard(port, attext::kFunctionOff);
    port.Pause(kResetPauseMs);
    Discard(port, attext::kFunctionReset);
}

} // namespace kv
