// The user's list of static APNs, "static_apn.txt": plain text, one APN per
// line ended by "\n", kept in the current directory.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Reads the list: empty lines are skipped; each line is taken up to 63
// characters; reading stops after the first line longer than that (its first
// 63 characters are still taken). A CR before the "\n" and anything from a
// NUL on are not part of a line. False (and an empty list) when the file
// cannot be opened.
bool ReadStaticApnList(std::vector<std::string>& out, const std::string& path = "static_apn.txt");
// The same over text already in memory.
std::vector<std::string> ParseStaticApnList(const std::string& text);

// Rewrites the whole file: the kept lines, then the added APN when given,
// each folded to upper case (ASCII a-z) and followed by "\n". Empty entries
// and line breaks inside an entry are dropped. The file is replaced
// atomically; false (old file intact) on failure.
bool WriteStaticApnList(const std::vector<std::string>& kept, const std::string* added = nullptr,
                        const std::string& path = "static_apn.txt");

// The text such a rewrite writes.
std::string FormatStaticApnList(const std::vector<std::string>& kept, const std::string* added = nullptr);

// Creates an empty list file when none exists. True if the file exists.
bool EnsureStaticApnFile(const std::string& path = "static_apn.txt");

// ASCII a-z folded to A-Z; other bytes unchanged.
std::string UpperAscii(std::string text);

} // namespace kv
