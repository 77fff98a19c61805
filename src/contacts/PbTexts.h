// Texts, limits and flag bits of the phonebook engine.
#pragma once

#include "engine/ModemState.h"

#include <cstdint>

namespace kv::pbtext {

// Dial-string refusals (message boxes of the phonebook and SMS pages).
inline constexpr const char* kDialPlusFail = "Input Dial Number Fail.(+)";
inline constexpr const char* kDialPauseFail = "Input Dial Number Fail.(P)";
// A letter (other than the pause P), a control character or a byte outside
// ASCII: a modem dials none of them.
inline constexpr const char* kDialCharFail = "Input Dial Number Fail.(0-9 * # + P)";

// Log lines.
inline constexpr const char* kLogSubRead = "Dm Sub DM_PBOOK_READ:";
inline constexpr const char* kLogSubWrite = "Dm Sub DM_PBOOK_WRITE: ";
inline constexpr const char* kLogSubDel = "Dm Sub DM_PBOOK_DEL: ";
inline constexpr const char* kLogSubDelAll = "Dm Sub DM_PBOOK_DELALL:";

} // namespace kv::pbtext

namespace kv {

// The per-storage bits of the phonebook-read flag, kPbReadRuim and
// kPbReadMemory, are in engine/ModemState.h beside the flag.

// Numbers read from the card keep at most this many characters.
inline constexpr size_t kPbRuimNumberMax = 20;
// A read batch that keeps failing is given up after this many failures.
inline constexpr int kPbReadMaxFailures = 3;

// Limits of the phonebook page's fields.
inline constexpr int kPbMemoryNameLimit = 64;
inline constexpr int kPbMemoryWideNameLimit = 30;
inline constexpr int kPbMemoryNumberLimit = 30;
inline constexpr int kPbRuimNumberLimit = 20;

} // namespace kv
