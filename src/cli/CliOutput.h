// How korvianet-cli shows things, for every command:
//   - texts that came from the modem, the card or the database go through
//     Shown(): control characters are written as visible escapes, so one
//     record stays one line and nothing reaches the terminal as a command;
//   - with --json a command builds one document and hands it to PrintJson()
//     (the JSON writer escapes the texts; nothing is written by hand);
//   - failures go through Fail(), which writes "korvianet-cli: <message>"
//     on stderr and, with --json, lets main() print the one document of the
//     run as {"error": {"exit_status": N, "message": "..."}}.
#pragma once

#include "log/VisibleText.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace kvcli {

using Json = nlohmann::ordered_json;

// Text from outside (modem, card, database) made safe for a terminal line.
inline std::string Shown(std::string_view text) { return kv::VisibleText(text); }

// A message of ours that may quote the user's own words: what Shown() would
// escape is escaped, but a backslash stays as it is, so a part that went
// through Shown() already reads the same.
std::string ShownMessage(std::string_view message);

// Message or name bytes as UTF-8: kept when they are valid UTF-8, else read
// as Latin-1 (the modem's 8-bit code page).
std::string Utf8Text(std::string_view bytes);

// Switches the run to JSON output (main does it for --json).
void SetJsonMode(bool on);
bool JsonMode();
// Prints the run's JSON document on stdout (invalid UTF-8 is replaced, never
// written raw). Only the first call of a run prints.
void PrintJson(const Json& doc);
bool JsonPrinted();
// Prints doc as one line and flushes, for a command that prints a document
// per event ("monitor"); the run then counts as having printed its own.
void PrintJsonLine(const Json& doc);

// Writes "korvianet-cli: <message>" on stderr, keeps it for the JSON error
// document and returns status.
int Fail(int status, const std::string& message);
const std::string& LastError();

// What a DmSubRequest result means, e.g. "the modem refused it (0x7002)",
// "no answer from the modem (0x7001)", "database error (0x7003)".
std::string ResultText(uint16_t result);
// The exit status for a failed DmSubRequest result.
int ExitForResult(uint16_t result);

} // namespace kvcli
