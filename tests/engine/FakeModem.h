// A scripted modem behind the engine's link interface: answers every request
// the engine sends from a small model, records what it was asked, fails
// chosen requests on demand and notices two users on the port at once.
#pragma once

#include "engine/DmLink.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kvtest {

class FakeModem : public kv::IDmLink {
public:
    struct Model {
        uint16_t prefMode = 4;
        uint8_t hybrid = 1;
        std::string swVersion = "kv12ab34";
        std::string buildDate = "Jan 02 2024";
        uint16_t hwVersion = 0xab;
        uint32_t esn = 0x8a1b2c3d;
        uint32_t min1 = 123 * 16384 + 4 * 1024 + 567;
        uint16_t min2 = 858;
        std::string dirNumber = "6195550199";
        uint8_t serviceMode = 0x20;
        uint8_t asciiMax = 160, unicodeMax = 70, callbackMax = 32;
        uint8_t inCallVolume = 3, idleVolume = 2;
        uint8_t rxDiversity = 0;       // of the service reply
        uint8_t statusRxDiversity = 0; // of the status record
        int forcedSw = -1;          // sw1 << 8 | sw2 of every verify/unblock reply (-1: by the codes)
        uint8_t forcedRetries = 0;  // its num_of_retries
        // card
        uint8_t connected = 1, uimState = 2, lockState = 1, retryCnt = 3, pukRetry = 10;
        std::string pin = "1234", puk = "12345678";
        // storage
        uint8_t smsInited = 1, smsMaxSlot = 30;
        uint16_t pbResult = 0;
        // status
        uint16_t chgVal = 0, battVal = 3900;
        uint16_t bar[5] = {3400, 3500, 3600, 3700, 3800};
        std::string info = "KV-100 modem";
        uint8_t sysMode = 2, hybridPref = 0, state = 0, curSysmode = 2, roaming = 0;
        int32_t rx1x = -79, rxHdr = -84;
        uint16_t newSms = 0;
        uint16_t rate1x = 450;
        uint8_t hdrRates[8] = {0x35, 0, 0, 0, 0, 0, 0, 0};
    };

    // Open/Close/IsOpen
    bool Open(int comPort, uint32_t baud) override;
    void Close() override;
    bool IsOpen() const override { return m_open.load(); }
    int Transact(const kv::DiagRequest& request, uint8_t* reply, size_t replySize,
                 size_t& replyLength) override;

    template <class F>
    void With(F&& f)
    {
        std::lock_guard<std::mutex> g(m_lock);
        f(m_model);
    }
    // The next `times` requests with this name time out.
    void FailNext(const std::string& name, int times = 1);
    // Every request times out while silent.
    void SetSilent(bool on);
    void SetOpenFails(bool on) { m_openFails = on; }

    std::vector<std::string> Log() const;
    std::vector<std::vector<uint8_t>> RawRequests() const;
    size_t Count(const std::string& name) const;
    // Waits until `name` has been asked `count` times in all (up to timeoutMs).
    bool WaitCount(const std::string& name, size_t count, int timeoutMs = 10000);
    int Opens() const { return m_opens.load(); }
    int Closes() const { return m_closes.load(); }
    bool Overlapped() const { return m_overlap.load(); }
    // Short delay inside each exchange, so that two users would overlap.
    void SetExchangeDelayMs(int ms) { m_delayMs = ms; }
    // Every exchange hangs until the port is closed (20 s at most).
    void SetHang(bool on) { m_hang = on; }
    // The next request with this name hangs until the port is closed or the
    // wait is cancelled (20 s at most); Hanging() while it does.
    void HangNext(const std::string& name);
    bool Hanging() const { return m_hanging.load(); }
    // A stop: the hanging request fails at once.
    void CancelWait() override;

    static std::string NameOf(const kv::DiagRequest& r);

private:
    std::vector<uint8_t> Answer(const std::string& name, const kv::DiagRequest& r);

    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    Model m_model;
    std::vector<std::string> m_log;
    std::vector<std::vector<uint8_t>> m_raw;
    std::map<std::string, int> m_fail;
    bool m_silent = false;
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_openFails{false};
    std::atomic<int> m_opens{0}, m_closes{0};
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_overlap{false};
    std::atomic<int> m_delayMs{2};
    std::atomic<bool> m_hang{false};
    std::string m_hangNext;          // under m_lock
    bool m_cancelled = false;        // under m_lock
    std::atomic<bool> m_hanging{false};
};

} // namespace kvtest
