// Where the program plugs the pages and services of the other folders into
// the main window (page factories, modal page runners, UM_UI_REQUEST and
// name-lookup handlers). Called once per run, before the window initialises.
#pragma once

#include <functional>
#include "net/ConnectionManager.h"

class CDialer_oneApp;
class CDialer_oneDlg;

namespace kv {
class CAppDatabase;
class CSmsShared;
}

namespace kvapp {
void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg);
// The SMS and phonebook engines over the database: the phonebook handlers
// (UM_UI_REQUEST 6 and 10, UM_LOOKUP_NAME), the status poll's message
// checks, the SMS mirror's first load and timer 110.
void WireMessaging(CDialer_oneDlg& dlg, kv::CAppDatabase& db);
// The SMS page (dialog 133) over the window's engine, database and text
// field, sharing the SMS engine's fields (SmsPageWiring.cpp).
class ISmsPage;
ISmsPage* MakeSmsPage(CDialer_oneDlg& dlg, kv::CSmsShared& shared);
// The settings page (button "Setting", the face menu's item, UM_OPEN_SETTINGS)
// and what it reaches of the window.
struct ConfigEnv;
struct LiveTraffic;
ConfigEnv SettingsEnvOf(CDialer_oneDlg& dlg);
void WireSettingsPage();
// Where the page reads the running session's counters for its live figures
// (the connection manager's); without a source they stay as the files say.
using LiveTrafficSource = std::function<bool(CDialer_oneDlg&, LiveTraffic&)>;
void SetLiveTrafficSource(LiveTrafficSource source);
// The data connection: the connection manager over the window (buttons
// 1000, 1001 and 1075, timer 114, the close procedure's and the
// destruction's RAS steps). base may bring the traffic append and the client
// factory; the window's parts (dial pad, the AT poll's IMSI) are filled in.
void WireDataConnection(CDialer_oneDlg& dlg, kvnet::ConnectionUi base = {});
// The owner of the modem over the window's engine, messaging, database and
// data connection, with the window's side (OwnerWindowUi); after the above.
void WireOwner(CDialer_oneDlg& dlg, kv::CAppDatabase* db);
// The usage meter and the signal history (UsageWiring.cpp), set into ui.
void WireUsage(CDialer_oneDlg& dlg, kvnet::ConnectionUi& ui);
}
