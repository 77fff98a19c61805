// Phonebook records of the DIAG catalog (vendor command KVA_CMD_PBOOK,
// 0xD1): info, write, read in batches, delete, delete all, and the 104-byte
// phonebook record used by write requests and read replies.
#pragma once

#include "link/DiagCatalog.h"

namespace kv {

constexpr uint8_t kPbStorageRuim = 1;     // storage code of the card's phonebook
constexpr uint8_t kPbStorageMemory = 9;   // storage code of the modem's phonebook
constexpr uint16_t kPbWordRuim = 0xFF01;  // storage word of the card's phonebook
constexpr uint16_t kPbWordMemory = 0;
constexpr uint8_t kPbNameWideMarker = 0x80;

namespace pb_layout {
// the record
constexpr size_t kRecordSize = 104;
constexpr size_t kStorage = 0, kIndex = 1, kNumberLength = 5, kNumber = 6, kNameLength = 38,
                 kName = 39;
constexpr size_t kNumberMax = 32, kNameMax = 65;
// requests
constexpr size_t kReqStorage = 3, kReqStorageWord = 4;      // info: code at 3, word at 4
constexpr size_t kReadStorageWord = 3, kReadCount = 5;      // read
constexpr size_t kDelStorage = 3, kDelIndex = 4;            // delete
constexpr size_t kRecordOffset = 3;                         // write: record from 3
constexpr int kInitLength = 6, kReadLength = 6, kDelLength = 8, kDelAllLength = 4;
constexpr int kWriteBaseLength = 42;                        // + name length
constexpr size_t kMaxReadCount = 10;
// replies
constexpr size_t kMaxRecord = 5, kRecordInUse = 7, kPbLen = 9, kInfoReplyLength = 11;
constexpr size_t kReadRecords = 5, kReadReplyMax = 5 + kMaxReadCount * kRecordSize; // 1045
} // namespace pb_layout

// One phonebook record. storage: the storage code (9 or 1) in a write
// request, read_status (0 = present) in a read reply.
struct PbRecord {
    uint8_t storage = 0;
    uint32_t index = 0;
    uint8_t numberLength = 0;  // clamped to 32 when read
    std::string number;        // numberLength bytes
    uint8_t nameLength = 0;    // clamped to 65 when read (reserved in read replies)
    std::array<uint8_t, pb_layout::kNameMax> name{}; // raw name field
};

// Name coding for a write: a name of bytes below 0x80 is stored as is
// (length = byte count); any byte of 0x80 or above makes it the marker 0x80
// plus the bytes (at most 64), length = byte count rounded up to even + 1.
// Names longer than the field are cut.
void EncodePbName(const std::string& name, PbRecord& rec);

void EncodePbRecord(const PbRecord& rec, uint8_t* out104);
// Reads a record from 104 bytes; the number length is clamped to 32 and
// the name length to 65.
void DecodePbRecord(const uint8_t* in104, PbRecord& rec);

// The storage word of the read request for a storage code (1 → 0xFF01, else 0).
uint16_t PbStorageWord(uint8_t storageCode);

DiagRequest BuildPbInfoReq(uint8_t storageCode);
// False when the record's name length is above 65 or the number above 32.
bool BuildPbWriteReq(const PbRecord& rec, DiagRequest& out);
// count 1..10; false otherwise.
bool BuildPbReadReq(uint16_t storageWord, uint8_t count, DiagRequest& out);
DiagRequest BuildPbDelReq(uint8_t storageCode, uint32_t index);
DiagRequest BuildPbDelAllReq(uint8_t storageCode);

struct PbInfoReply {
    uint16_t result = 0;
    uint16_t maxRecord = 0;
    uint16_t recordInUse = 0;
    uint16_t pbLen = 0;
};
struct PbReadReply {
    uint16_t result = 0;
    std::vector<PbRecord> records;
};

// Info reply: a non-zero result may stop after the header (only result set).
bool ParsePbInfoReply(const uint8_t* reply, size_t length, PbInfoReply& out);
// Read reply with `wanted` records (1..10): false unless all of them are
// present (a short batch is a failed exchange).
bool ParsePbReadReply(const uint8_t* reply, size_t length, size_t wanted, PbReadReply& out);
// Write, delete and delete-all replies carry only a result.
bool ParsePbResult(const uint8_t* reply, size_t length, uint16_t sub, uint16_t& result);

// Request side, for the simulator.
bool ParsePbWriteReq(const uint8_t* req, size_t length, PbRecord& out);

std::vector<uint8_t> EncodePbInfoReply(const PbInfoReply& v);
std::vector<uint8_t> EncodePbReadReply(const PbReadReply& v);

} // namespace kv
