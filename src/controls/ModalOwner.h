// What a modal page needs from the main window: register itself as the open
// modal window (the target of the main window's posts while it is open) and
// the modal-page number, and the window it is placed against.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <functional>

class QWidget;

namespace kvui {

// Numbers of the modal pages (the main window's m_nModalView).
constexpr int MODAL_NONE = 0;
constexpr int MODAL_SETTINGS = 1;
constexpr int MODAL_POPUP = 4;
constexpr int MODAL_PICKER = 5;
constexpr int MODAL_PIN = 6;
constexpr int MODAL_SMS_DIALOG = 7;

class IModalOwner {
public:
    virtual ~IModalOwner() = default;
    // The open modal window, or nullptr when it ends.
    virtual void SetModalWindow(QWidget* window) = 0;
    virtual void SetModalView(int view) = 0;
    // The main window (placement anchor); may be nullptr.
    virtual QWidget* OwnerWindow() = 0;
};

// Runs fn on the UI thread and waits for it (directly when already there).
// Used to open dialogs for worker threads: the UI thread keeps its event loop
// while the dialog runs, and the worker is blocked until it ends.
inline void RunOnUiThread(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        fn();
    else
        QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

} // namespace kvui
