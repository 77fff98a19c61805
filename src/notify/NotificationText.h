// What a desktop notification of an owner event says: its summary, body,
// category, urgency and actions. Decided here once, for every host.
#pragma once

#include "host/OwnerEvents.h"
#include "version/Version.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvnotify {

// The desktop file's name without ".desktop", for the "desktop-entry" hint.
inline constexpr const char* kDesktopEntry = kv::kDesktopId;
inline constexpr const char* kAppName = "Korvianet";

// Action keys.
inline constexpr const char* kActReply = "reply";
inline constexpr const char* kActMarkRead = "mark-read";
inline constexpr const char* kActAnswer = "answer";
inline constexpr const char* kActDecline = "decline";

// The freedesktop urgency levels.
enum class Urgency : unsigned char { Low = 0, Normal = 1, Critical = 2 };

// Which earlier notification a new one takes the place of, so that "lost"
// replaces "established" rather than stacking up.
enum class NoticeSlot { None, Connection, Modem, Quota };

struct Notice {
    std::string summary;
    std::string body;
    std::string category;
    std::string icon;                                         // icon name, may be ""
    Urgency urgency = Urgency::Normal;
    std::vector<std::pair<std::string, std::string>> actions; // key, label
    int32_t expireMs = -1;                                    // -1: the server decides
    NoticeSlot slot = NoticeSlot::None;
};

// The notification of one event; nothing for the events that have none
// (a call answered or ended only closes the incoming call's notification).
// canReply: a window is there to open the reply in.
std::optional<Notice> NoticeFor(const kv::OwnerEvent& event, bool canReply);

// The first line of a text, its blanks at the ends trimmed.
std::string FirstLine(const std::string& text);

} // namespace kvnotify

namespace kvnotify {

// Text fit for a bus string: invalid UTF-8 bytes become U+FFFD, NULs and
// other control characters but line breaks and tabs are dropped, and the
// text is cut (at a character boundary) after maxBytes.
std::string BusText(const std::string& text, size_t maxBytes = 2000);
// The body as markup for a server that reads it so: &, < and > escaped.
std::string MarkupEscaped(const std::string& text);

} // namespace kvnotify
