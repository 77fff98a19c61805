// Pure helpers of the phonebook engine: how names and numbers of the
// modem's 104-byte phonebook record become table text and back, the dial
// string rules checked before every write, and the batch sizes of a read.
#pragma once

#include "link/DiagCatalogPbook.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// Name of a read record from its 65-byte name field, by the first byte:
// below 0x80 plain text; 0x80 the system's own marker (text follows); 0x81
// and 0x82 the card's UCS-2 codings (count, base, one byte per character),
// returned as UTF-8; any other byte with the top bit set: no name.
std::string DecodePbName(const uint8_t* field, size_t fieldSize = pb_layout::kNameMax);

// Expands a 0x81 / 0x82 coded name into its 16-bit units (empty when the
// field is not one of those codings or is cut short).
std::u16string ExpandUcs2Name(const uint8_t* field, size_t fieldSize);
// UTF-8 of 16-bit units up to the first zero unit (surrogate pairs joined,
// lone surrogates become U+FFFD).
std::string Utf16ToUtf8(const std::u16string& units);

// The table's phone_number of a read record: the number bytes (at most 20
// for the card), lower-cased, with every "e" and "?" removed.
std::string PbNumberFromRecord(const PbRecord& rec, bool ruim);

// The dial-string rules (checked on the lower-cased number): no letter but
// the pause "p", no control character and no byte outside ASCII; "+" only
// first; "p" neither first nor last nor twice in a row.
enum class DialCheck { Ok, PlusMisplaced, PauseMisplaced, BadCharacter };
DialCheck CheckDialString(const std::string& number);
// The refusal text of a failed check; "" for Ok.
const char* DialCheckText(DialCheck c);

// A write record for storage type 1 (memory) or 2 (card): storage code 9 or
// 1, the number upper-cased, the name coded. False when the storage type is
// not 1 or 2 or the number does not fit its 32-byte field.
bool MakePbWriteRecord(int storageType, uint32_t index, const std::string& name,
                       const std::string& number, PbRecord& out);

// Storage type of the table (1 memory, 2 card) for a read's storage word.
int PbStorageTypeForWord(uint16_t storageWord);
// Storage word (0xFF01 card, 0 memory) for a table storage type.
uint16_t PbStorageWordForType(int storageType);

// Entries asked for in the batch starting at position of a read of total
// entries: total below 10 → total; the last partial batch → total mod 10;
// otherwise 10.
int PbBatchCount(int total, int position);

// Name limits of the card's page for a name field length PbLen.
int PbRuimNameLimit(int pbLen);
int PbRuimWideNameLimit(int pbLen);

} // namespace kv
