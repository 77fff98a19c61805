// SMS records of the DIAG catalog: builders, reply readers and the reply
// encoders the simulator answers with.
#include "link/DiagCatalogSms.h"

#include <algorithm>

namespace kv {

namespace {

// Fills the common part of send and write: encoding, lengths, addresses, text.
bool FillMessage(const SmsOutgoing& m, uint8_t* p, size_t encodingOff, size_t destLenOff,
                 size_t cbLenOff, size_t textLenOff, size_t destOff, size_t cbOff, size_t textOff)
{
    using namespace sms_send_layout;
    const size_t textLength = SmsTextLength(m.encoding, m.text);
    if (m.destination.size() > kAddressLen || m.callback.size() > kAddressLen || textLength > kTextMax)
        return false;
    p[encodingOff] = m.encoding;
    p[destLenOff] = uint8_t(SmsTextLength(kSmsEncodingAscii, m.destination));
    p[cbLenOff] = uint8_t(SmsTextLength(kSmsEncodingAscii, m.callback));
    PutU16(p, textLenOff, uint16_t(textLength));
    PutText(p, destOff, kAddressLen, m.destination);
    PutText(p, cbOff, kAddressLen, m.callback);
    PutText(p, textOff, kTextMax, m.text);
    return true;
}

void ReadMessage(const uint8_t* p, size_t encodingOff, size_t destLenOff, size_t cbLenOff,
                 size_t textLenOff, size_t destOff, size_t cbOff, size_t textOff, SmsOutgoing& out)
{
    using namespace sms_send_layout;
    out.encoding = p[encodingOff];
    out.destination.assign(reinterpret_cast<const char*>(p + destOff),
                           std::min<size_t>(p[destLenOff], kAddressLen));
    out.callback.assign(reinterpret_cast<const char*>(p + cbOff),
                        std::min<size_t>(p[cbLenOff], kAddressLen));
    out.text.assign(reinterpret_cast<const char*>(p + textOff),
                    std::min<size_t>(GetU16(p, textLenOff), kTextMax));
}

std::vector<uint8_t> SmsReply(uint16_t sub, size_t length, uint16_t result)
{
    std::vector<uint8_t> v(length, 0);
    v[0] = KVA_CMD_SMS;
    PutU16(v.data(), kVendorSubOffset, sub);
    PutU16(v.data(), kVendorResultOffset, result);
    return v;
}

} // namespace

size_t SmsTextLength(uint8_t encoding, const std::string& text)
{
    if (encoding == kSmsEncodingUnicode) {
        size_t units = 0;
        while (2 * units + 1 < text.size() && (text[2 * units] != 0 || text[2 * units + 1] != 0))
            ++units;
        // an odd trailing byte counts as a unit of its own
        if (2 * units + 1 == text.size() && text[2 * units] != 0)
            ++units;
        return 2 * units;
    }
    const size_t z = text.find('\0');
    return z == std::string::npos ? text.size() : z;
}

bool BuildSmsSendReq(const SmsOutgoing& m, DiagRequest& out)
{
    using namespace sms_send_layout;
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_SEND, kLength);
    if (!FillMessage(m, r.bytes.data(), kEncoding, kDestLength, kCallbackLength, kTextLength, kDest,
                     kCallback, kText))
        return false;
    out = r;
    return true;
}

bool BuildSmsWriteReq(const SmsOutgoing& m, uint32_t storage, DiagRequest& out)
{
    using namespace sms_write_layout;
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_WRITE, kLength);
    PutU32(r.bytes.data(), kTag, kSmsWireTagOutbox);
    PutU32(r.bytes.data(), kStorage, storage);
    if (!FillMessage(m, r.bytes.data(), kEncoding, kDestLength, kCallbackLength, kTextLength, kDest,
                     kCallback, kText))
        return false;
    out = r;
    return true;
}

DiagRequest BuildSmsRemoveReq(uint32_t slot, uint32_t storage, bool removeAllPass)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, removeAllPass ? KVA_SUB_SMS_REMOVEALL : KVA_SUB_SMS_REMOVEAT,
                                   sms_slot_layout::kLength);
    PutU32(r.bytes.data(), sms_slot_layout::kSlot, slot);
    PutU32(r.bytes.data(), sms_slot_layout::kStorage, storage);
    return r;
}

