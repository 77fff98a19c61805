// CRasClient: the dial-up client for the one entry of the program. It finds
// the maker's modem among the dial-up devices, creates and updates the entry
// in the private phonebook, stores the user name and password, dials
// asynchronously and reports the progress as text, finds the live
// connection, reads and clears its statistics and hangs up. No policy here:
// the connection manager decides when each operation runs, one at a time.
#pragma once

#include "net/RasBackend.h"
#include "net/RasCodes.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kvnet {

class CRasClient {
public:
    explicit CRasClient(std::shared_ptr<IRasBackend> backend = nullptr);
    ~CRasClient();
    CRasClient(const CRasClient&) = delete;
    CRasClient& operator=(const CRasClient&) = delete;

    // Takes the backend (the process-wide one when none was given); true
    // when there is one.
    bool Init();
    void Unload();
    bool Loaded() const { return m_pBackend != nullptr; }

    int FindModemDevice(std::string& deviceName);
    int CreateEntry(const std::string& entry, const std::string& deviceType, const std::string& deviceName,
                    uint32_t protocols, uint32_t framing, const std::string& phoneNumber,
                    const std::string& phonebook);
    bool SetEntryDevice(const std::string& entry, const std::pair<std::string, std::string>& devicePhone,
                        const std::string& phonebook);
    int SetEntryOptions(const std::string& entry, uint32_t options, bool set, const std::string& deviceType,
                        const std::string& deviceName, const std::string& phonebook);
    int GetEntryProperties(const std::string& phonebook, RasEntry& props, const std::string& entry);
    bool SetDialParams(const std::string& entry, const std::string& userName, const std::string& password,
                       const std::string& phonebook = kPhonebook);
    int Dial(const std::string& entry, const std::string& phoneNumber, const std::string& userName,
             const std::string& password, const std::string& domain, const std::string& phonebook);
    // Nonzero when dialling has ended (connected or disconnected).
    int GetDialState(std::string& text, bool& connected);
    int GetErrorText(int error, int extendedError, std::string& text);
    bool FindConnection(const std::string& entry, RasHandle& handle);
    bool HangUp(const std::string& entry);
    bool GetStatistics(RasStats* stats);
    bool ClearStatistics();

    RasHandle Handle() const { return m_hConn; }
    void SetHandle(RasHandle h) { m_hConn = h; }
    const RasConnStatus& Status() const { return m_status; }

    // The first dial error the notifier recorded (process-wide, as the
    // notifier is): 0 when none.
    static int DialError();
    static int DialExtendedError();
    static void ClearDialError();

private:
    void LogEntryError(int code);

    std::shared_ptr<IRasBackend> m_pBackend;
    std::shared_ptr<IRasBackend> m_pGiven;
    RasHandle m_hConn = 0;
    RasConnStatus m_status;
};

} // namespace kvnet
