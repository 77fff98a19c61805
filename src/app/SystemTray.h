// One notification-area icon with its menu ("Restore", "Exit"). The main
// window creates it when it goes to the tray and deletes it when it comes
// back; deleting it removes the icon. Mouse events on the icon reach the
// target window as its registered tray message (id, mouse message), whose
// handler calls OnTrayNotification; menu choices reach it as commands.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

class CSystemTray : public QObject {
    Q_OBJECT
public:
    // Mouse messages carried by the tray message.
    static constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
    static constexpr unsigned WM_RBUTTONUP = 0x0205;

    using CommandFn = std::function<void(int command)>;

    CSystemTray();
    ~CSystemTray() override;

    // Adds the icon. Notifications go to `owner` as user message
    // `callbackMessage` (wParam id, lParam mouse message); without an owner
    // the tray handles them itself. Commands chosen in the menu go to
    // `onCommand`. True when the icon was added.
    bool Create(QObject* owner, unsigned callbackMessage, const QString& tip, const QIcon& icon,
                int id, CommandFn onCommand);
    bool Enabled() const { return m_bEnabled; }
    // Takes the icon off the notification area and ignores its events from
    // now on; the object itself may still be running a menu action.
    void Remove();
    void SetKeepAlive(bool on) { m_bKeepAlive = on; }
    bool KeepAlive() const { return m_bKeepAlive; }

    // The icon's mouse events: right button up opens the menu, a left
    // double-click runs the default item ("Restore").
    void OnTrayNotification(unsigned id, unsigned mouseMessage);

    // The menu as built for the icon (for checks), and its default command.
    QMenu* Menu() const { return m_pMenu.get(); }
    int DefaultCommand() const;
    QSystemTrayIcon* Icon() const { return m_pIcon.get(); }

    // Whether the desktop offers a notification area (tests may force it).
    static bool Available();
    static void ForceAvailable(int available); // -1 ask the desktop, 0 no, 1 yes

private:
    void BuildMenu();
    void Notify(unsigned mouseMessage);

    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    std::unique_ptr<QMenu> m_pMenu;
    QPointer<QObject> m_pOwner;
    unsigned m_nCallbackMessage = 0;
    int m_nId = 0;
    CommandFn m_onCommand;
    bool m_bEnabled = false;
    bool m_bKeepAlive = false;
    bool m_bRemoved = false;
    static int s_nForceAvailable;
};
