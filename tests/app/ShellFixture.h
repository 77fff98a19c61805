// Shared pieces of the shell's tests: a private settings folder with no
// live USB devices, a closer for the message boxes the window opens, and
// pumping waits on the UI thread.
#pragma once

#include "support/TempSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {

// Closes every message box that becomes the active modal window and keeps
// its text.
class BoxCloser {
public:
    BoxCloser()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text().toStdString());
                captions.push_back(box->windowTitle().toStdString());
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }
    std::vector<std::string> texts;
    std::vector<std::string> captions;

private:
    QTimer m_timer;
};

// Dispatches the UI thread's events until done() or the time-out.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", settings.Dir().c_str(), 1);
    }
    void TearDown() override { unsetenv("KORVIANET_SYSFS_ROOT"); }
    TempSettings settings;
};

// Ends a window opened over a database copy and the simulator, in the
// program's order: the window's close procedure, the database, the modem.
template <class Dlg, class Db, class Sim>
void CloseWindow(std::unique_ptr<Dlg>& dlg, std::unique_ptr<Db>& db, std::unique_ptr<Sim>& sim)
{
    if (dlg) {
        dlg->CloseProcedure();
        dlg.reset();
    }
    db.reset();
    if (sim)
        sim->Stop();
}

} // namespace kvtest
