// The names Korvianet uses on the session bus: the owner of the modem offers
// its service under these (packaging/dbus/org.korvianet.Korvianet1.xml is the
// interface's description).
#pragma once

namespace kv::bus {

inline constexpr const char* kServiceName = "org.korvianet.Korvianet1";
inline constexpr const char* kObjectPath = "/org/korvianet/Korvianet1";
inline constexpr const char* kInterface = "org.korvianet.Korvianet1";

// The error names; each error's message is the text the window shows.
inline constexpr const char* kErrNotReady = "org.korvianet.Korvianet1.Error.NotReady";
inline constexpr const char* kErrInvalidArgument = "org.korvianet.Korvianet1.Error.InvalidArgument";
inline constexpr const char* kErrAccessDenied = "org.korvianet.Korvianet1.Error.AccessDenied";
inline constexpr const char* kErrBusy = "org.korvianet.Korvianet1.Error.Busy";
inline constexpr const char* kErrRefused = "org.korvianet.Korvianet1.Error.Refused";
inline constexpr const char* kErrNotFound = "org.korvianet.Korvianet1.Error.NotFound";
inline constexpr const char* kErrTimedOut = "org.korvianet.Korvianet1.Error.TimedOut";
inline constexpr const char* kErrDatabase = "org.korvianet.Korvianet1.Error.Database";
inline constexpr const char* kErrFailed = "org.korvianet.Korvianet1.Error.Failed";

} // namespace kv::bus
