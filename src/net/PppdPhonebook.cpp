// Option files and secrets of the pppd phonebook.
#include "net/PppdPhonebook.h"

#include "log/NumberParse.h"
#include "net/RasCodes.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>

namespace kvnet {

namespace {

constexpr const char* kPropDevice = "#kv-device ";
constexpr const char* kPropDeviceType = "#kv-device-type ";
constexpr const char* kPropPhone = "#kv-phone ";
constexpr const char* kPropProtocols = "#kv-protocols ";
constexpr const char* kPropFraming = "#kv-framing ";
constexpr const char* kPropOptions = "#kv-options ";

bool Starts(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// The value of a "#kv-" line: the rest of the line, no control bytes.
bool CleanLineValue(const std::string& v)
{
    for (unsigned char c : v)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

std::string Unquote(const std::string& word)
{
    std::string out;
    if (word.size() < 2 || word.front() != '"' || word.back() != '"')
        return word;
    for (size_t i = 1; i + 1 < word.size(); ++i) {
        if (word[i] == '\\' && i + 2 < word.size())
            ++i;
        out += word[i];
    }
    return out;
}

} // namespace

bool ValidDialString(const std::string& number)
{
    if (number.empty() || number.size() > 40)
        return false;
    for (char c : number)
        if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr("*#+,PpTtWw", c))
            return false;
    return true;
}

bool ValidEntryName(const std::string& entry)
{
    if (entry.empty() || entry.size() > 256 || entry.front() == '.')
        return false;
    for (unsigned char c : entry)
        if (c == '/' || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool QuotePppdWord(const std::string& text, std::string& quoted)
{
    quoted = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += char(c);
    }
    quoted += '"';
    return true;
}

std::string DeviceNodeOf(const std::string& deviceName)
{
    const size_t open = deviceName.rfind('(');
    const size_t close = deviceName.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close <= open + 1)
        return {};
    std::string node = deviceName.substr(open + 1, close - open - 1);
    if (node.find("..") != std::string::npos)
        return {};
    return node.front() == '/' ? node : "/dev/" + node;
}

std::string BuildEntryFile(const RasEntry& e)
{
    std::ostringstream o;
    o << "# Dial-up entry of Korvianet (written by the program; edits are replaced).\n"
         "# Options a user may give to pppd; the dial adds the root-owned profile\n"
         "# from /etc/ppp/peers (korvianet-cdma, korvianet-gsm) with the rest.\n";
    o << kPropDevice << e.deviceName << "\n" << kPropDeviceType << e.deviceType << "\n";
    o << kPropPhone << e.phoneNumber << "\n" << kPropProtocols << e.protocols << "\n";
    o << kPropFraming << e.framing << "\n" << kPropOptions << e.options << "\n";
    const std::string node = DeviceNodeOf(e.deviceName);
    std::string quoted;
    if (!node.empty()) {
        if (!QuotePppdWord(node, quoted))
            return {};
        o << quoted << "\n";
    }
    if (e.options & RASEO_RemoteDefaultGateway)
        o << "defaultroute\n";
    if (!(e.options & RASEO_IpHeaderCompression))
        o << "novj\n";
    if (!(e.options & RASEO_SwCompression))
        o << "noccp\n";
    return o.str();
}

bool ParseEntryFile(const std::string& text, RasEntry& e)
{
    std::istringstream in(text);
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
        // A value that is not a number of its width reads as 0, never as a wrapped one.
        auto num = [&](const char* p) {
            return kv::DecimalValue<uint32_t>(std::string_view(line).substr(std::strlen(p))).value_or(0);
        };
        if (Starts(line, kPropDeviceType))
            e.deviceType = line.substr(std::strlen(kPropDeviceType)), any = true;
        else if (Starts(line, kPropDevice))
            e.deviceName = line.substr(std::strlen(kPropDevice)), any = true;
        else if (Starts(line, kPropPhone))
            e.phoneNumber = line.substr(std::strlen(kPropPhone));
        else if (Starts(line, kPropProtocols))
            e.protocols = num(kPropProtocols);
        else if (Starts(line, kPropFraming))
            e.framing = num(kPropFraming);
        else if (Starts(line, kPropOptions))
            e.options = num(kPropOptions);
    }
    return any;
}

std::string BuildSecretFile(const std::string& user, const std::string& password)
{
    std::string qu, qp;
    if (!QuotePppdWord(user, qu) || !QuotePppdWord(password, qp))
        return {};
    std::string out = "# Korvianet dial-up credentials (owner-only).\n";
    if (!user.empty())
        out += "user " + qu + "\n";
    if (!password.empty())
        out += "password " + qp + "\n";
    return out;
}

bool ParseSecretFile(const std::string& text, std::string& user, std::string& password)
{
    std::istringstream in(text);
    std::string line;
    user.clear();
    password.clear();
    while (std::getline(in, line)) {
        if (Starts(line, "user "))
            user = Unquote(line.substr(5));
        else if (Starts(line, "password "))
            password = Unquote(line.substr(9));
    }
    return true;
}

std::string CPppdPhonebook::Folder(const std::string& phonebook) const
{
    // No root given: the settings folder of the moment.
    const std::string root = m_root.empty() ? kv::SettingsDir() : m_root;
    return root + "/" + (phonebook.empty() ? std::string(kPhonebook) : phonebook);
}

std::string CPppdPhonebook::EntryPath(const std::string& pb, const std::string& entry) const
{
    return Folder(pb) + "/" + entry;
}

std::string CPppdPhonebook::SecretPath(const std::string& pb, const std::string& entry) const
{
    return EntryPath(pb, entry) + ".secret";
}

bool CPppdPhonebook::Exists(const std::string& pb, const std::string& entry) const
{
    struct stat st;
    return ValidEntryName(entry) && ::stat(EntryPath(pb, entry).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int CPppdPhonebook::Read(const std::string& pb, const std::string& entry, RasEntry& out) const
{
    if (!Exists(pb, entry))
        return RAS_ERR_ENTRY_NOT_FOUND;
    std::string text;
    if (!kv::ReadWholeFile(EntryPath(pb, entry), text))
        return RAS_ERR_ENTRY_NOT_FOUND;
    out = RasEntry{};
    return ParseEntryFile(text, out) ? RAS_OK : RAS_ERR_ENTRY_NOT_FOUND;
}

int CPppdPhonebook::Write(const std::string& pb, const std::string& entry, const RasEntry& props) const
{
    if (!ValidEntryName(entry) || !CleanLineValue(props.deviceName) || !CleanLineValue(props.deviceType)
        || !CleanLineValue(props.phoneNumber))
        return RAS_ERR_BAD_ARGUMENT;
    if (!props.phoneNumber.empty() && !ValidDialString(props.phoneNumber))
        return RAS_ERR_BAD_ARGUMENT;
    const std::string text = BuildEntryFile(props);
    if (text.empty())
        return RAS_ERR_BAD_ARGUMENT;
    if (!kv::MakeOwnerDirs(Folder(pb)))
        return RAS_ERR_CANNOT_WRITE;
    return kv::ReplaceFileAtomically(EntryPath(pb, entry), text) ? RAS_OK : RAS_ERR_CANNOT_WRITE;
}

int CPppdPhonebook::ReadSecrets(const std::string& pb, RasDialParams& inOut) const
{
    std::string text;
    if (!Exists(pb, inOut.entry))
        return RAS_ERR_ENTRY_NOT_FOUND;
    if (!kv::ReadWholeFile(SecretPath(pb, inOut.entry), text))
        text.clear();
    ParseSecretFile(text, inOut.userName, inOut.password);
    return RAS_OK;
}

int CPppdPhonebook::WriteSecrets(const std::string& pb, const RasDialParams& params) const
{
    if (!Exists(pb, params.entry))
        return RAS_ERR_ENTRY_NOT_FOUND;
    const std::string text = BuildSecretFile(params.userName, params.password);
    if (text.empty())
        return RAS_ERR_BAD_ARGUMENT;
    return kv::ReplaceFileAtomically(SecretPath(pb, params.entry), text) ? RAS_OK : RAS_ERR_CANNOT_WRITE;
}

} // namespace kvnet
