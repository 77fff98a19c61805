// The program's entry: a Qt application around CDialer_oneApp. The program
// reads no command line (Qt is given only the program name).
//
// KORVIANET_STARTUP_TRACE=1 prints, on stderr, the milliseconds from the
// start to the window shown and to the first indicator a live modem drew.
#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "app/WaylandSeat.h"
#include "version/Version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    kvapp::GuardWaylandTextInput();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication qapp(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationVersion(kv::ProgramVersion());
    QGuiApplication::setDesktopFileName(kv::kDesktopId);

    CDialer_oneApp app;
    app.SetWiring(kvapp::WireServices);
    const char* trace = std::getenv("KORVIANET_STARTUP_TRACE");
    if (trace && std::strcmp(trace, "1") == 0) {
        app.SetOnShown([&clock](CDialer_oneDlg& dlg) {
            std::fprintf(stderr, "startup: window shown %lld ms\n", (long long)clock.elapsed());
            auto* poll = new QTimer(&dlg);
            QObject::connect(poll, &QTimer::timeout, &dlg, [&clock, &dlg, poll] {
                if (dlg.Panel().Battery() != kvapp::CStatusPanel::kUnknown
                    && dlg.Panel().SignalState() != kvapp::CStatusPanel::kUnknown
                    && dlg.IndicatorShown(kvapp::IDC_VBAT)) {
                    std::fprintf(stderr, "startup: live indicators %lld ms\n", (long long)clock.elapsed());
                    poll->stop();
                }
            });
            poll->start(10);
        });
    }
    app.InitInstance();
    return 0;
}
