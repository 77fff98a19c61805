// The status panel's rules: turn the values the DM engine reports into
// indicator pictures and message-line texts, keeping one state byte per
// indicator so that a repeated value draws nothing and an empty battery
// blinks. The model draws through IStatusView: the main window paints what
// it is told with its controls, the headless host records it. Both hosts run
// this one model, so what the engine tests observe is what the window shows.
//
// Not thread-safe: each host calls it from one thread at a time (the window
// moves the engine thread's calls to its UI thread, the headless host holds
// its view lock).
#pragma once

#include "engine/ModemState.h"

#include <array>
#include <cstdint>
#include <string>

namespace kv {

class IStatusView {
public:
    virtual ~IStatusView() = default;
    virtual void ShowIndicator(int controlId, bool show) = 0;
    virtual bool IndicatorShown(int controlId) const = 0;
    // Loads a skin picture into an indicator control.
    virtual void SetIndicatorBitmap(int controlId, int bitmapId) = 0;
    virtual void Beep() = 0;
    virtual std::string MessageLine() const = 0;
    virtual void SetMessageLine(const std::string& text, bool wrap) = 0;
    // The dial pad is shown and holds a number.
    virtual bool DialPadHoldsNumber() const { return false; }
    // A call text waiting for the message line (taken once).
    virtual bool TakePendingCallText(std::string&) { return false; }
};

class CStatusModel {
public:
    static constexpr uint8_t kUnknown = 255;
    static constexpr int kRateReset = 128; // data rate A: the bar empties
    static constexpr uint8_t kIdleNone = 15;
    static constexpr uint8_t kLevelNoSignal = 7;

    CStatusModel(ModemState& state, IStatusView& view) : m_state(state), m_view(view) {}

    // The initial state of every indicator (window initialisation).
    void InitialState();
    // The device went away: every byte unknown, the no-modem display, and
    // the message line saying so until the next start shows its texts.
    void ResetForRemoval();
    bool Unplugged() const { return m_bUnplugged; }

    void SetIndicator(int id, int value);
    void SetSignal(int id, int value);
    void AppendMessageLine(const std::string& text, bool replace);

    // Timer 101: gives the message line back to its resting text.
    void RestoreMessageLine();
    // Timer 111: the charge blink support.
    void ChargeBlink();
    // The data-rate bar's tooltip for the current connection.
    std::string DataRateTip() const;

    // State bytes, for painting and tests.
    uint8_t Battery() const { return m_battery; }
    uint8_t SignalState() const { return m_signal; }
    int SignalLevel() const { return m_signal >> 4; }
    uint8_t NoSignalCount() const { return m_noSignalCount; }
    uint8_t Service() const { return m_service; }
    uint8_t Sms() const { return m_sms; }
    uint8_t Call() const { return m_call; }
    uint8_t Roaming() const { return m_roaming; }
    uint8_t RxDiversity() const { return m_rxd; }
    uint8_t IdleCode() const { return m_idle; }
    uint8_t LastService() const { return m_lastService; }

    // Bitmap of a signal level (1..5, 7) in the set of id 1041 or 3; 0 none.
    static int SignalBitmap(int setId, int level);
    // Signal level of a value in dBm: 1..5, 7 at -102 and below, 0 above -20.
    static int SignalLevelOf(int dbm);

private:
    void SetBattery(int value);
    void SetService(int value);
    void SetSms(int value);
    void SetCall(int value);
    void SetRoaming(int value);
    void SetRxDiversity(int value);
    void SetCharge(int value);
    void SetEarVolume(int value);
    void SetRateA(int value);
    void SetRateB(int value);
    void SetIdleText(int code);
    void Draw(int control, int bitmap);
    // A repeated value draws nothing, unless its control is hidden (the
    // window hides every indicator until the modem reports): then it is
    // drawn, so that an unchanged first report still shows.
    bool Unchanged(bool sameValue, int control) const;

    ModemState& m_state;
    IStatusView& m_view;

    uint8_t m_battery = kUnknown;
    uint8_t m_signal = kUnknown;
    uint8_t m_noSignalCount = 0;
    std::array<uint8_t, 10> m_signalHistory{};
    uint8_t m_service = kUnknown;
    // The last service value other than 255. One model per window and one
    // window per process, so per model is per process.
    uint8_t m_lastService = kUnknown;
    uint8_t m_sms = kUnknown;
    uint8_t m_call = kUnknown;
    uint8_t m_roaming = kUnknown;
    uint8_t m_rxd = kUnknown;
    uint8_t m_rateA = kUnknown;
    uint8_t m_rateB = kUnknown;
    uint8_t m_idle = kIdleNone;
    bool m_bUnplugged = false;
};

} // namespace kv
