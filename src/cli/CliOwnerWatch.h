// Following the owner of the modem while a command waits on it ("call",
// "connect"): its properties kept current from PropertiesChanged, its
// signals queued in order. Everything runs on the command's thread: the bus
// is read only inside Until.
#pragma once

#include "cli/CliBus.h"

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kvcli {

class OwnerWatch {
public:
    explicit OwnerWatch(OwnerBus& bus) : m_bus(bus) {}
    ~OwnerWatch();
    OwnerWatch(const OwnerWatch&) = delete;
    OwnerWatch& operator=(const OwnerWatch&) = delete;

    // Subscribes, then reads every property. On failure prints why and
    // returns the exit status; kExitOk otherwise.
    int Start();

    std::string Text(const char* name) const;
    long long Number(const char* name) const; // -1 when unknown

    // Reads the bus until done() holds, stop turns true or ms pass (ms < 0:
    // no limit). Returns done().
    bool Until(const std::function<bool()>& done, int64_t ms, const std::atomic<bool>* stop = nullptr);

    // The signals heard since the last call, oldest first.
    std::vector<std::pair<std::string, Json>> TakeEvents();
    // The owner left the bus (or the bus went away).
    bool OwnerGone() const { return m_gone; }

    // For the bus callbacks only.
    void OnChanged(sd_bus_message* m);
    void OnSignal(sd_bus_message* m);
    void OnOwner(sd_bus_message* m);

private:
    bool FromOwner(sd_bus_message* m) const;

    OwnerBus& m_bus;
    sd_bus_slot* m_slots[3] = {};
    std::string m_owner;
    Json m_props = Json::object();
    std::vector<std::pair<std::string, Json>> m_events;
    bool m_gone = false;
};

} // namespace kvcli
