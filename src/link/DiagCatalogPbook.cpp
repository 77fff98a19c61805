// Phonebook records of the DIAG catalog: the 104-byte record, builders,
// reply readers and the reply encoders the simulator answers with.
#include "link/DiagCatalogPbook.h"

#include <algorithm>

namespace kv {

using namespace pb_layout;

void EncodePbName(const std::string& name, PbRecord& rec)
{
    rec.name.fill(0);
    const bool wide = std::any_of(name.begin(), name.end(), [](char c) { return uint8_t(c) >= 0x80; });
    if (!wide) {
        const size_t n = std::min(name.size(), kNameMax);
        std::copy_n(name.begin(), n, rec.name.begin());
        rec.nameLength = uint8_t(n);
        return;
    }
    const size_t n = std::min(name.size(), kNameMax - 1);
    rec.name[0] = kPbNameWideMarker;
    std::copy_n(name.begin(), n, rec.name.begin() + 1);
    // count the 16-bit units after the marker up to the first zero unit
    size_t units = 0;
    while (1 + 2 * units + 1 < kNameMax && (rec.name[1 + 2 * units] || rec.name[2 + 2 * units]))
        ++units;
    rec.nameLength = uint8_t(std::min(2 * units + 1, kNameMax));
}

void EncodePbRecord(const PbRecord& rec, uint8_t* out)
{
    std::fill_n(out, kRecordSize, 0);
    out[kStorage] = rec.storage;
    PutU32(out, kIndex, rec.index);
    const size_t n = std::min({size_t(rec.numberLength), kNumberMax, rec.number.size()});
    out[kNumberLength] = uint8_t(n);
    PutText(out, kNumber, kNumberMax, rec.number.substr(0, n));
    out[kNameLength] = uint8_t(std::min(size_t(rec.nameLength), kNameMax));
    std::copy(rec.name.begin(), rec.name.end(), out + kName);
}

void DecodePbRecord(const uint8_t* in, PbRecord& rec)
{
    rec.storage = in[kStorage];
    rec.index = GetU32(in, kIndex);
    rec.numberLength = uint8_t(std::min<size_t>(in[kNumberLength], kNumberMax));
    rec.number.assign(reinterpret_cast<const char*>(in + kNumber), rec.numberLength);
    rec.nameLength = uint8_t(std::min<size_t>(in[kNameLength], kNameMax));
    std::copy_n(in + kName, kNameMax, rec.name.begin());
}

uint16_t PbStorageWord(uint8_t storageCode)
{
    return storageCode == kPbStorageRuim ? kPbWordRuim : kPbWordMemory;
}

DiagRequest BuildPbInfoReq(uint8_t storageCode)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_PBOOK, KVA_SUB_PB_INIT, kInitLength);
    r.bytes[kReqStorage] = storageCode;
    PutU16(r.bytes.data(), kReqStorageWord, PbStorageWord(storageCode));
    return r;
}

bool BuildPbWriteReq(const PbRecord& rec, DiagRequest& out)
{
    if (rec.nameLength > kNameMax || rec.numberLength > kNumberMax)
        return false;
    DiagRequest r = BuildVendorReq(KVA_CMD_PBOOK, KVA_SUB_PB_WRITE, kWriteBaseLength + rec.nameLength);
    uint8_t record[kRecordSize];
    EncodePbRecord(rec, record);
    // the request carries the record only up to the end of the name
    std::copy_n(record, size_t(r.length) - kRecordOffset, r.bytes.begin() + kRecordOffset);
    out = r;
    return true;
}

bool BuildPbReadReq(uint16_t storageWord, uint8_t count, DiagRequest& out)
{
    if (count == 0 || count > kMaxReadCount)
        return false;
    DiagRequest r = BuildVendorReq(KVA_CMD_PBOOK, KVA_SUB_PB_READ, kReadLength);
    PutU16(r.bytes.data(), kReadStorageWord, storageWord);
    r.bytes[kReadCount] = count;
    out = r;
    return true;
}

DiagRequest BuildPbDelReq(uint8_t storageCode, uint32_t index)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_PBOOK, KVA_SUB_PB_DEL, kDelLength);
    r.bytes[kDelStorage] = storageCode;
    PutU32(r.bytes.data(), kDelIndex, index);
    return r;
}

DiagRequest BuildPbDelAllReq(uint8_t storageCode)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_PBOOK, KVA_SUB_PB_DEL_ALL, kDelAllLength);
    r.bytes[kDelStorage] = storageCode;
    return r;
}

bool ParsePbInfoReply(const uint8_t* reply, size_t length, PbInfoReply& out)
{
    ReplyView r{reply, length};
    if (!CheckVendorReply(r, KVA_CMD_PBOOK, KVA_SUB_PB_INIT))
        return false;
    out = PbInfoReply{};
    out.result = r.U16(kVendorResultOffset);
    if (!r.Has(kInfoReplyLength))
        return out.result != 0;
    out.maxRecord = r.U16(kMaxRecord);
    out.recordInUse = r.U16(kRecordInUse);
    out.pbLen = r.U16(kPbLen);
    return true;
}

bool ParsePbReadReply(const uint8_t* reply, size_t length, size_t wanted, PbReadReply& out)
{
    ReplyView r{reply, length};
    if (wanted > kMaxReadCount || !CheckVendorReply(r, KVA_CMD_PBOOK, KVA_SUB_PB_READ)
        || !r.Has(kReadRecords + wanted * kRecordSize))
        return false;
    out = PbReadReply{};
    out.result = r.U16(kVendorResultOffset);
    out.records.resize(wanted);
    for (size_t i = 0; i < wanted; ++i)
        DecodePbRecord(reply + kReadRecords + i * kRecordSize, out.records[i]);
    return true;
}

bool ParsePbResult(const uint8_t* reply, size_t length, uint16_t sub, uint16_t& result)
{
    return ParseVendorResult(reply, length, KVA_CMD_PBOOK, sub, result);
}

bool ParsePbWriteReq(const uint8_t* req, size_t length, PbRecord& out)
{
    if (req == nullptr || length < size_t(kWriteBaseLength) || length > kRecordOffset + kRecordSize)
        return false;
    uint8_t record[kRecordSize] = {};
    std::copy_n(req + kRecordOffset, length - kRecordOffset, record);
    DecodePbRecord(record, out);
    return true;
}

std::vector<uint8_t> EncodePbInfoReply(const PbInfoReply& v)
{
    std::vector<uint8_t> out(kInfoReplyLength, 0);
    out[0] = KVA_CMD_PBOOK;
    PutU16(out.data(), kVendorSubOffset, KVA_SUB_PB_INIT);
    PutU16(out.data(), kVendorResultOffset, v.result);
    PutU16(out.data(), kMaxRecord, v.maxRecord);
    PutU16(out.data(), kRecordInUse, v.recordInUse);
    PutU16(out.data(), kPbLen, v.pbLen);
    return out;
}

std::vector<uint8_t> EncodePbReadReply(const PbReadReply& v)
{
    const size_t n = std::min(v.records.size(), kMaxReadCount);
    std::vector<uint8_t> out(kReadRecords + n * kRecordSize, 0);
    out[0] = KVA_CMD_PBOOK;
    PutU16(out.data(), kVendorSubOffset, KVA_SUB_PB_READ);
    PutU16(out.data(), kVendorResultOffset, v.result);
    for (size_t i = 0; i < n; ++i)
        EncodePbRecord(v.records[i], out.data() + kReadRecords + i * kRecordSize);
    return out;
}

} // namespace kv
