// The SMS engine: the SMS sub-requests (run through DmSubRequest), the
// send-status command DM_SMS_INSPECTED, the message checks of the status
// poll, and the first load of the message mirror.
//
// Wiring (the main window, or the command-line session):
//   CSmsShared shared;                       // the SMS page's fields
//   CSmsEngine sms(engine, db, shared, &pageUi);
//   sms.SetCallHooks(callHooks);             // the call family's poll hooks, if any
//   InstallSmsEngine(engine, sms);           // sub-requests, command, poll hooks
// The main window's page switch to the SMS page calls LoadMirror() (after its
// EV-DO check) and abandons the switch when it returns false; its timer 110
// calls RemoveVoiceMailRow(). UM_SMS_SEND_STATUS (0, outcome) is posted to
// MsgTarget::SmsPage.
//
// Sub-requests that act on one message (DM_SMS_SETTAG, DM_SMS_REMOVEAT,
// DM_SMS_GETVOICE) take the message's row index (storage × 65536 + slot) as
// their type; the small type values of old callers (0, 1) still mean "the
// current row of the SMS cursor". The row is found again by its index after
// the exchange, so events served meanwhile cannot redirect the change.
#pragma once

#include "data/AppDatabase.h"
#include "engine/DmEngine.h"
#include "messaging/SmsShared.h"

#include <cstdint>

namespace kv {

class CSmsEngine : public IDmPollHooks {
public:
    CSmsEngine(CDmEngine& engine, CAppDatabase& db, CSmsShared& shared, ISmsPageUi* ui = nullptr);

    // Poll hooks of the call family, to which the call steps are forwarded.
    void SetCallHooks(IDmPollHooks* next) { m_callHooks = next; }
    void SetPageUi(ISmsPageUi* ui) { m_ui = ui ? ui : &m_noUi; }
    CSmsShared& Shared() { return m_shared; }

    // --- sub-requests ---
    uint16_t SubSend();
    uint16_t SubRead();
    uint16_t SubList(uint32_t storage);
    uint16_t SubSetTag(uintptr_t type);
    uint16_t SubWrite(uintptr_t type);
    uint16_t SubRemoveAt(uintptr_t type);
    uint16_t SubRemoveAll(uintptr_t type);
    uint16_t SubVoiceNum();
    uint16_t SubGetVoice(uintptr_t type);
    // --- engine command ---
    void CmdInspected();

    // --- the main window (UI thread) ---
    // First load of the mirror after an engine start; false when the read
    // pass failed or another load or sub-request is still under way on this
    // thread (the switch to the SMS page is abandoned: not now).
    bool LoadMirror();
    // Timer 110: removes the voice-mail notification's row after the engine
    // removed the notification from the modem.
    void RemoveVoiceMailRow();
    // Marks one received message read on the modem and in its row, and lowers
    // the last new-SMS count; the sub-request's result.
    uint16_t MarkMessageRead(int32_t rowIndex);

    // --- IDmPollHooks ---
    void OnIncomingIndication(CDmEngine& e, const StatusRecord& rec) override;
    bool OnSmsChecks(CDmEngine& e, const StatusRecord& rec) override;
    void OnCallState(CDmEngine& e, const StatusRecord& rec) override;

private:
    bool FromEngine() const { return m_engine.IsEngineThread(); }
    // The row index a one-message sub-request acts on: the type when it is a
    // row index, else the SMS cursor's current row; 0 when there is none.
    int32_t TargetIndex(uintptr_t type);
    bool FindRow(int32_t rowIndex);
    void StoreReadReply(const SmsReadReply& reply, bool convert);
    void RefreshPageIfHome();
    void WriteSmsCount(int count);

    CDmEngine& m_engine;
    CAppDatabase& m_db;
    CSmsShared& m_shared;
    ISmsPageUi m_noUi;
    ISmsPageUi* m_ui;
    IDmPollHooks* m_callHooks = nullptr;
    bool m_bStoreWasFull = false; // engine thread
    int m_nWrittenCount = -1;     // engine thread
    bool m_bLoadingMirror = false; // UI thread: LoadMirror is under way
};

// Registers the SMS sub-requests, DM_SMS_INSPECTED and the poll hooks.
void InstallSmsEngine(CDmEngine& engine, CSmsEngine& sms);

// Whether a DmSubRequest type carries a message row index.
inline bool IsSmsRowIndex(uintptr_t type) { return type >= 0x10000; }

} // namespace kv
