// Phonebook records and names as the modem sends them: the record decoder,
// the name codings, the number clean-up and the dial-string rules.
#include "contacts/PbCoding.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t rec[kv::pb_layout::kRecordSize] = {};
    for (size_t i = 0; i < size && i < sizeof rec; ++i)
        rec[i] = data[i];
    kv::PbRecord r;
    kv::DecodePbRecord(rec, r);
    (void)kv::DecodePbName(r.name.data(), r.name.size());
    (void)kv::DecodePbName(data, size);
    (void)kv::PbNumberFromRecord(r, true);
    (void)kv::PbNumberFromRecord(r, false);
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)kv::CheckDialString(text);
    kv::PbRecord w;
    if (kv::MakePbWriteRecord(2, 1, text, text.substr(0, 32), w)) {
        kv::DiagRequest req;
        (void)kv::BuildPbWriteReq(w, req);
    }
    return 0;
}
