// The services wired into the main window. Pages that are not wired here are
// absent: the window logs requests for them and refuses.
#include "app/AppWiring.h"

#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"

namespace kvapp {

void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg)
{
    (void)app;
    (void)dlg;
    // Phonebook wipe (UM_UI_REQUEST 6), phonebook loading (10) and the name
    // lookup are served by the window itself over the application's
    // database until their engines register handlers here.
}

} // namespace kvapp