DiagRequest BuildSmsListReq(uint32_t storage)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_GET_LIST, sms_list_layout::kRequestLength);
    PutU32(r.bytes.data(), sms_list_layout::kRequestStorage, storage);
    return r;
}

DiagRequest BuildSmsSetTagReq(uint32_t slot, uint32_t storage, uint32_t tag)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_SETTAG, sms_slot_layout::kSetTagLength);
    PutU32(r.bytes.data(), sms_slot_layout::kSlot, slot);
    PutU32(r.bytes.data(), sms_slot_layout::kStorage, storage);
    PutU32(r.bytes.data(), sms_slot_layout::kNewTag, tag);
    return r;
}

DiagRequest BuildSmsReadReq(uint32_t slot, uint32_t storage)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_READ, sms_slot_layout::kLength);
    PutU32(r.bytes.data(), sms_slot_layout::kSlot, slot);
    PutU32(r.bytes.data(), sms_slot_layout::kStorage, storage);
    return r;
}

DiagRequest BuildSmsInspectReq() { return BuildVendorReq(KVA_CMD_SMS, KVA_SUB_SMS_INSPECTED); }
DiagRequest BuildSmsInfoReq() { return BuildVendorReq(KVA_CMD_SMS, KVA_SUB_INFO); }

bool ParseSmsResult(const uint8_t* reply, size_t length, uint16_t sub, uint16_t& result)
{
    return ParseVendorResult(reply, length, KVA_CMD_SMS, sub, result);
}

bool ParseSmsListReply(const uint8_t* reply, size_t length, SmsListReply& out)
{
    using namespace sms_list_layout;
    ReplyView r{reply, length};
    if (!CheckVendorReply(r, KVA_CMD_SMS, KVA_SUB_SMS_GET_LIST))
        return false;
    out = SmsListReply{};
    out.result = r.U16(kVendorResultOffset);
    if (!r.Has(kEntries))
        return out.result != 0;
    out.numEntries = r.I32(kNumEntries);
    out.storage = r.U32(kStorage);
    out.voiceIndex = r.I32(kVoiceIndex);
    out.voiceActive = r.U32(kVoiceActive);
    const size_t present = (length - kEntries) / kEntrySize;
    const size_t n = std::min({size_t(std::max(out.numEntries, 0)), kMaxEntries, present});
    out.entries.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t e = kEntries + i * kEntrySize;
        out.entries.push_back({r.U16(e + kEntrySlot), r.U32(e + kEntryTag)});
    }
    return true;
}

bool ParseSmsReadReply(const uint8_t* reply, size_t length, SmsReadReply& out)
{
    using namespace sms_read_layout;
    ReplyView r{reply, length};
    if (!CheckVendorReply(r, KVA_CMD_SMS, KVA_SUB_SMS_READ))
        return false;
    out = SmsReadReply{};
    out.result = r.U16(kVendorResultOffset);
    if (!r.Has(kData))
        return out.result != 0;
    out.teleserviceType = r.U32(kTeleservice);
    out.timeStamp = r.U32(kTimeStamp);
    out.encoding = r.U8(kEncoding);
    out.voiceMailCount = r.U8(kVoiceMailCount);
    out.callbackLengthReported = r.U8(kCallbackLength);
    out.dataLengthReported = r.U16(kDataLength);
    out.callback.assign(reinterpret_cast<const char*>(reply + kCallback),
                        std::min<size_t>(out.callbackLengthReported, kCallbackMax));
    const size_t dataLen = std::min({size_t(out.dataLengthReported), kDataMax, length - kData});
    out.data.assign(reinterpret_cast<const char*>(reply + kData), dataLen);
    return true;
}

bool ParseSmsInspectReply(const uint8_t* reply, size_t length, SmsInspectReply& out)
{
    using namespace sms_inspect_layout;
    ReplyView r{reply, length};
    if (!r.Has(kLength) || !CheckVendorReply(r, KVA_CMD_SMS, KVA_SUB_SMS_INSPECTED))
        return false;
    out.result = r.U16(kVendorResultOffset);
    out.closeFlag = r.U8(kCloseFlag);
    out.report = r.U16(kReport);
    out.tl = r.U16(kTl);
    return true;
}

