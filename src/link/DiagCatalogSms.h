// SMS records of the DIAG catalog (vendor command KVA_CMD_SMS, 0xD0):
// send, outbox write, remove, list, set tag, read, send status and storage
// information. Storage codes: 6 the modem's memory, 5 the card.
#pragma once

#include "link/DiagCatalog.h"

namespace kv {

constexpr uint32_t kSmsStorageMemory = 6;
constexpr uint32_t kSmsStorageRuim = 5;
constexpr uint32_t kSmsWireTagRead = 1;
constexpr uint32_t kSmsWireTagUnread = 2;
constexpr uint32_t kSmsWireTagOutbox = 3;
constexpr uint8_t kSmsEncodingAscii = 2;
constexpr uint8_t kSmsEncodingIa5 = 3;
constexpr uint8_t kSmsEncodingUnicode = 4;
constexpr uint8_t kSmsEncodingCodePage = 16;

namespace sms_send_layout {
constexpr size_t kEncoding = 3, kDestLength = 5, kCallbackLength = 6, kTextLength = 7,
                 kDest = 9, kCallback = 45, kText = 81;
constexpr size_t kAddressLen = 36, kTextMax = 229;
constexpr int kLength = 310;
} // namespace sms_send_layout

namespace sms_write_layout {
constexpr size_t kTag = 7, kStorage = 11, kEncoding = 15, kDestLength = 17, kCallbackLength = 18,
                 kTextLength = 19, kDest = 21, kCallback = 57, kText = 93;
constexpr int kLength = 322;
} // namespace sms_write_layout

// Remove (subs 2, 3), set tag (5) and read (6) requests address one slot.
namespace sms_slot_layout {
constexpr size_t kSlot = 3, kStorage = 7, kNewTag = 11;
constexpr int kLength = 11, kSetTagLength = 15;
} // namespace sms_slot_layout

namespace sms_list_layout {
constexpr size_t kRequestStorage = 3;
constexpr int kRequestLength = 7;
constexpr size_t kNumEntries = 5, kStorage = 9, kVoiceIndex = 13, kVoiceActive = 17, kEntries = 21;
constexpr size_t kEntrySize = 8, kEntrySlot = 0, kEntryTag = 4, kMaxEntries = 198;
constexpr size_t kReplyLength = 1605;
} // namespace sms_list_layout

namespace sms_read_layout {
constexpr size_t kTeleservice = 5, kTimeStamp = 9, kEncoding = 13, kVoiceMailCount = 15,
                 kCallbackLength = 16, kDataLength = 18, kCallback = 20, kData = 92;
constexpr size_t kCallbackMax = 72, kDataMax = 229;
constexpr size_t kReplyLength = 321;
} // namespace sms_read_layout

namespace sms_inspect_layout {
constexpr size_t kCloseFlag = 5, kReport = 6, kTl = 8;
constexpr size_t kLength = 10;
} // namespace sms_inspect_layout

namespace sms_info_layout {
constexpr size_t kInited = 5, kMaxSlot = 6;
constexpr size_t kLength = 7;
} // namespace sms_info_layout

// An outgoing message as the SMS page fills it: the texts are raw bytes in
// the message's encoding (UCS-2 units for encoding 4).
struct SmsOutgoing {
    uint8_t encoding = kSmsEncodingAscii;
    std::string destination; // at most 36 bytes
    std::string callback;    // at most 36 bytes
    std::string text;        // at most 229 bytes
};

// Text length of a message: bytes up to the first zero for encodings 2 and
// 16 (and all others), twice the 16-bit units up to the first zero unit for 4.
size_t SmsTextLength(uint8_t encoding, const std::string& text);

// False (request untouched) when an address is longer than 36 bytes or the
// text length is above 229.
bool BuildSmsSendReq(const SmsOutgoing& m, DiagRequest& out);
bool BuildSmsWriteReq(const SmsOutgoing& m, uint32_t storage, DiagRequest& out);
DiagRequest BuildSmsRemoveReq(uint32_t slot, uint32_t storage, bool removeAllPass = false);
DiagRequest BuildSmsListReq(uint32_t storage);
DiagRequest BuildSmsSetTagReq(uint32_t slot, uint32_t storage, uint32_t tag = kSmsWireTagRead);
DiagRequest BuildSmsReadReq(uint32_t slot, uint32_t storage);
DiagRequest BuildSmsInspectReq();
DiagRequest BuildSmsInfoReq();

struct SmsListEntry {
    uint16_t slot = 0;
    uint32_t tag = 0;
};
struct SmsListReply {
    uint16_t result = 0;
    int32_t numEntries = 0; // as reported
    uint32_t storage = 0;
    int32_t voiceIndex = -1;
    uint32_t voiceActive = 0;
    // The entries actually carried: numEntries clamped to 0..198 and to the
    // entries present in the reply.
    std::vector<SmsListEntry> entries;
};

struct SmsReadReply {
    uint16_t result = 0;
    uint32_t teleserviceType = 0;
    uint32_t timeStamp = 0; // seconds since 1980-01-06 00:00:00
    uint8_t encoding = 0;
    uint8_t voiceMailCount = 0;
    uint8_t callbackLengthReported = 0;
    uint16_t dataLengthReported = 0;
    std::string callback; // callback length clamped to 72 and to the reply
    std::string data;     // data length clamped to 229 and to the reply
};

struct SmsInspectReply {
    uint16_t result = 0;
    uint8_t closeFlag = 0;
    uint16_t report = 0;
    uint16_t tl = 0;
};

struct SmsInfoReply {
    uint16_t result = 0;
    uint8_t inited = 0;
    uint8_t smsMaxSlot = 0;
};

// The result of send, write, remove and set-tag replies: ParseVendorResult
// with KVA_CMD_SMS and the request's sub-command.
bool ParseSmsResult(const uint8_t* reply, size_t length, uint16_t sub, uint16_t& result);
// List and read replies: a reply with a non-zero result may stop after its
// header; then only result is set and the call still succeeds. A zero
// result needs the fixed fields.
bool ParseSmsListReply(const uint8_t* reply, size_t length, SmsListReply& out);
bool ParseSmsReadReply(const uint8_t* reply, size_t length, SmsReadReply& out);
bool ParseSmsInspectReply(const uint8_t* reply, size_t length, SmsInspectReply& out);
bool ParseSmsInfoReply(const uint8_t* reply, size_t length, SmsInfoReply& out);

// Request side, for the simulator: fields of a send or write request.
// False when the request is too short; lengths are clamped to their fields.
bool ParseSmsSendReq(const uint8_t* req, size_t length, SmsOutgoing& out);
bool ParseSmsWriteReq(const uint8_t* req, size_t length, SmsOutgoing& out, uint32_t& storage,
                      uint32_t& tag);

std::vector<uint8_t> EncodeSmsListReply(const SmsListReply& v);
std::vector<uint8_t> EncodeSmsReadReply(const SmsReadReply& v);
std::vector<uint8_t> EncodeSmsInspectReply(const SmsInspectReply& v);
std::vector<uint8_t> EncodeSmsInfoReply(const SmsInfoReply& v);

} // namespace kv
