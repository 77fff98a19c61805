#include "bus/BusText.h"

namespace kv::bus {

namespace {
// Length of the valid UTF-8 sequence at text[i], 0 when there is none
// (overlong forms, surrogates and code points beyond U+10FFFF included).
size_t SequenceAt(std::string_view text, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = b(i);
    if (c < 0x80)
        return 1;
    size_t n = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}
} // namespace

std::string BusText(std::string_view text)
{
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        const size_t n = SequenceAt(text, i);
        valid = n > 0;
        i += n;
    }
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == 0)
            continue;
        if (valid || c < 0x80) {
            out.push_back(char(c));
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace kv::bus
