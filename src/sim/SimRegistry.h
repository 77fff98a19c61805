// Registers the simulated modem the way the USB-serial driver registers a
// real one: an instance path of product 6502, interface MI_02 (the
// diagnostic port; MI_00 for the data interface), appended to
// the current driver's device list (with its "Count"), a "PortName" under
// the instance's "Device Parameters", and the dosdevices link comN pointing
// at the pty. Unregistering takes all of it away again but leaves "Count"
// (0 when the list is empty), which is how the driver reports a removal.
#pragma once

#include <string>
#include <utility>

namespace kv::sim {

class SimRegistration {
public:
    // interfaceNumber: the two hex digits of "MI_ii".
    explicit SimRegistration(std::string interfaceNumber = "02") : m_interface(std::move(interfaceNumber)) {}

    // Registers a device served on ttyPath. comNumber 0 picks the lowest free
    // number from 3 (a dosdevices entry that exists, or that points at a
    // vanished /dev/pts node of another simulator, counts as taken / free).
    // The chosen number is kept, so a replug comes back on the same COM.
    bool Register(const std::string& ttyPath, int comNumber = 0);
    void Unregister();

    bool Registered() const { return m_registered; }
    int ComNumber() const { return m_com; }
    const std::string& InstancePath() const { return m_instance; }
    // "<dosdevices>/comN"
    const std::string& LinkPath() const { return m_link; }

private:
    std::string m_interface;
    bool m_registered = false;
    int m_com = 0;
    std::string m_instance;
    std::string m_link;
};

// Removes list entries of simulators whose process is gone (left behind by
// a crash), compacting the list. Called by Register.
void PruneStaleSimulators();

} // namespace kv::sim
