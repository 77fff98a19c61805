// The bus service's insides, shared by its thread (BusService.cpp) and its
// object's table of methods and properties (BusObject.cpp). Only the
// service's thread touches a Loop; the Inbox is the one thing other threads
// reach, to queue work for that thread.
#pragma once

#include "bus/BusService.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace kv::bus {

struct CBusService::Inbox {
    using Work = std::function<void(Loop&)>;
    ~Inbox();
    // Queues work for the thread and wakes it; dropped once the thread has
    // left the bus (a done callback that comes too late).
    void Post(Work work);
    // The hub's changes are merged: one pending change holds the latest
    // snapshot and every name changed since the thread last took it, so
    // a burst never overfills the queue and the last value always arrives.
    void PostChange(const OwnerSnapshot& now, const std::vector<std::string>& changed);
    bool TakeChange(OwnerSnapshot& now, std::vector<std::string>& changed);
    void Wake();
    std::deque<Work> Take();
    void Close();

    std::mutex lock;
    bool open = true;
    bool stop = false;
    bool overflowTold = false;
    std::deque<Work> work;
    bool changeQueued = false;
    OwnerSnapshot latest;
    std::vector<std::string> changedNames;
    int wakeFd = -1;
};

struct CBusService::Loop {
    // A method call answered later: the call's message, kept referenced.
    struct Pending {
        sd_bus_message* call = nullptr;
        int64_t deadlineMs = 0;
    };
    using Fill = std::function<int(sd_bus_message* reply)>;

    CBusService* self = nullptr;
    sd_bus* bus = nullptr;
    sd_bus_slot* object = nullptr;
    OwnerSnapshot shown; // what the properties read
    std::string version;
    std::map<uint64_t, Pending> pending;
    uint64_t nextId = 1;

    ~Loop();
    IOwnerActions& Actions() const { return self->m_actions; }
    const std::shared_ptr<Inbox>& Box() const { return self->m_inbox; }
    const BusServiceOptions& Options() const { return self->m_options; }

    // Keeps the call for an answer within timeoutMs; its id for Finish.
    uint64_t Hold(sd_bus_message* call, int timeoutMs);
    // Answers a held call: r's named error, or a return filled by fill
    // (nullptr: no values). A call already answered is left alone.
    void Finish(uint64_t id, const OwnerResult& r, const Fill& fill);
    // Answers the calls whose time is up (TimedOut), or all (Failed).
    void Expire(int64_t nowMs);
    void AnswerAll(const std::string& text);
    // Milliseconds until the next deadline (-1: none).
    int64_t NextDeadlineIn(int64_t nowMs) const;

    void Changed(const OwnerSnapshot& now, const std::vector<std::string>& names);
    void Signal(const OwnerEvent& e);
};

// The object's table (BusObject.cpp).
const sd_bus_vtable* ServiceVtable();
const char* ErrorName(OwnerError e);
int64_t MonotonicMs();

} // namespace kv::bus
