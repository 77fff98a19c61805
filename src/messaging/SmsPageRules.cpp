// The SMS page's rules without windows.
#include "messaging/SmsPageRules.h"

#include "contacts/PbCoding.h"
#include "data/DataConstants.h"
#include "engine/DmCodes.h"
#include "log/DebugLog.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kv::smspage {

uint16_t EffectiveState(uint16_t asked, bool sending)
{
    if (sending)
        return SMS_CALLBACK;
    switch (asked) {
    case SMS_HOME:
    case SMS_COMPOSE:
    case SMS_RECIPIENTS:
    case SMS_CALLBACK:
    case SMS_INBOX_LIST:
    case SMS_INBOX_MSG:
    case SMS_OUTBOX_LIST:
    case SMS_OUTBOX_MSG:
        return asked;
    default:
        return SMS_HOME;
    }
}

// ---------------------------------------------------------------------------
// Lists

bool IsVoiceMailRow(int32_t index, int32_t voiceSlot)
{
    return voiceSlot >= 0 && index == SmsRowIndex(kSmsStoreMemory, voiceSlot);
}

int ListIcon(int32_t index, int tag, bool voiceMail)
{
    if (voiceMail)
        return ICON_VOICE_MAIL;
    const bool ruim = SmsStorageOf(index) == kSmsStoreRuim;
    int base = ICON_MEMORY_READ;
    if (tag == int(kSmsTagUnread))
        base = ICON_MEMORY_UNREAD;
    else if (tag == int(kSmsTagStored))
        base = ICON_MEMORY_STORED;
    else if (tag > int(kSmsTagStored))
        base = ICON_MEMORY_SENT;
    return ruim ? base + ICON_RUIM_READ : base;
}

std::string ListLine(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

std::vector<SmsListItem> BuildInboxItems(const std::vector<SmsRowView>& rows, int32_t voiceSlot,
                                         int voiceCount)
{
    std::vector<SmsListItem> items;
    // Unread messages go to the top; read ones at the mark, which starts
    // where the first read message landed and moves down with each unread
    // one put above it.
    int readMark = -1;
    for (const SmsRowView& r : rows) {
        if (r.tag > int(kSmsTagUnread))
            continue;
        const bool voice = IsVoiceMailRow(r.index, voiceSlot);
        const bool unread = r.tag == int(kSmsTagUnread);
        SmsListItem item;
        item.index = r.index;
        item.icon = ListIcon(r.index, r.tag, voice);
        if (voice) {
            char buf[48];
            if (unread)
                std::snprintf(buf, sizeof buf, "Voice Mail(%d)", voiceCount < 0 ? 0 : voiceCount);
            else
                std::snprintf(buf, sizeof buf, "Voice Mail");
            item.text = buf;
        } else {
            item.text = ListLine(r.text);
        }
        if (unread) {
            items.insert(items.begin(), std::move(item));
            if (readMark >= 0)
                ++readMark;
        } else {
            if (readMark < 0)
                readMark = int(items.size());
            items.insert(items.begin() + readMark, std::move(item));
        }
    }
    return items;
}

std::vector<SmsListItem> BuildOutboxItems(const std::vector<SmsRowView>& rows)
{
    std::vector<SmsListItem> items;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (it->tag <= int(kSmsTagUnread))
            continue;
        items.push_back({it->index, ListIcon(it->index, it->tag, false), ListLine(it->text)});
    }
    return items;
}

// ---------------------------------------------------------------------------
// Home, warnings, counter

HomeCounts ComputeHomeCounts(int lastNewCount, int voiceCount, int memoryCount, int ruimCount)
{
    auto shown = [](int v) { return v < 0 ? 0 : v; };
    HomeCounts c;
    // The voice-mail notification is one of the new messages: it has its own line.
    c.notRead = lastNewCount;
    if (voiceCount > 0 && lastNewCount != 0)
        c.notRead = lastNewCount - 1;
    c.notRead = shown(c.notRead);
    c.voice = shown(voiceCount);
    c.total = shown(memoryCount) + shown(ruimCount);
    return c;
}

std::string StorageWarnings(uint16_t state, int smsMaxSlot, int ruimCount, int listItems)
{
    std::string out;
    char buf[160];
    auto add = [&](const char* fmt, int max, int used) {
        std::snprintf(buf, sizeof buf, fmt, int(int64_t(used) * 100 / max), max, used);
        out += buf;
    };
    const bool homeOrList = state == SMS_HOME || state == SMS_INBOX_LIST || state == SMS_OUTBOX_LIST;
    // 80 % or more, in whole numbers: used * 5 >= max * 4.
    if (homeOrList && smsMaxSlot > 0 && int64_t(ruimCount) * 5 >= int64_t(smsMaxSlot) * 4)
        add("RUIM Memory space has been Used %d%%. (MAX:%d,Use:%d)\n", smsMaxSlot, ruimCount);
    if (int64_t(listItems) * 5 >= int64_t(kBoxCapacity) * 4) {
        if (state == SMS_INBOX_LIST)
            add("InBox Memory space has been Used %d%%. (MAX:%d,Use:%d)\n", kBoxCapacity, listItems);
        else if (state == SMS_OUTBOX_LIST)
            add("OutBox Memory space has been Used %d%%. (MAX:%d,Use:%d)\n", kBoxCapacity, listItems);
    }
    return out;
}