bool ParseSmsInfoReply(const uint8_t* reply, size_t length, SmsInfoReply& out)
{
    using namespace sms_info_layout;
    ReplyView r{reply, length};
    if (!r.Has(kLength) || !CheckVendorReply(r, KVA_CMD_SMS, KVA_SUB_INFO))
        return false;
    out.result = r.U16(kVendorResultOffset);
    out.inited = r.U8(kInited);
    out.smsMaxSlot = r.U8(kMaxSlot);
    return true;
}

bool ParseSmsSendReq(const uint8_t* req, size_t length, SmsOutgoing& out)
{
    using namespace sms_send_layout;
    if (req == nullptr || length < size_t(kLength))
        return false;
    ReadMessage(req, kEncoding, kDestLength, kCallbackLength, kTextLength, kDest, kCallback, kText, out);
    return true;
}

bool ParseSmsWriteReq(const uint8_t* req, size_t length, SmsOutgoing& out, uint32_t& storage,
                      uint32_t& tag)
{
    using namespace sms_write_layout;
    if (req == nullptr || length < size_t(kLength))
        return false;
    tag = GetU32(req, kTag);
    storage = GetU32(req, kStorage);
    ReadMessage(req, kEncoding, kDestLength, kCallbackLength, kTextLength, kDest, kCallback, kText, out);
    return true;
}

std::vector<uint8_t> EncodeSmsListReply(const SmsListReply& v)
{
    using namespace sms_list_layout;
    auto out = SmsReply(KVA_SUB_SMS_GET_LIST, kReplyLength, v.result);
    uint8_t* p = out.data();
    PutU32(p, kNumEntries, uint32_t(v.numEntries));
    PutU32(p, kStorage, v.storage);
    PutU32(p, kVoiceIndex, uint32_t(v.voiceIndex));
    PutU32(p, kVoiceActive, v.voiceActive);
    for (size_t i = 0; i < v.entries.size() && i < kMaxEntries; ++i) {
        const size_t e = kEntries + i * kEntrySize;
        PutU16(p, e + kEntrySlot, v.entries[i].slot);
        PutU32(p, e + kEntryTag, v.entries[i].tag);
    }
    return out;
}

std::vector<uint8_t> EncodeSmsReadReply(const SmsReadReply& v)
{
    using namespace sms_read_layout;
    auto out = SmsReply(KVA_SUB_SMS_READ, kReplyLength, v.result);
    uint8_t* p = out.data();
    PutU32(p, kTeleservice, v.teleserviceType);
    PutU32(p, kTimeStamp, v.timeStamp);
    p[kEncoding] = v.encoding;
    p[kVoiceMailCount] = v.voiceMailCount;
    const size_t cb = std::min(v.callback.size(), kCallbackMax);
    const size_t data = std::min(v.data.size(), kDataMax);
    p[kCallbackLength] = uint8_t(cb);
    PutU16(p, kDataLength, uint16_t(data));
    PutText(p, kCallback, kCallbackMax, v.callback.substr(0, cb));
    PutText(p, kData, kDataMax, v.data.substr(0, data));
    return out;
}

std::vector<uint8_t> EncodeSmsInspectReply(const SmsInspectReply& v)
{
    using namespace sms_inspect_layout;
    auto out = SmsReply(KVA_SUB_SMS_INSPECTED, kLength, v.result);
    out[kCloseFlag] = v.closeFlag;
    PutU16(out.data(), kReport, v.report);
    PutU16(out.data(), kTl, v.tl);
    return out;
}

std::vector<uint8_t> EncodeSmsInfoReply(const SmsInfoReply& v)
{
    using namespace sms_info_layout;
    auto out = SmsReply(KVA_SUB_INFO, kLength, v.result);
    out[kInited] = v.inited;
    out[kMaxSlot] = v.smsMaxSlot;
    return out;
}

} // namespace kv
