// Any bytes as a status report and as a text for the bus: the report is
// flattened or refused whole without a crash, and the bus text is valid
// UTF-8 (taking it again changes nothing) with no NUL byte.
#include "bus/BusText.h"
#include "bus/StatusFlatten.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string text = kv::bus::BusText(in);
    if (text.find('\0') != std::string::npos || kv::bus::BusText(text) != text)
        std::abort();
    std::vector<kv::bus::FlatValue> flat;
    if (!kv::bus::FlattenStatus(in, flat) && !flat.empty())
        std::abort();
    for (const auto& f : flat)
        if (f.key.empty() || f.key.front() == '.' || std::string("xtdbs").find(f.type) == std::string::npos)
            std::abort();
    return 0;
}
