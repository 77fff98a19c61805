// Feeds arbitrary bytes to the APN list reader, then checks that a rewrite of
// what was read reads back as the same list folded to upper case.
#include "settings/StaticApn.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> list = kv::ParseStaticApnList(text);
    std::vector<std::string> want;
    for (const std::string& l : list) {
        if (l.empty() || l.size() > 63 || l.find('\n') != std::string::npos ||
            l.find('\0') != std::string::npos)
            std::abort();
        std::string u;
        for (char c : kv::UpperAscii(l))
            if (c != '\r')
                u += c; // a rewrite drops stray CRs
        if (!u.empty())
            want.push_back(u);
    }
    if (kv::ParseStaticApnList(kv::FormatStaticApnList(list)) != want)
        std::abort();
    return 0;
}
