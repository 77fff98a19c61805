// Window messages between the windows and their controls, carried as Qt
// events with the message code and its two arguments. Posting queues the
// event; sending runs the receiver's handler before returning (from another
// thread the sender waits for the UI thread to run it).
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <cstdint>

namespace kvui {

constexpr unsigned WM_COMMAND = 0x0111;          // wParam = control id
constexpr unsigned UM_SMS_TEXT_UPDATE = 0x5F8;   // text field changed (CEditEx -> owner)
constexpr unsigned UM_CONFIG_UPDATE = 0x5F7;     // settings figures changed

class CUserMessageEvent : public QEvent {
public:
    CUserMessageEvent(unsigned msg, uintptr_t wParam, intptr_t lParam)
        : QEvent(EventType()), m_nMsg(msg), m_wParam(wParam), m_lParam(lParam)
    {
    }
    static QEvent::Type EventType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    unsigned Message() const { return m_nMsg; }
    uintptr_t WParam() const { return m_wParam; }
    intptr_t LParam() const { return m_lParam; }
    // The handler's answer for a sent message.
    intptr_t m_lResult = 0;

private:
    unsigned m_nMsg;
    uintptr_t m_wParam;
    intptr_t m_lParam;
};

inline void PostUserMessage(QObject* target, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0)
{
    if (target)
        QCoreApplication::postEvent(target, new CUserMessageEvent(msg, wParam, lParam));
}

// Runs the receiver's handler now; from a thread other than the receiver's,
// waits until that thread has run it. Returns the handler's answer.
inline intptr_t SendUserMessage(QObject* target, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0)
{
    if (!target)
        return 0;
    intptr_t result = 0;
    auto deliver = [target, msg, wParam, lParam, &result]() {
        CUserMessageEvent ev(msg, wParam, lParam);
        QCoreApplication::sendEvent(target, &ev);
        result = ev.m_lResult;
    };
    if (QThread::currentThread() == target->thread())
        deliver();
    else
        QMetaObject::invokeMethod(target, deliver, Qt::BlockingQueuedConnection);
    return result;
}

} // namespace kvui
