// Where the program plugs the pages and services of the other folders into
// the main window (page factories, modal page runners, UM_UI_REQUEST and
// name-lookup handlers). Called once per run, before the window initialises.
#pragma once

class CDialer_oneApp;
class CDialer_oneDlg;

namespace kvapp {
void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg);
}
