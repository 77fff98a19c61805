// Name codings, number clean-up and dial-string rules of the phonebook.
#include "contacts/PbCoding.h"

#include "contacts/PbTexts.h"
#include "data/DataConstants.h"

#include <algorithm>
#include <cctype>

namespace kv {

namespace {

constexpr uint8_t kCodingUcs2Base8 = 0x81;  // count, base / 128, characters
constexpr uint8_t kCodingUcs2Base16 = 0x82; // count, 16-bit base, characters
constexpr size_t kExpandedMaxBytes = 229;   // the expanded name never exceeds this

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string TextUpToZero(const uint8_t* p, size_t n)
{
    const uint8_t* end = std::find(p, p + n, uint8_t(0));
    return std::string(reinterpret_cast<const char*>(p), size_t(end - p));
}

} // namespace

std::u16string ExpandUcs2Name(const uint8_t* field, size_t fieldSize)
{
    std::u16string units;
    if (fieldSize < 2 || (field[0] != kCodingUcs2Base8 && field[0] != kCodingUcs2Base16))
        return units;
    const size_t n = field[1];
    size_t pos = 0;
    uint16_t base = 0;
    if (field[0] == kCodingUcs2Base8) {
        if (fieldSize < 3)
            return units;
        base = uint16_t(field[2] * 128u);
        pos = 3;
    } else {
        if (fieldSize < 4)
            return units;
        base = uint16_t((field[2] << 8) | field[3]);
        pos = 4;
    }
    for (size_t i = 0; i < n && pos < fieldSize && units.size() * 2 < kExpandedMaxBytes; ++i, ++pos) {
        const uint8_t c = field[pos];
        units += c < 0x80 ? char16_t(c) : char16_t(uint16_t(base + (c & 0x7F)));
    }
    return units;
}

std::string Utf16ToUtf8(const std::u16string& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u == 0)
            break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00
            && units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string DecodePbName(const uint8_t* field, size_t fieldSize)
{
    if (fieldSize == 0)
        return {};
    const uint8_t first = field[0];
    if (first < 0x80)
        return TextUpToZero(field, fieldSize);
    if (first == kPbNameWideMarker)
        return TextUpToZero(field + 1, fieldSize - 1);
    if (first == kCodingUcs2Base8 || first == kCodingUcs2Base16)
        return Utf16ToUtf8(ExpandUcs2Name(field, fieldSize));
    return {};
}

std::string PbNumberFromRecord(const PbRecord& rec, bool ruim)
{
    size_t n = std::min<size_t>(rec.numberLength, rec.number.size());
    if (ruim)
        n = std::min(n, kPbRuimNumberMax);
    std::string raw = TextUpToZero(reinterpret_cast<const uint8_t*>(rec.number.data()), n);
    std::string out;
    out.reserve(raw.size());
    for (char ch : raw) {
        const char lower = char(std::tolower(static_cast<unsigned char>(ch)));
        if (lower == 'e' || lower == '?')
            continue;
        out += lower;
    }
    return out;
}

DialCheck CheckDialString(const std::string& number)
{
    std::string s = number;
    for (char& ch : s)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    const size_t n = s.size();
    // Letters first: a pasted word is refused as what it is, whatever "+"
    // or "p" it holds.
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u >= 0x7F || (u >= 'a' && u <= 'z' && u != 'p'))
            return DialCheck::BadCharacter;
    }
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == '+' && i != 0)
            return DialCheck::PlusMisplaced;
        if (s[i] != 'p')
            continue;
        if (i == 0)
            return DialCheck::PauseMisplaced;
        if (i == 1) {
            if (s[0] == '+')
                return DialCheck::PauseMisplaced;
            continue; // second after any other first character: accepted
        }
        if (i + 1 == n || s[i - 1] == 'p' || s[i + 1] == 'p')
            return DialCheck::PauseMisplaced;
    }
    return DialCheck::Ok;
}

const char* DialCheckText(DialCheck c)
{
    switch (c) {
    case DialCheck::PlusMisplaced: return pbtext::kDialPlusFail;
    case DialCheck::PauseMisplaced: return pbtext::kDialPauseFail;
    case DialCheck::BadCharacter: return pbtext::kDialCharFail;
    default: return "";
    }
}

bool MakePbWriteRecord(int storageType, uint32_t index, const std::string& name,
                       const std::string& number, PbRecord& out)
{
    if (storageType != kPbookMemory && storageType != kPbookRuim)
        return false;
    if (number.size() > pb_layout::kNumberMax)
        return false;
    out = PbRecord{};
    out.storage = storageType == kPbookRuim ? kPbStorageRuim : kPbStorageMemory;
    out.index = index;
    out.number = number;
    for (char& ch : out.number)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    out.numberLength = uint8_t(out.number.size());
    EncodePbName(name, out);
    return true;
}

int PbStorageTypeForWord(uint16_t storageWord)
{
    return storageWord == kPbWordRuim ? kPbookRuim : kPbookMemory;
}

uint16_t PbStorageWordForType(int storageType)
{
    return storageType == kPbookRuim ? kPbWordRuim : kPbWordMemory;
}

int PbBatchCount(int total, int position)
{
    constexpr int kBatch = int(pb_layout::kMaxReadCount);
    if (total < kBatch)
        return total;
    if (total < position + kBatch)
        return total % kBatch;
    return kBatch;
}

int PbRuimNameLimit(int pbLen) { return std::max(0, pbLen - 1); }

int PbRuimWideNameLimit(int pbLen)
{
    const int v = std::max(0, (pbLen - 1) / 2 - 1);
    return v & ~1;
}

} // namespace kv
