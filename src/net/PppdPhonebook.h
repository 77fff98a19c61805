// The phonebook "PINGPB" as pppd sees it: a folder (owner-only) under the
// settings folder with, per entry, an options file named after the entry and
// its secrets ("<entry>.secret", 0600, read by pppd through its `file`
// option so the password never shows on a command line). Both hold only
// options pppd accepts from a user's file (the data tty, the entry's options,
// the account); the privileged rest comes from the root-owned profile the
// dial calls (PppdPeers.h). The entry's own properties ride in the options
// file as "#kv-" comment lines that pppd ignores. The text builders here are
// pure.
#pragma once

#include "net/RasBackend.h"

#include <string>

namespace kvnet {

// Characters a dial string may hold: digits, '*', '#', '+', ',' and the
// dial modifiers P, T, W (either case). Anything else could end the chat
// script's quoted string.
bool ValidDialString(const std::string& number);
// Entry names become file names: no '/', no leading '.', no control bytes.
bool ValidEntryName(const std::string& entry);
// A pppd option word in double quotes with '\' and '"' escaped; false when
// the text holds a control character (a newline would start a new option).
bool QuotePppdWord(const std::string& text, std::string& quoted);

// The device node of a device name "KORVIA ... (ttyUSB0)" or "(/dev/x)".
std::string DeviceNodeOf(const std::string& deviceName);

// "" when a value cannot go into the file.
std::string BuildEntryFile(const RasEntry& entry);
bool ParseEntryFile(const std::string& text, RasEntry& entry);
// "" when a value cannot be quoted.
std::string BuildSecretFile(const std::string& user, const std::string& password);
bool ParseSecretFile(const std::string& text, std::string& user, std::string& password);

class CPppdPhonebook {
public:
    // root: the folder the phonebook folder lives in; empty: the settings
    // folder.
    explicit CPppdPhonebook(std::string root) : m_root(std::move(root)) {}

    std::string Folder(const std::string& phonebook) const;
    std::string EntryPath(const std::string& phonebook, const std::string& entry) const;
    std::string SecretPath(const std::string& phonebook, const std::string& entry) const;

    bool Exists(const std::string& phonebook, const std::string& entry) const;
    int Read(const std::string& phonebook, const std::string& entry, RasEntry& out) const;
    int Write(const std::string& phonebook, const std::string& entry, const RasEntry& props) const;
    int ReadSecrets(const std::string& phonebook, RasDialParams& inOut) const;
    int WriteSecrets(const std::string& phonebook, const RasDialParams& params) const;

private:
    std::string m_root;
};

} // namespace kvnet
