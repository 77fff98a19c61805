// Feeds arbitrary bytes to the INI reader and to the key writer as a
// settings file's text: nothing may crash, a written key must read back, and
// writing one key must never change what another key reads.
#include "settings/Profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
struct Probe {
    const char* section;
    const char* key;
};
const Probe kOthers[] = {{"modem", "esn"}, {"rssi", "One"}, {"chv1", "other"}, {"CHV1 ", "num"},
                         {"", "num"}, {"x", ""}};

std::string Read(const std::string& text, const char* section, const char* key)
{
    std::string v;
    return kv::LookUpProfileText(text, section, key, v) ? "=" + v : "missing";
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string before[std::size(kOthers)];
    for (size_t i = 0; i < std::size(kOthers); ++i)
        before[i] = Read(text, kOthers[i].section, kOthers[i].key);

    const std::string value = "1234";
    std::string out;
    if (!kv::ChangeProfileText(text, "chv1", "num", &value, out))
        std::abort(); // setting always changes the text
    if (Read(out, "CHV1", "NUM") != "=1234")
        std::abort();
    for (size_t i = 0; i < std::size(kOthers); ++i)
        if (Read(out, kOthers[i].section, kOthers[i].key) != before[i])
            std::abort();

    std::string removed;
    if (kv::ChangeProfileText(out, "chv1", "num", nullptr, removed))
        for (size_t i = 0; i < std::size(kOthers); ++i)
            if (Read(removed, kOthers[i].section, kOthers[i].key) != before[i])
                std::abort();

    // Once in a while through the file, to cover the file path as well.
    static unsigned n = 0;
    if (n++ % 256 == 0) {
        static std::string dir = [] {
            char tmpl[] = "/tmp/kvfuzzXXXXXX";
            std::string d = mkdtemp(tmpl);
            setenv("KORVIANET_CONFIG_DIR", d.c_str(), 1);
            return d;
        }();
        if (std::FILE* f = std::fopen((dir + "/f.ini").c_str(), "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
        kv::GetProfileInt("rssi", "One", 16, "f.ini");
        kv::WriteProfileString("chv1", "num", value, "f.ini");
        if (kv::GetProfileString("chv1", "num", "", 9, "f.ini") != value)
            std::abort();
    }
    return 0;
}
