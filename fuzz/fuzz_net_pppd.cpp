// Feeds arbitrary bytes to the readers of pppd's output and of the phonebook
// files, and checks the invariants the dial-up service relies on: lines are
// bounded, interface names are "ppp" and digits, states are known ones, and
// whatever passes the quoting reads back unchanged.
#include "net/PppdOutput.h"
#include "net/PppdPeers.h"
#include "net/PppdPhonebook.h"
#include "net/RasCodes.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string buffer = text;
    kvnet::TakePppdLines(
        buffer,
        [](std::string_view line) {
            if (line.size() > 1024 || line.find('\n') != std::string_view::npos)
                std::abort();
            const kvnet::PppdEvent e = kvnet::ParsePppdLine(line);
            if (e.kind == kvnet::PppdEvent::Interface) {
                if (e.interface.size() < 4 || e.interface.compare(0, 3, "ppp") != 0)
                    std::abort();
                for (size_t i = 3; i < e.interface.size(); ++i)
                    if (!std::isdigit(static_cast<unsigned char>(e.interface[i])))
                        std::abort();
            }
            if (e.kind == kvnet::PppdEvent::State) {
                const char* t = nullptr;
                bool c = false;
                kvnet::DialStateText(e.state, t, c);
                if (!t)
                    std::abort();
            }
        },
        1024);
    if (buffer.size() > 1024)
        std::abort();

    kvnet::RasEntry entry;
    kvnet::ParseEntryFile(text, entry);
    const std::string node = kvnet::DeviceNodeOf(text);
    if (node.find("..") != std::string::npos)
        std::abort();

    // Split the input into a user name and a password at the first zero byte.
    const size_t cut = text.find('\0');
    const std::string user = text.substr(0, cut);
    const std::string pw = cut == std::string::npos ? std::string() : text.substr(cut + 1);
    const std::string secrets = kvnet::BuildSecretFile(user, pw);
    if (!secrets.empty()) {
        std::string u, p;
        kvnet::ParseSecretFile(secrets, u, p);
        if (u != user || p != pw)
            std::abort();
    }
    // A device name of any bytes never adds an option line to the entry: it
    // is one "#kv-" comment and, when it names a node, one quoted word.
    if (text.find_first_of("\r\n") == std::string::npos) {
        kvnet::RasEntry e{"#777", "modem", text, 4, 1, 0x318};
        const std::string file = kvnet::BuildEntryFile(e);
        size_t lines = 0;
        for (char c : file)
            lines += c == '\n';
        if (!file.empty() && lines > 12)
            std::abort();
        kvnet::RasEntry back;
        if (!file.empty() && (!kvnet::ParseEntryFile(file, back) || back.deviceName != text))
            std::abort();
    }
    const std::string peer = kvnet::PeerForDialString(text);
    if (!peer.empty() && !kvnet::ValidDialString(text))
        std::abort();
    return 0;
}
