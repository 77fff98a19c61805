// korvianet-cli as a client of the modem's owner on the session bus. While
// the window or "korvianet-cli run" holds the modem, the port is theirs: a
// command then asks the owner (org.korvianet.Korvianet1) instead of opening
// the port, and prints what it would have printed itself. Without a session
// bus, or with nobody owning the name, the command opens the port as before.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <string>

namespace kvcli {

struct BusMessageFree {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using BusMessage = std::unique_ptr<sd_bus_message, BusMessageFree>;

// How long a quick method call may take before the command gives up.
inline constexpr int64_t kBusCallMs = 10000;

class OwnerBus {
public:
    // The session bus when there is one and a process owns the service's
    // name; nullptr otherwise. Both checks are bounded (a few seconds).
    static std::unique_ptr<OwnerBus> Find();
    ~OwnerBus();
    OwnerBus(const OwnerBus&) = delete;
    OwnerBus& operator=(const OwnerBus&) = delete;

    sd_bus* Bus() const { return m_bus; }

    // A method call of the service, ready for its arguments (nullptr when
    // the message cannot be made).
    BusMessage NewCall(const char* method);
    // Sends call and waits at most timeoutMs for the answer. On failure
    // prints the owner's message (or why there was no answer) and returns
    // the exit status its error stands for; kExitOk with reply set otherwise.
    int Send(sd_bus_message* call, int64_t timeoutMs, BusMessage& reply);

    template <class... A>
    int Call(const char* method, int64_t timeoutMs, BusMessage& reply, const char* types = nullptr, A... args)
    {
        BusMessage m = NewCall(method);
        if (!m || (types && sd_bus_message_append(m.get(), types, args...) < 0))
            return Fail(kExitFailure, std::string("cannot build the bus call ") + method);
        return Send(m.get(), timeoutMs, reply);
    }

    // Every property of the service by its name ("Signal1xDbm": -75).
    int GetAll(Json& out, int64_t timeoutMs = kBusCallMs);

private:
    explicit OwnerBus(sd_bus* bus) : m_bus(bus) {}
    sd_bus* m_bus = nullptr;
};

// The exit status for an error the owner (or the bus) answered with.
int ExitForBusError(const std::string& name);

// Reads one value of a basic type (numbers, booleans, texts) as JSON; a
// container is skipped and read as null.
int ReadBasic(sd_bus_message* m, char type, Json& out);
// Reads the variant at the message's position as a JSON value (numbers,
// booleans and texts; anything else is skipped and read as null).
int ReadVariant(sd_bus_message* m, Json& out);
// Reads an a{sv} at the message's position into a JSON object.
int ReadDict(sd_bus_message* m, Json& out);

// A value the owner sent, read without trusting its kind: the text ("" when
// it is none) or the whole number (otherwise when it is none).
std::string TextOf(const Json& values, const char* key);
long long NumberOf(const Json& values, const char* key, long long otherwise = -1);

// The refusal of a command that needs the port itself while an owner runs:
// prints it and returns kExitNoDevice.
int NeedsPortItself(const std::string& what);

} // namespace kvcli
