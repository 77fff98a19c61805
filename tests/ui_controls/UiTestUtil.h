// Helpers of the UI tests: waiting on conditions and answering the message
// boxes that modal code opens.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>

namespace uitest {

// Pumps events until cond() holds or timeoutMs passes; returns cond().
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

// Watches for the next modal message box, records its text and closes it.
// Keep the object alive across the call that opens the box.
class MessageBoxCloser {
public:
    MessageBoxCloser()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_texts << box->text();
            m_captions << box->windowTitle();
            box->done(QMessageBox::Ok);
        });
        m_timer.start();
    }
    QStringList Texts() const { return m_texts; }
    QStringList Captions() const { return m_captions; }

private:
    QTimer m_timer;
    QStringList m_texts;
    QStringList m_captions;
};

} // namespace uitest
