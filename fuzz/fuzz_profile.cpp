// Feeds arbitrary bytes to the INI reader and writer as a settings file.
#include "settings/Profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/kvfuzzXXXXXX";
        std::string d = mkdtemp(tmpl);
        setenv("KORVIANET_CONFIG_DIR", d.c_str(), 1);
        return d;
    }();
    std::string path = dir + "/f.ini";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    kv::GetProfileString("modem", "esn", "x", 64, "f.ini");
    kv::GetProfileInt("rssi", "One", 16, "f.ini");
    kv::WriteProfileString("chv1", "num", "1234", "f.ini");
    if (kv::GetProfileString("chv1", "num", "", 9, "f.ini") != "1234")
        std::abort();
    return 0;
}
