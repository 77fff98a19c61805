// Any text on the message line: every line fits unless it is one character
// wider than the line, no byte but the breaks' spaces is lost or reordered,
// and wrapping a wrapped text changes nothing.
#include "log/LineWrap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

std::string WithoutSpacesAndBreaks(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\n')
            out += c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t width = data[0] % 24;
    const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string out = kv::WrapAtWords(in, width);
    Check(WithoutSpacesAndBreaks(out) == WithoutSpacesAndBreaks(in));
    if (width == 0) {
        Check(out == in);
        return 0;
    }
    size_t start = 0;
    while (start <= out.size()) {
        size_t end = out.find_first_of("\n\r", start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        // Only a line of one character (at most 4 bytes) may be wider.
        Check(kv::LineColumns(line) <= width || line.size() <= 4);
        start = end + 1;
    }
    Check(kv::WrapAtWords(out, width) == out);
    return 0;
}
