// The settings page: a skinned modal dialog over the main window with a row
// of page buttons (About, Basic, RUIM Card, Advanced, User) and the pages the
// opener may ask for (traffic, current and previous month). One Apply saves
// what the visible page offers: the account and APN, the card's PIN check,
// autorun, always-on-top and the battery warning sound, the month limits.
//
// The dialog knows the main window only through ConfigEnv, so that it opens
// with no modem at all (no AT port, no engine figures) and tests can run it
// on its own. Message boxes go through ConfigEnv::messageBox when set.
#pragma once

#include "controls/ModalOwner.h"
#include "net/AtChannel.h"

#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CHoverButton;
class CTextStatic;
class CMacProgressCtrl;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kvapp {

enum class BoxIcon { Information, Warning, Error };

// The running session's counters as the connection manager keeps them.
struct LiveTraffic {
    uint32_t sent = 0;
    uint32_t received = 0;
    uint32_t durationMs = 0;
    int64_t resetTime = 0;
};

struct ConfigEnv {
    kvui::IModalOwner* owner = nullptr;
    // The modem port for the PIN commands; nullptr without a modem.
    kv::IAtPort* atPort = nullptr;
    // Whether the card's PIN check is on (as the engine last reported it).
    std::function<bool()> pinCheckOn;
    // The modem confirmed a PIN command that switched the check on or off.
    std::function<void(bool on)> pinCheckChanged;
    // The service mode byte the modem reported (bit 0x20: battery).
    std::function<uint8_t()> serviceMode;
    // The card's IMSI as the AT path read it (operator code inside).
    std::function<std::string()> imsi;
    // The main window's dial-up account; number nullptr keeps it.
    std::function<void(const std::string& user, const std::string& password, const std::string* number)>
        setDialAccount;
    // Always on top of the main window; false when it could not be set.
    std::function<bool(bool on)> setTopMost;
    std::function<void(bool on)> setBatteryWarning;
    // Queues the traffic-reset request to the connection manager.
    std::function<void()> trafficReset;
    std::function<bool(LiveTraffic&)> liveTraffic;
    // Restarts the DM engine's link to the modem.
    std::function<void()> restartLink;
    std::function<void(const std::string& text, BoxIcon icon)> messageBox;
};

class CConfigView : public QDialog {
    Q_OBJECT
public:
    explicit CConfigView(ConfigEnv env, QWidget* parent = nullptr);
    ~CConfigView() override;

    // The page to show when the dialog opens (1 when none is set).
    void SetPage(int page) { m_nRequestedPage = page; }
    int exec() override;
    void OnInitDialog();

    // What the buttons run (public for tests).
    void ShowPage(int page);
    void OnApply();
    void OnDeleteApn();
    void OnPinActionChosen(int index);
    void OnApnMode(bool dynamic);
    void OnTrafficReset();
    void OnApplyLimit(bool download);
    void OnRestartLink();
    void OnConfigUpdate(long code, intptr_t lParam);

    int CurrentPage() const { return m_nCurrentPage; }
    QWidget* Control(int id) const;
    QString LabelText(const char* name) const;
    double Limit(bool previous, bool download) const;
    const std::vector<std::string>& Boxes() const { return m_boxes; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void reject() override;

private:
    struct PageSet;

    void CreateControls();
    void LayOut();
    CTextStatic* Label(const char* key, const QString& text, int x, int y, int w, int page);
    void Add(int page, QWidget* w);
    void LoadBasic();
    void LoadRuim();
    void LoadUser();
    void LoadTraffic();
    void LoadMonth(bool previous);
    void ApplyBasic();
    void ApplyRuim();
    void ApplyAdvanced();
    void ApplyUser();
    void ShowPinFields(bool change);
    void Box(const std::string& text, BoxIcon icon);
    std::string ApnFilePath() const;

    ConfigEnv m_env;
    int m_nRequestedPage = -1;
    int m_nCurrentPage = -1;
    int m_nPinAction = 0;
    // The PIN check as the action list was filled: Apply acts on the list
    // the user chose from, even when the engine's report changed meanwhile.
    bool m_bPinListOn = false;
    bool m_bInitDone = false;
    std::string m_strDialUser, m_strDialPassword, m_strDialNumber;
    double m_dDownLimit = 50, m_dUpLimit = 50, m_dDownLimitPrev = 50, m_dUpLimitPrev = 50;
    double m_dMonthDown = 0, m_dMonthUp = 0, m_dMonthTotal = 0;

    QPixmap m_skin;
    QPoint m_dragOffset;
    bool m_bDragging = false;

    std::map<int, QWidget*> m_controls;              // by id
    std::map<std::string, CTextStatic*> m_labels;    // by name
    std::map<int, std::vector<QWidget*>> m_pageWidgets;
    std::vector<std::string> m_boxes;                // every box shown, in order
};

} // namespace kvapp
