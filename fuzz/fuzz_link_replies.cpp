// Every DIAG reply reader (and the simulator-side request readers) over
// arbitrary bytes. The input is copied to an exact-size buffer so that any
// read past the reply's length is caught by the address sanitizer.
#include "link/DiagCatalog.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<uint8_t[]> buf(new uint8_t[size ? size : 1]);
    std::copy_n(data, size, buf.get());
    const uint8_t* p = size ? buf.get() : nullptr;

    { VersionReply v; ParseVersionReply(p, size, v); }
    { EsnMinReply v; ParseEsnMinReply(p, size, v); }
    { uint16_t v; ParseNvPrefMode(p, size, v); }
    { uint8_t v; ParseNvHybridPref(p, size, v); }
    { std::string v; if (ParseNvDirNumber(p, size, v) && v.size() > nv_layout::kDirDigitsMax) std::abort(); }
    { ServiceReply v; ParseServiceReply(p, size, v); }
    { StatusRecord v; ParseStatusRecord(p, size, false, v); ParseStatusRecord(p, size, true, v); }
    {
        CallerIdRecord v;
        if (ParseCallerIdRecord(p, size, v) && v.number.size() > callerid_layout::kNumberMax)
            std::abort();
    }
    { uint16_t v; ParseCmSysSelReply(p, size, v); Parse1xDrcReply(p, size, v); }
    { std::array<uint8_t, 8> v; ParseHdrDrcReply(p, size, v); }
    { InfVerReply v; ParseInfVerReply(p, size, v); }
    { BattInfo v; ParseBattInfo(p, size, v); }
    { GetInfoReply v; if (ParseGetInfoReply(p, size, v) && v.text.size() > getinfo_layout::kTextMax) std::abort(); }
    { RuimStatus v; ParseRuimStatus(p, size, v); }
    { RuimChvReply v; ParseRuimChvReply(p, size, KVA_SUB_RUIM_VERIFY_CHV, v); }
    {
        SmsListReply v;
        if (ParseSmsListReply(p, size, v) && v.entries.size() > sms_list_layout::kMaxEntries)
            std::abort();
    }
    {
        SmsReadReply v;
        if (ParseSmsReadReply(p, size, v)
            && (v.data.size() > sms_read_layout::kDataMax || v.callback.size() > sms_read_layout::kCallbackMax))
            std::abort();
    }
    { SmsInspectReply v; ParseSmsInspectReply(p, size, v); }
    { SmsInfoReply v; ParseSmsInfoReply(p, size, v); }
    { uint16_t v; ParseSmsResult(p, size, KVA_SUB_SMS_SEND, v); ParsePbResult(p, size, KVA_SUB_PB_DEL, v); }
    { PbInfoReply v; ParsePbInfoReply(p, size, v); }
    for (size_t wanted = 1; wanted <= pb_layout::kMaxReadCount; wanted += 3) {
        PbReadReply v;
        if (ParsePbReadReply(p, size, wanted, v)) {
            for (const auto& r : v.records)
                if (r.number.size() > pb_layout::kNumberMax || r.nameLength > pb_layout::kNameMax)
                    std::abort();
        }
    }
    { SmsOutgoing v; ParseSmsSendReq(p, size, v); uint32_t s, t; ParseSmsWriteReq(p, size, v, s, t); }
    { PbRecord v; ParsePbWriteReq(p, size, v); }
    FindRequestInfo(p, size);
    return 0;
}
