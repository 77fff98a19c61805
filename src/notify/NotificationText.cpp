#include "notify/NotificationText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kvnotify {

namespace {

std::string WhoOf(const kv::OwnerEvent& e)
{
    if (!e.name.empty())
        return e.name;
    if (!e.number.empty())
        return e.number;
    return "Unknown number";
}

std::string Trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return "";
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string Mb(uint64_t bytes)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f MB", double(bytes) / 1048576.0);
    return buf;
}

} // namespace

std::string FirstLine(const std::string& text)
{
    // Blank leading lines say nothing: the first line with text counts.
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t nl = text.find('\n', pos);
        const std::string line = Trimmed(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (!line.empty() || nl == std::string::npos)
            return line;
        pos = nl + 1;
    }
    return "";
}

std::optional<Notice> NoticeFor(const kv::OwnerEvent& e, bool canReply)
{
    using K = kv::OwnerEventKind;
    Notice n;
    switch (e.kind) {
    case K::SmsReceived:
        n.category = "im.received";
        n.icon = "mail-unread";
        n.summary = WhoOf(e);
        n.body = FirstLine(e.text);
        if (canReply && !e.number.empty())
            n.actions.emplace_back(kActReply, "Reply");
        n.actions.emplace_back(kActMarkRead, "Mark read");
        return n;
    case K::CallIncoming:
        n.category = "call.incoming";
        n.icon = "call-start";
        n.urgency = Urgency::Critical;
        n.expireMs = 0; // stays until answered, declined or over
        n.summary = "Incoming call";
        n.body = e.name.empty() ? WhoOf(e) : e.name + " (" + e.number + ")";
        n.actions.emplace_back(kActAnswer, "Answer");
        n.actions.emplace_back(kActDecline, "Decline");
        return n;
    case K::CallMissed:
        n.category = "call.unanswered";
        n.icon = "call-missed";
        n.summary = "Missed call";
        n.body = e.name.empty() ? WhoOf(e) : e.name + " (" + e.number + ")";
        return n;
    case K::ConnectionUp:
        n.category = "network.connected";
        n.icon = "network-cellular-connected";
        n.summary = "Connection established";
        n.body = e.text;
        n.slot = NoticeSlot::Connection;
        return n;
    case K::ConnectionDown:
        n.category = "network.disconnected";
        n.icon = "network-cellular-offline";
        n.summary = "Connection lost";
        n.body = e.text;
        n.slot = NoticeSlot::Connection;
        return n;
    case K::ConnectionFailed:
        n.category = "network.error";
        n.icon = "network-error";
        n.urgency = Urgency::Critical;
        n.summary = "Connection failed";
        n.body = e.text;
        n.slot = NoticeSlot::Connection;
        return n;
    case K::ModemRemoved:
        n.category = "device.removed";
        n.icon = "modem";
        n.summary = "Modem removed";
        n.body = e.port;
        n.slot = NoticeSlot::Modem;
        return n;
    case K::ModemAdded:
        n.category = "device.added";
        n.icon = "modem";
        n.summary = "Modem back";
        n.body = e.port;
        n.slot = NoticeSlot::Modem;
        return n;
    case K::QuotaWarning:
        // No standard category fits better than a network one.
        n.category = "network";
        n.icon = "dialog-warning";
        n.urgency = e.percent >= 100 ? Urgency::Critical : Urgency::Normal;
        n.summary = "Data quota " + std::to_string(e.percent) + " % used";
        n.body = !e.text.empty() ? e.text : Mb(e.used) + " of " + Mb(e.quota);
        n.slot = NoticeSlot::Quota;
        return n;
    case K::CallAnswered:
    case K::CallEnded:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace kvnotify

namespace kvnotify {

std::string BusText(const std::string& text, size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len > 0 && i + len <= text.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            ok = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)
                   || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            ok = false;
        std::string piece;
        if (!ok) {
            piece = "\xEF\xBF\xBD";
            len = 1;
        } else if (cp < 0x20 || cp == 0x7F) {
            if (cp == '\n' || cp == '\t')
                piece.assign(1, char(cp));
        } else {
            piece = text.substr(i, len);
        }
        if (out.size() + piece.size() > maxBytes)
            break;
        out += piece;
        i += len;
    }
    return out;
}

std::string MarkupEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace kvnotify
