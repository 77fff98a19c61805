// What the SMS engine shares with the SMS page: the message counts, the
// voice-mail notification's slot and count, and the send record. The page
// owns one CSmsShared (the command-line tool owns one for its session); the
// engine reads and writes it from the UI thread and, for the counts and
// voice-mail fields, from the engine thread, hence the atomics.
//
// ISmsPageUi is what the engine asks of the windows around it: the main
// window's progress bar, the SMS page's state word and repaint, and the
// page's message list (whose items carry message indexes). Calls made from
// the engine thread (PageState, RepaintPage, ShowHome) must be marshalled
// to the UI thread by the implementation.
#pragma once

#include "link/DiagCatalogSms.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kv {

class CSmsShared {
public:
    CSmsShared() { Reset(); }

    std::atomic<int32_t> m_nMemoryCount{0}; // messages in the modem's memory store
    std::atomic<int32_t> m_nRuimCount{0};   // messages on the card
    std::atomic<int32_t> m_nVoiceSlot{-1};  // slot of the voice-mail notification, -1 none
    std::atomic<int32_t> m_nVoiceCount{0};  // waiting voice messages (shown as 0 when negative)
    // The message DM_SMS_SEND and DM_SMS_WRITE transmit (UI thread only).
    SmsOutgoing m_sendRecord;

    // The state after an engine start: counts 0, no voice mail, an empty
    // send record whose encoding byte is 255 (not chosen yet).
    void Reset();
    // Fills the send record: encoding 2 when every byte is below 0x80, else 16.
    void SetSendRecord(const std::string& destination, const std::string& callback,
                       const std::string& text);
    // The voice-mail count as shown (negative values as 0).
    int VoiceCountShown() const;
};

class ISmsPageUi {
public:
    virtual ~ISmsPageUi() = default;
    // The main window's progress bar.
    virtual void ShowProgress(int range) { (void)range; }
    virtual void StepProgress() {}
    virtual void HideProgress() {}
    // The SMS page (shown when the main window's active view is 2).
    virtual uint16_t PageState() { return 0; }
    virtual void RepaintPage() {}
    virtual void ShowHome() {}
    // The page's message list.
    virtual int ListItemCount() { return 0; }
    virtual int32_t ListItemData(int item) { (void)item; return 0; }
    virtual void ClearListItemData(int item) { (void)item; }
    virtual void DeleteAllListItems() {}
};

// A message list without a window (command-line tool, tests).
class CSmsVectorList : public ISmsPageUi {
public:
    std::vector<int32_t> m_items;
    int m_nProgressShown = 0; // times the progress bar was shown
    int m_nProgressSteps = 0;
    bool m_bProgressVisible = false;

    void ShowProgress(int) override { ++m_nProgressShown; m_bProgressVisible = true; }
    void StepProgress() override { ++m_nProgressSteps; }
    void HideProgress() override { m_bProgressVisible = false; }
    int ListItemCount() override { return int(m_items.size()); }
    int32_t ListItemData(int item) override { return m_items.at(size_t(item)); }
    void ClearListItemData(int item) override { m_items.at(size_t(item)) = 0; }
    void DeleteAllListItems() override { m_items.clear(); }
};

// Encoding of an outgoing text: 2 when every byte is below 0x80, else 16.
uint8_t ChooseSmsEncoding(const std::string& text);

// A read message body as stored: IA5 (3) turns "$" into "kz" and "~" into a
// space; every other encoding is copied. The result is cut to the buffer of
// kSmsConvertBuffer bytes.
std::string ConvertSmsData(uint8_t encoding, const std::string& data);
// The encoding stored for a message read with this encoding (4 → 2).
uint8_t StoredSmsEncoding(uint8_t encoding);

// SMS indicator value for the poll's count, the voice-mail count and whether
// the notification was just removed; -1 leaves the indicator unchanged.
int SmsIndicatorValue(int count, int voiceCount, bool voiceJustRemoved);

} // namespace kv
