#include "log/VisibleText.h"

#include <cstdint>
#include <cstdio>

namespace kv {

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 when the
// bytes there are not one (overlong forms and surrogates included).
size_t Utf8Sequence(std::string_view s, size_t i, uint32_t& cp)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    size_t n = 0;
    uint32_t min = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool Hidden(uint32_t cp)
{
    return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

} // namespace

std::string VisibleText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    char buf[16];
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else if (c < 0x80) {
            out += char(c);
        } else {
            uint32_t cp = 0;
            const size_t n = Utf8Sequence(bytes, i, cp);
            if (n == 0) {
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else if (Hidden(cp)) {
                std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(cp));
                out += buf;
                i += n;
                continue;
            } else {
                out.append(bytes.data() + i, n);
                i += n;
                continue;
            }
        }
        ++i;
    }
    return out;
}

bool IsVisibleText(std::string_view bytes) { return VisibleText(bytes) == bytes; }

} // namespace kv
