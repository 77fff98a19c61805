// CCommPort: the modem's diagnostic serial port and the DIAG transaction.
//
// The port object knows bytes; the frame and the transaction (EncodeFrame,
// DecodeFrame, Transact) are operations of the same object that work on its
// buffers. On Linux the port is a tty opened raw 8N1 (termios), exclusively
// (TIOCEXCL plus flock, which holds for root too). COMn is the symlink
// <settings dir>/dosdevices/comN ($KORVIANET_DOSDEVICES names another
// folder); SetDevicePath() opens a given tty instead.
//
// A reader thread plays the serial driver: it polls the tty (and a wake-up
// descriptor used by ClosePort), moves arriving bytes into a 4096-byte
// driver queue (full, it drops its oldest bytes) and reports the event character (0x7E) as EV_RXFLAG: it sets
// the rx-ready event, or in notify mode posts the trace message to the
// owner. It never spins: a hung-up tty (the modem pulled out) is re-checked
// on a one-second back-off until ClosePort asks the thread to leave. A
// hang-up (POLLHUP, EOF, EIO) is kept in HungUp() until the port is closed:
// a transaction waiting for its answer returns at once, and every later one
// fails without writing. Closing the port, or CancelTransaction() (a stop),
// wakes a waiting transaction the same way: it fails at once instead of
// waiting out its time-out.
//
// Sharing the port with the AT-command path: every Transact runs inside the
// port's exchange lock. An AT exchange (write a command, read the reply)
// takes the same lock with TryBeginExchange(); when a DIAG transaction is in
// flight it gets false and skips that poll instead of blocking the UI thread
// or consuming the transaction's answer. ExchangeGuard does it RAII-style.
//
// A closed port is inert: every operation fails with its "nothing done"
// value and touches no descriptor, so a write after ClosePort can never
// reach a file that reused the descriptor's number.
#pragma once

#include "link/DiagCatalog.h"
#include "link/TransactPause.h"
#include "platform/Event.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv {

// Comm events the reader reports.
constexpr uint16_t EV_RXCHAR = 0x0001;
constexpr uint16_t EV_RXFLAG = 0x0002;
// Purge flags (abort and clear both directions).
constexpr uint32_t kPurgeAll = 0x0F;
// The trace message posted to the owner in notify mode (wParam = port
// handle, lParam = 4).
constexpr uint32_t kTracePacketMessage = 0x5F4;
constexpr intptr_t kTracePacketParam = 4;

// DiagResult of Transact.
constexpr uint8_t kDiagAnswered = 0;
constexpr uint8_t kDiagNotWritten = 1;
constexpr uint8_t kDiagNothingRead = 2;
constexpr uint8_t kDiagTimedOut = 3;
constexpr uint8_t kDiagNoMatch = 4;

// Buffer sizes of the transaction.
constexpr size_t kTxFrameSize = 4097;
constexpr size_t kPayloadSize = 4096;
constexpr size_t kRxBufferSize = 10240;
constexpr size_t kDriverQueueSize = 4096;
// Pause after the first flag byte so the rest of the answer can arrive.
constexpr int kRxSettleMs = 50;
// Reader thread's waits on the reader release event.
constexpr int kReleaseWaitMs = 3000;
constexpr int kNotifyReleaseWaitMs = 300;
// Back-off of the reader on a hung-up tty.
constexpr int kHangupBackoffMs = 1000;
// A write waiting for room in the tty looks this often whether the port was
// closed or the transaction cancelled.
constexpr int kWriteWaitSliceMs = 100;

// DTR control modes of the line settings.
enum class DtrControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };

// The owner window, as the port sees it.
class ICommPortOwner {
public:
    virtual ~ICommPortOwner() = default;
    virtual void PostPortMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
};

struct PortSettings {
    uint32_t baudRate = 115200;
    uint8_t byteSize = 8;
    uint8_t parity = 0; // 0 none, 1 odd, 2 even
    uint32_t portNumber = 1;
    uint32_t flagA = 1; // carried, never used on the line
    uint8_t stopBits = 0; // 0 one, 1 one and a half (treated as two), 2 two
    uint32_t flagB = 1;
    uint32_t flagC = 1;
    uint16_t eventMask = 0;
};

// The line settings last applied (the device control block).
struct LineSettings {
    uint8_t eventChar = 0;
    uint32_t baudRate = 115200;
    uint8_t byteSize = 8;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    DtrControl dtrControl = DtrControl::Enable;
};

class CCommPort {
public:
    CCommPort();
    ~CCommPort();
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    // ---- port ------------------------------------------------------------
    int OpenPort();   // 1 on success, 0 on failure (also when already open)
    int ClosePort();  // 0 when the port was not open, else 1
    // Stores the settings and, on an open port, applies them. Non-zero when
    // applied; on a closed port only the stored settings change (result 0).
    int ConfigureLine(uint8_t eventChar, uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                      uint8_t stopBits, uint32_t flags);
    // Bytes the driver holds, at most maxLength; 0 on error or nothing waiting.
    int ReadAvailable(uint8_t* buffer, int maxLength);
    int WriteBytes(const uint8_t* buffer, int length); // bytes written, 0 on failure
    int WriteByte(uint8_t byte);
    int WriteString(const char* text);                  // zero-terminated
    int SetDtr(bool raise); // 2 under DTR handshake (nothing done), else 0
    int Purge();            // non-zero on success
    int ApplyEventMask();   // applies PortSettings::eventMask; non-zero on success
    int ClearEventMask();   // applies an empty mask, waking the reader

