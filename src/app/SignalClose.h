// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, `kill`, Ctrl-C in the
// terminal that started the window) close the window as its Exit does, so
// the data session is hung up and its traffic record written before the
// program ends. The handler only writes the signal's number to a pipe; the
// Qt event loop reads it (QSocketNotifier) and runs the close on the UI
// thread, where the close procedure belongs. One object at a time; the
// previous dispositions come back when it goes.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace kvapp {

class CCloseOnSignals : public QObject {
public:
    // onSignal runs on the UI thread with the signal's number, once per
    // signal delivered.
    explicit CCloseOnSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~CCloseOnSignals() override;
    CCloseOnSignals(const CCloseOnSignals&) = delete;
    CCloseOnSignals& operator=(const CCloseOnSignals&) = delete;

    // False when the pipe or the handlers could not be set up (the signals
    // then end the program as before).
    bool Installed() const { return m_installed; }

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};

} // namespace kvapp
