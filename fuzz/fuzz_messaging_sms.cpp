// Message replies as the modem sends them, and the body conversion the read
// pass applies to them.
#include "link/DiagCatalogSms.h"
#include "messaging/SmsShared.h"
#include "messaging/SmsTexts.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kv::SmsReadReply r;
    if (kv::ParseSmsReadReply(data, size, r)) {
        const std::string body = kv::ConvertSmsData(r.encoding, r.data);
        if (body.size() > kv::kSmsConvertBuffer)
            __builtin_trap();
    }
    kv::SmsListReply l;
    if (kv::ParseSmsListReply(data, size, l) && l.entries.size() > 198)
        __builtin_trap();
    if (size > 0) {
        const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
        (void)kv::ConvertSmsData(data[0], text);
    }
    return 0;
}
