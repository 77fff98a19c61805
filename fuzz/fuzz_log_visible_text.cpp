// Any bytes shown on a terminal: the escaped form holds no control byte,
// is stable (escaping it again only doubles its backslashes) and is valid
// UTF-8 the terminal shows as text.
#include "log/VisibleText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string out = kv::VisibleText(in);
    for (unsigned char c : out)
        if (c < 0x20 || c == 0x7F)
            std::abort();
    // Every backslash of the output starts an escape or is one: escaping the
    // output again changes only backslashes, so nothing raw survived.
    const std::string again = kv::VisibleText(out);
    size_t slashes = 0;
    for (char c : out)
        slashes += c == '\\';
    if (again.size() != out.size() + slashes)
        std::abort();
    return 0;
}