std::string CounterText(int length, int fieldLimit, int asciiLimit)
{
    char buf[32];
    if (length <= 0)
        std::snprintf(buf, sizeof buf, "0/%d", asciiLimit);
    else
        std::snprintf(buf, sizeof buf, "%d/%d", length, fieldLimit);
    return buf;
}

// ---------------------------------------------------------------------------
// Palette

namespace {
// Row by row; the second symbol is a backslash.
constexpr const char* kSymbols[kPaletteSymbols] = {
    "!", "\\", "#", "$", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/",
    ":", ";", "<", "=", ">", "?", "@", "[", "]", "^", "_", "`", "|", "}", "~",
};
} // namespace

const char* PaletteSymbol(int cell) { return cell >= 0 && cell < kPaletteSymbols ? kSymbols[cell] : ""; }

int PaletteCellAt(int x, int y)
{
    const int right = kPaletteLeft + kPaletteColumns * kCellWidth;  // 150
    const int bottom = kPaletteTop + kPaletteRows * kCellHeight + 1; // 90
    if (x < kPaletteLeft || x >= right || y < kPaletteTop || y >= bottom)
        return -1;
    const int col = (x - kPaletteLeft) / kCellWidth;
    const int row = std::min((y - kPaletteTop) / kCellHeight, kPaletteRows - 1);
    return row * kPaletteColumns + col;
}

// ---------------------------------------------------------------------------
// Texts

std::string Utf8Prefix(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string NormalizeCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string MessageTimeText(double seconds, bool afterNext)
{
    constexpr int64_t kEpoch1980 = 315964800; // 1980-01-06 00:00:00 UTC
    const std::time_t t = std::time_t(int64_t(seconds) + kEpoch1980);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[96];
    if (afterNext)
        std::snprintf(buf, sizeof buf, "%s:\n%02d-%02d-%d, %02d:%02d:%02d", "Time", tm.tm_mday, tm.tm_mon + 1,
                      tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    else
        std::snprintf(buf, sizeof buf, "%s:\n%d-%02d-%02d   %02d:%02d:%02d", "Time", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string DeleteStopText(DeleteStop why)
{
    switch (why) {
    case DeleteStop::PageBusy:
        return "The modem is busy with another request.\nThe message was not deleted: please try again.";
    case DeleteStop::ItemGone:
        return "The message list changed while the question was open.\nThe message was not deleted: "
               "please select it again.";
    case DeleteStop::RowMissing:
        return "The message is no longer stored.\nNothing was deleted.";
    case DeleteStop::DbError:
        return "The message list cannot be read (database error).\nThe message was not deleted.";
    }
    return {};
}

std::string DeleteFailureText(uint16_t result, bool all)
{
    const std::string what = all ? "Not every message was deleted." : "The message was not deleted.";
    switch (result) {
    case DM_RESULT_BUSY: return "The modem is busy with another request.\n" + what + " Please try again.";
    case DM_RESULT_EXCHANGE_FAILED: return "The modem did not answer.\n" + what;
    case DM_RESULT_MODEM_REFUSED: return "The modem refused to delete the message.\n" + what;
    case DM_RESULT_ENGINE_STOPPED: return "The modem is not connected.\n" + what;
    case DM_RESULT_BAD_ARGUMENT: return "The message has no place in the modem's memory.\n" + what;
    case DM_RESULT_DB_ERROR:
        return all ? "The message list could not be updated (database error).\nThe list shows what is stored."
                   : "The message was deleted from the modem, but the message list could not be updated "
                     "(database error).";
    default: break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, " (error 0x%04X)", unsigned(result));
    return what + buf;
}

std::string DeleteAllLeftText(int left)
{
    if (left <= 0)
        return {};
    char buf[96];
    std::snprintf(buf, sizeof buf, "The modem did not delete %d message%s.", left, left == 1 ? "" : "s");
    return buf;
}

std::string RecipientRefusal(const std::vector<std::string>& recipients)
{
    for (const std::string& n : recipients) {
        const DialCheck c = CheckDialString(n);
        if (c != DialCheck::Ok)
            return std::string(DialCheckText(c)) + " " + n;
    }
    return {};
}

} // namespace kv::smspage
