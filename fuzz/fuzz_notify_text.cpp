// Any bytes of an SMS or a modem's text made fit for a notification: the
// result is valid UTF-8 (the bus refuses anything else), within its limit,
// holds no control character but line breaks and tabs, and is unchanged by
// a second pass. The markup escape leaves no raw '<' or '>'.
#include "notify/NotificationText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
bool ValidUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    const size_t limit = size % 300;
    const std::string out = kvnotify::BusText(in, limit);
    if (out.size() > limit || !ValidUtf8(out) || kvnotify::BusText(out, limit) != out)
        std::abort();
    for (unsigned char c : out)
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            std::abort();
    const std::string first = kvnotify::FirstLine(out);
    if (first.find('\n') != std::string::npos || first.size() > out.size())
        std::abort();
    for (char c : kvnotify::MarkupEscaped(out))
        if (c == '<' || c == '>')
            std::abort();
    return 0;
}