    // ---- setters -----------------------------------------------------------
    void SetPortNumber(uint32_t port);
    void SetBaudRate(uint32_t baud) { m_settings.baudRate = baud; }
    void SetEventMask(uint16_t mask) { m_settings.eventMask = mask; }
    void SetOwner(ICommPortOwner* owner) { m_pOwner.store(owner); }
    void SetNotifyMode(bool on) { m_bNotifyMode.store(on); }
    void SetDtrControl(DtrControl mode) { m_line.dtrControl = mode; }
    // A tty path that OpenPort uses instead of COMn (empty: COMn again).
    void SetDevicePath(const std::string& path) { m_strDevicePath = path; }

    // ---- state ---------------------------------------------------------------
    bool IsOpen() const { return m_bOpen.load(); }
    bool OpenFailed() const { return m_bOpenFailed; }
    // Why the last OpenPort failed, for the user's message (0 after a
    // success): EACCES no permission, EBUSY another program holds the port,
    // ENOTTY not a serial port, otherwise the errno of open().
    int OpenError() const { return m_openError; }
    bool NotifyMode() const { return m_bNotifyMode.load(); }
    bool HungUp() const { return m_bHungUp.load(); }
    uint32_t PortNumber() const { return m_dwPort; }
    const PortSettings& Settings() const { return m_settings; }
    const LineSettings& Line() const { return m_line; }
    // The path OpenPort would open now.
    std::string DevicePathToOpen() const;
    // <settings dir>/dosdevices/comN, or $KORVIANET_DOSDEVICES/comN.
    static std::string ComDevicePath(uint32_t port);

    CEvent& RxReady() { return m_evRxReady; }
    CEvent& ReaderRelease() { return *m_pevRelease; }
    CEvent& ReaderExited() { return *m_pevExited; }

    // ---- exchange lock (DIAG transaction vs. AT exchange) --------------------
    bool TryBeginExchange() { return m_exchange.try_lock(); }
    void BeginExchange() { m_exchange.lock(); }
    void EndExchange() { m_exchange.unlock(); }
    class ExchangeGuard {
    public:
        explicit ExchangeGuard(CCommPort& port) : m_port(port), m_bOwned(port.TryBeginExchange()) {}
        ~ExchangeGuard() { if (m_bOwned) m_port.EndExchange(); }
        ExchangeGuard(const ExchangeGuard&) = delete;
        ExchangeGuard& operator=(const ExchangeGuard&) = delete;
        bool Owned() const { return m_bOwned; }
    private:
        CCommPort& m_port;
        bool m_bOwned;
    };

    // ---- DIAG frame and transaction ---------------------------------------
    void EncodeFrame(const uint8_t* data, int length);
    int DecodeFrame(const uint8_t* piece, int length); // 1 when the FCS is good
    // One transaction. response holds responseSize bytes; the payload copied
    // there is cut to that size. Returns the DiagResult.
    uint8_t Transact(const uint8_t* request, uint8_t* response, size_t responseSize, int length,
                     uint32_t timeoutMs);
    uint8_t Transact(const DiagRequest& request, uint8_t* response, size_t responseSize)
    {
        return Transact(request.Data(), response, responseSize, request.length, request.timeoutMs);
    }
    // Wakes a transaction that waits for its answer (or for room to write
    // its request): it fails at once with kDiagTimedOut. Only the one under
    // way is cut short; the next transaction runs as usual. Any thread.
    void CancelTransaction();
    // Bytes the last Transact copied into the response (0 unless answered).
    size_t LastResponseLength() const { return m_nLastResponseLength; }

    // The pause between writing a request and waiting for its answer.
    CTransactPause& TransactPause() { return SharedTransactPause(); }

    const uint8_t* TxFrame() const { return m_txFrame.data(); }
    int TxFrameLength() const { return m_nTxFrameLength; }
    const uint8_t* Payload() const { return m_payload.data(); }
    int PayloadLength() const { return m_nPayloadLength; }

private:
    void ReaderThread();
    void WakeReader();
    bool ApplyTermios(int fd) const;
    // Moves what the tty holds into the driver queue (queue lock held).
    // Returns the events seen; sets hang-up on EOF/EIO.
    uint16_t PullLocked(int fd);
    // The line hung up (device gone): remembered until the port is closed,
    // and a waiting transaction is woken.
    void MarkHungUp();

    // descriptor and its guard: I/O takes it shared, ClosePort exclusive
    mutable std::shared_mutex m_fdGuard;
    int m_fd = -1;
    int m_wakeFd = -1;

    uint32_t m_dwPort = 1;
    std::atomic<bool> m_bOpen{false};
    LineSettings m_line;
    std::thread m_reader;
    std::unique_ptr<CEvent> m_pevRelease;
    std::unique_ptr<CEvent> m_pevExited;
    std::atomic<ICommPortOwner*> m_pOwner{nullptr};
    PortSettings m_settings;
    bool m_bOpenFailed = false;
    int m_openError = 0;
    std::string m_strDevicePath;

    std::array<uint8_t, kTxFrameSize> m_txFrame{};
    int m_nTxFrameLength = 0;
    std::array<uint8_t, kPayloadSize> m_payload{};
    int m_nPayloadLength = 0;
    size_t m_nLastResponseLength = 0;

    CEvent m_evRxReady{false, false};
    std::atomic<bool> m_bNotifyMode{false};
    std::atomic<uint16_t> m_activeMask{0};
    std::atomic<bool> m_bHungUp{false};
    std::atomic<bool> m_bInTransact{false};
    std::atomic<bool> m_bCancelWait{false}; // CancelTransaction() during this Transact

    // the driver queue
    std::mutex m_queueLock;
    std::deque<uint8_t> m_queue;
    bool m_bOverflowLogged = false; // one log line per overflow until drained

    std::mutex m_exchange;
};

} // namespace kv
