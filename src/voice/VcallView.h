// The dial pad page (dialog 131): the number being dialled, the SEND, END
// and Clear buttons and the twelve keys, keyboard entry, the DTMF and pause
// lists that feed the DM engine's key and pause queues, and the call-waiting
// Clear. The main window embeds it and shows it on page 1.
//
// The page runs on the UI thread. The DM engine reaches it through ICallPad
// (engine thread): those calls are forwarded to the UI thread.
#pragma once

#include "engine/DmCall.h"
#include "engine/DmEngine.h"

#include <QWidget>
#include <atomic>
#include <functional>
#include <map>
#include <string>

class QAbstractButton;

namespace kvvoice {

// Button ids of the page.
// The skin pictures of the buttons: 153 SEND, 154.. the keys "1".."9", "0",
// "*", "#" (in button id order), 166 Clear, 167 END; 170 the background.
enum VcallButton : int {
    IDC_VCALL_SEND = 1019,
    IDC_VCALL_KEY1 = 1020, // 1020..1028: "1".."9"
    IDC_VCALL_KEY0 = 1029,
    IDC_VCALL_STAR = 1030,
    IDC_VCALL_HASH = 1031,
    IDC_VCALL_END = 1032,
    IDC_VCALL_CLEAR = 1036,
};

// Sources of Key.
enum KeySource : int { KEY_LOCAL = 0, KEY_BUTTON = 1, KEY_KEYBOARD = 2 };

class CVcallView : public QWidget, public kv::ICallPad {
    Q_OBJECT
public:
    static constexpr size_t kMaxDigits = 30;

    CVcallView(kv::CDmEngine& engine, QWidget* parent = nullptr);

    // Key codes: digits, '*', '#', '+', 'p' or 12 (pause), 'P' SEND, 'Q' END,
    // 'R' clear one character, 255 key release.
    void Key(int code, int source);
    // 0 clears the number and the message line, 1 shows the number on the
    // message line when it is not empty, 2 clears the number silently; every
    // mode empties the DTMF and pause lists.
    void ResetDialPad(int mode);

    std::string Number() const { return m_strNumber; }
    void SetNumber(const std::string& number);
    int TypedCount() const { return m_nTyped; }
    bool PickerFlag() const { return m_bPicker; }
    void SetPickedName(const std::string& name) { m_strPicked = name.substr(0, 99); }
    const std::string& PickedName() const { return m_strPicked; }
    bool PendingCallText() const { return m_bPending.load(); }
    // The DTMF tone flag (setting "dtmf_len" 0): digits also send their
    // release. The main window owns the flag; the page asks it each time
    // (from the UI and the engine thread), so a change takes effect at once.
    // Without a source the page keeps its own flag.
    void SetToneSource(std::function<bool()> source) { m_toneSource = std::move(source); }
    void SetToneFlag(bool on) { m_bTone = on; }
    void VolumeUp();
    void VolumeDown();
    QAbstractButton* Button(int id) const;
    // Called with the volume button labels ("+ Vol"/"- Vol" or "+ Ring"/"- Ring").
    void SetVolumeLabelSink(std::function<void(const char* up, const char* down)> sink)
    {
        m_labelSink = std::move(sink);
    }

    // --- kv::ICallPad (engine thread) ---
    void IncomingMode() override;
    void EngineKey(uint8_t key) override;
    bool ToneFlag() const override { return m_toneSource ? m_toneSource() : m_bTone.load(); }
    bool TakePendingFlag() override { return m_bPending.exchange(false); }
    void LabelVolumeButtons(bool inCall) override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void LocalEdit(int code, int source);
    // What the page does with a key the engine sent (UI thread).
    void FollowEngineKey(int key);
    void ShowNumber();
    kv::IDmHost& Host() { return m_engine.Host(); }
    kv::ModemState& St() { return m_engine.State(); }

    kv::CDmEngine& m_engine;
    std::string m_strNumber;
    int m_nTyped = 0;
    int m_nLastKey = 0;
    std::string m_strPicked;
    bool m_bPicker = false;
    std::atomic<bool> m_bTone{false};
    std::atomic<bool> m_bPending{false};
    std::map<int, QAbstractButton*> m_buttons;
    std::function<void(const char*, const char*)> m_labelSink;
    std::function<bool()> m_toneSource;
};

} // namespace kvvoice
