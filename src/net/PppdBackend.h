// The dial-up service over pppd: the phonebook is a folder of pppd option
// files (PppdPhonebook.h), a dial runs `pppd call <profile> file <entry>
// file <account> nodetach` as a child process (the profile is root's, the
// rest the user's: PppdPeers.h)
// whose log lines (PppdOutput.h) become the connection states, and the
// statistics come from the ppp interface's counters in sysfs. A ppp link
// that another dialler opened over one of the modem's ttys is listed as a
// connection too, so the connection manager can adopt it.
#pragma once

#include "net/PppdPhonebook.h"
#include "net/RasBackend.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace kvnet {

class CPppdBackend : public IRasBackend {
public:
    struct Config {
        std::string phonebookRoot; // folder holding "PINGPB"; "" : the settings folder
        std::string pppdPath;      // "" : $KORVIANET_PPPD, else pppd from PATH, else /usr/sbin/pppd
        std::string sysfsRoot;     // "" : $KORVIANET_SYSFS_ROOT, else /sys
        std::string runDir = "/run";  // pppd's pid files ("ppp0.pid")
        std::string procRoot = "/proc";
        std::string lockDir = "/var/lock"; // tty locks ("LCK..ttyUSB0")
        // The modem's data ttys as dial-up devices ("KORVIA ... (ttyUSB0)");
        // empty: found from the USB serial interfaces in sysfs.
        std::function<std::vector<RasDeviceInfo>()> devices;
        int hangUpWaitMs = 3000;   // SIGTERM, then SIGKILL after this
        // Where each running pppd of ours is recorded (PppdPidFile.h); "" :
        // the private runtime folder.
        std::string runtimeDir;
    };

    explicit CPppdBackend(Config config);
    ~CPppdBackend() override;

    // The pppd program a dial runs.
    std::string PppdProgram() const;

    int EnumDevices(size_t capacity, std::vector<RasDeviceInfo>& out, size_t& needed) override;
    int ValidateEntryName(const std::string& phonebook, const std::string& entry) override;
    int GetEntryProperties(const std::string& phonebook, const std::string& entry, RasEntry& out) override;
    int SetEntryProperties(const std::string& phonebook, const std::string& entry, const RasEntry& props) override;
    int GetEntryDialParams(const std::string& phonebook, RasDialParams& inOut) override;
    int SetEntryDialParams(const std::string& phonebook, const RasDialParams& params) override;
    int Dial(const std::string& phonebook, const RasDialParams& params, RasNotifier notifier,
             RasHandle& handle) override;
    int GetConnectStatus(RasHandle handle, RasConnStatus& out) override;
    int EnumConnections(size_t capacity, std::vector<RasConnInfo>& out, size_t& needed) override;
    int HangUp(RasHandle handle) override;
    int GetErrorString(int error, std::string& text) override;
    bool HasStatistics() const override { return true; }
    int GetConnectionStatistics(RasHandle handle, RasStats& out) override;
    int ClearConnectionStatistics(RasHandle handle) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Conn {
        std::string entry;
        std::string deviceName;
        std::string iface;
        uint32_t state = 0;
        int error = 0;
        bool up = false;
        bool ended = false;   // pppd exited / link down
        bool outside = false; // another dialler's link
        pid_t pid = -1;       // pppd, also its process group
        pid_t keeper = -1;    // our child between us and pppd (PppdKeeper.h)
        int lifeline = -1;
        int outFd = -1;
        RasNotifier notifier;
        Clock::time_point connectedAt;
        uint64_t rxBase = 0, txBase = 0;
        std::thread reader;
    };

    void ReadOutput(RasHandle h, int fd, pid_t keeper);
    // What the last failed dial named, for its error text.
    struct Failure {
        int code = 0;
        std::string subject;
        std::string line;
    };
    void Fail(Conn& c, int error, const std::string& subject = {}, const std::string& line = {}); // lock held
    bool ReadCounters(const std::string& iface, uint64_t& rx, uint64_t& tx) const;
    void ScanOutsideLinks(); // lock held
    // Which of the modem's ttys pppd pid holds ("" : none of them).
    std::string TtyOfPppd(pid_t pid, const std::vector<RasDeviceInfo>& devices) const;
    std::string SysRoot() const;

    Config m_cfg;
    CPppdPhonebook m_book;
    std::string m_runtimeDir;
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::map<RasHandle, std::shared_ptr<Conn>> m_conns;
    RasHandle m_next = 0x7100;
    Failure m_failure;
};

} // namespace kvnet
