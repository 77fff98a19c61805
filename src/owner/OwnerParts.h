// What the owner of the modem (the window or the headless run) lends its
// feed and its actions: the host core, the engine and the families beside
// it, and the way onto its UI thread.
#pragma once

#include <functional>
#include <string>

namespace kvnet {
class CConnectionManager;
}

namespace kv {

class CAppDatabase;
class CDmEngine;
class CHostCore;
class CMessagingServices;
class IDmHost;

struct OwnerParts {
    IDmHost* host = nullptr;               // the engine's host (waits pump there)
    CHostCore* core = nullptr;             // observers, name lookup, the state
    CDmEngine* engine = nullptr;
    CMessagingServices* services = nullptr; // SMS and phonebook families (may be absent)
    CAppDatabase* db = nullptr;            // the user's database (may be absent)
    kvnet::CConnectionManager* net = nullptr; // the data connection (may be absent)
    // Runs fn on the owner's UI thread later (never at once, never blocking).
    std::function<void(std::function<void()>)> post;
    // The start-up chain has ended and the pages are open (UI thread).
    std::function<bool()> startupDone;
    // The modem's tty ("" with discovery: the COM number's path).
    std::string device;
};

} // namespace kv
