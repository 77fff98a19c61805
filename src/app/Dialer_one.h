// The application object: prepares the log window and the database, finds
// the modem's port, makes sure only one copy runs, and runs the main window
// modally. When the main window ends, the program ends.
#pragma once

#include "data/AppDatabase.h"

#include <functional>
#include <memory>
#include <string>

class CDebugViews;
class CDialer_oneDlg;

class CDialer_oneApp {
public:
    // Called with the main window after it is made, before it runs (the
    // place where the pages and engines of other folders are wired).
    using WireFn = std::function<void(CDialer_oneApp&, CDialer_oneDlg&)>;

    CDialer_oneApp();
    ~CDialer_oneApp();
    CDialer_oneApp(const CDialer_oneApp&) = delete;
    CDialer_oneApp& operator=(const CDialer_oneApp&) = delete;

    // The whole run; always false (there is no message loop after it).
    bool InitInstance();

    static CDialer_oneApp* Instance() { return s_pApp; }
    // The main window while it runs, else nullptr.
    CDialer_oneDlg* MainWnd() const { return m_pMainWnd; }
    kv::CAppDatabase* Database() { return m_pDb.get(); }
    kv::CDaoSmsDb* SmsDb() { return m_pDb ? &m_pDb->Sms() : nullptr; }
    kv::CDaoPbookDb* PbookDb() { return m_pDb ? &m_pDb->Pbook() : nullptr; }
    kv::CDaoVcallDb* VcallDb() { return m_pDb ? &m_pDb->Vcall() : nullptr; }
    int DeviceKind() const { return m_nDeviceKind; }
    CDebugViews* LogWindow() const { return m_pLogWindow; }

    void SetWiring(WireFn fn) { m_wire = std::move(fn); }
    // A hook run when the main window is shown (used by measurements).
    void SetOnShown(std::function<void(CDialer_oneDlg&)> fn) { m_onShown = std::move(fn); }

    // A diagnostic run: moves the shown log window off the main window's face.
    void PlaceLogWindow(CDialer_oneDlg& dlg);

private:
    kv::CAppDatabase* OpenDatabase();

    std::unique_ptr<kv::CAppDatabase> m_pDb;
    CDialer_oneDlg* m_pMainWnd = nullptr;
    CDebugViews* m_pLogWindow = nullptr;
    int m_nDeviceKind = 0;
    WireFn m_wire;
    std::function<void(CDialer_oneDlg&)> m_onShown;
    static CDialer_oneApp* s_pApp;
};
