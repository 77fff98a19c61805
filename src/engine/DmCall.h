// The call control commands of the DM engine (DM_OUT_CALL, DM_IN_CALL,
// DM_KEY_PRESS, DM_EAR_LEVEL) and the call supervision of the status poll:
// the incoming-call indication and the call-processing state. One object per
// engine; it plugs in through RegisterCommand and the poll hooks (chained
// behind the SMS engine, which owns the engine's hook slot).
//
// Everything here runs on the engine thread. The dial pad page is reached
// through ICallPad; a window without a dial pad leaves the defaults.
#pragma once

#include "engine/DmCallState.h"
#include "engine/DmEngine.h"

#include <deque>
#include <string>

namespace kv {

// What the engine tells the dial pad page and the main window's call
// controls. Implementations marshal to their UI thread.
class ICallPad {
public:
    virtual ~ICallPad() = default;
    // An incoming call was announced: the page shows its incoming mode.
    virtual void IncomingMode() {}
    // A key the engine sent (or refused for), for the page to follow.
    virtual void EngineKey(uint8_t) {}
    // The DTMF tone flag: keys are held until their release is sent.
    virtual bool ToneFlag() const { return false; }
    // Clears the page's pending-call-text flag; true when it was set.
    virtual bool TakePendingFlag() { return false; }
    // Labels the volume buttons "+ Vol"/"- Vol" (true) or "+ Ring"/"- Ring".
    virtual void LabelVolumeButtons(bool) {}
};

class CDmCall : public IDmPollHooks {
public:
    CDmCall() = default;
    // Registers the four commands with the engine.
    void Install(CDmEngine& engine);
    void SetPad(ICallPad* pad) { m_pad = pad ? pad : &m_noPad; }

    // --- IDmPollHooks ---
    void OnIncomingIndication(CDmEngine& e, const StatusRecord& rec) override;
    void OnCallState(CDmEngine& e, const StatusRecord& rec) override;

    // The commands (public for the tests that drive them directly).
    void OutCall(CDmEngine& e);
    void InCall(CDmEngine& e);
    void KeyPress(CDmEngine& e);
    void EarLevel(CDmEngine& e);

    // Pause between the digits sent after SEND (ms).
    void SetPauseKeyDelayMs(int ms) { m_nPauseDelayMs = ms; }

    static bool IsEmergencyNumber(const std::string& number);
    static const char* StateName(uint8_t state); // nullptr: no name logged

private:
    void PostRing(CDmEngine& e, bool start);
    void ConfigUpdate(CDmEngine& e, intptr_t ending);
    bool SendKey(CDmEngine& e, uint8_t hold, uint8_t key);
    void CallEnded(CDmEngine& e);
    void EndShownCall(CDmEngine& e);
    void RecordMissedCall(CDmEngine& e);

    ICallPad m_noPad;
    ICallPad* m_pad = &m_noPad;
    int m_nPauseDelayMs = 200;
    bool m_bCallIndicatorOn = false; // the alternating call indicator
};

// What the dial pad queues (also the command-line tool's calls):
// Places a call: the number is cut at its first pause "p"; the groups after
// each pause wait in the pause-digit queue for SEND during the call. 1 when
// DM_OUT_CALL was queued, 0 refused.
int QueueDial(CDmEngine& e, const std::string& number);
// Queues one key (a digit, '*', '#', a CALL_KEY_* code, 12 or 255) for
// DM_KEY_PRESS at the head of the queue; the key is taken back when the
// queue refuses it. 1 queued, 0 refused.
int QueueCallKey(CDmEngine& e, int code);
// Splits a dial string at its pauses: the number and the groups after it.
std::string SplitPauses(const std::string& dial, std::deque<std::string>& pauses);

// The volume buttons: marks a change of the in-call volume during a
// conversation, else of the idle volume (up to 4; down to 1 in a call, to 0
// idle). True when a change was marked.
bool MarkVolumeChange(ModemState& st, bool up);
// Marks the change, disables both volume buttons and queues DM_EAR_LEVEL
// (the engine enables them again). False when nothing changes.
bool RequestVolumeChange(CDmEngine& e, bool up);

// The value DM_EAR_LEVEL sends for a level with its change marks.
uint8_t EarLevelToSend(uint8_t level);

} // namespace kv
