// The text level of the AT path, as pure functions: cleaning what the port
// delivered into an answer, reading the poll's answers, and building the
// commands that carry user text (PINs, APNs) only after that text passed
// validation. No port, no threads; the fuzzer drives these directly.
//
// The port is shared with the framed DIAG link, and a modem sends DIAG
// packets of its own at any time, so an AT read may hold frame bytes next to
// the answer. CleanAtAnswer keeps the answer and drops the rest: what
// follows the final result line, everything up to the last 0x7E (the
// closing flag of a frame; AT text never holds one), and any line that
// holds a byte AT text never has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Sizes of the poll's buffers (with their terminating zero).
inline constexpr size_t kAtAnswerSize = 256;
inline constexpr size_t kSignalValueSize = 44;
inline constexpr size_t kImsiTextSize = 40;
inline constexpr size_t kStaticApnSize = 64;
// Digits of an IMSI: country code, network code and subscriber number.
inline constexpr size_t kImsiMinDigits = 6;
inline constexpr size_t kImsiMaxDigits = 15;

// Position just after the first final result line ("OK", "ERROR",
// "+CME ERROR: n", "+CMS ERROR: n", each ended by CR or LF), or npos.
size_t FinalResultEnd(std::string_view rx);
inline bool HasFinalResult(std::string_view rx) { return FinalResultEnd(rx) != std::string_view::npos; }

// The answer in rx without foreign bytes (see above), cut to kAtAnswerSize-1.
std::string CleanAtAnswer(std::string_view rx);

// The signal value: the text after "+CSQ:" up to the first carriage return
// (or line feed), at most kSignalValueSize-1 characters; "" without marker.
std::string SignalValueOf(std::string_view answer);
// The signal line for the latest answer and the latest good one, the value
// as SignalReadingOf reads it; false when there is nothing to show (no
// answer with "+CSQ:" yet).
bool SignalLineText(std::string_view last, std::string_view lastGood, std::string& text);

// The signal value (" 17,99") as the user reads it: " -79 dBm" for a
// received strength of 0..31 (-113 dBm and 2 dB a step), " no signal" for
// 99, " unknown" for anything else.
std::string SignalReadingOf(std::string_view value);
// The card state of a "+CPIN:" answer in at most six characters, with a
// leading space: " READY", " PIN", " PUK", " PIN2" and " PUK2" (the "SIM "
// of the modem's words dropped); another state is cut to fit.
std::string CardStateOf(std::string_view answer);

// The six characters after the first colon (fewer when the answer ends).
std::string SixAfterColon(std::string_view answer);
// The IMSI's digits: after "+CIMI:" (blanks skipped), or the first answer
// line made of digits alone. "" unless kImsiMinDigits..kImsiMaxDigits digits.
std::string ImsiDigitsOf(std::string_view answer);

// PINs: 4 to 8 digits. APNs: 1 to kStaticApnSize-1 letters, digits, '.',
// '-', '_'. Nothing else can reach a command line.
bool IsValidPin(std::string_view pin);
bool IsValidApn(std::string_view apn);

// Commands with user text; "" when the text is refused.
std::string BuildApnCommand(std::string_view apn);
std::string BuildPinLockCommand(bool enable, std::string_view pin);
std::string BuildPinChangeCommand(std::string_view oldPin, std::string_view newPin);

} // namespace kv
