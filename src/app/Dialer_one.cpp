// Start-up of the program, in order: log window, database, port discovery,
// single instance, main window, clean-up.
#include "app/Dialer_one.h"

#include "app/AppIds.h"
#include "app/Dialer_oneDlg.h"
#include "app/LogWindowPlace.h"
#include "app/SignalClose.h"
#include "controls/DebugViews.h"
#include "data/DbPath.h"
#include "engine/DrvComm.h"
#include "log/DebugLog.h"
#include "platform/SingleInstance.h"
#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "traffic/SessionJournal.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

CDialer_oneApp* CDialer_oneApp::s_pApp = nullptr;

CDialer_oneApp::CDialer_oneApp() { s_pApp = this; }

CDialer_oneApp::~CDialer_oneApp()
{
    if (s_pApp == this)
        s_pApp = nullptr;
}

kv::CAppDatabase* CDialer_oneApp::OpenDatabase()
{
    // The user's own copy; the first start makes it from the template. With
    // none the program still runs (the modem, the data connection), but the
    // lists stay empty: say so, without holding up the start.
    const kv::DbSetupResult setup = kv::PrepareUserDatabase();
    if (!setup.Ok()) {
        DEBUG_LOG(LEVEL_ST, "%s", setup.message.c_str());
        std::fprintf(stderr, "korvianet: %s\n", setup.message.c_str());
        auto* box = new QMessageBox(QMessageBox::Warning, kvapp::text::kCaption,
                                    QString::fromStdString(setup.message), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("databaseSetupFailure"));
        box->setModal(false);
        box->show();
    }
    m_pDb = std::make_unique<kv::CAppDatabase>(setup.path);
    return m_pDb.get();
}

void CDialer_oneApp::PlaceLogWindow(CDialer_oneDlg& dlg)
{
    // Both windows start centred; the log window moves off the face and
    // stays above it, so that its lines and buttons can be seen.
    if (!m_pLogWindow || !m_pLogWindow->isVisible())
        return;
    QRect face = dlg.frameGeometry();
    if (!dlg.mask().isEmpty())
        face = dlg.mask().boundingRect().translated(dlg.mapToGlobal(QPoint(0, 0)));
    const QScreen* screen = dlg.screen() ? dlg.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize size = m_pLogWindow->frameGeometry().size();
    const QPoint at = kvapp::LogWindowPlace(face, size, screen->availableGeometry());
    m_pLogWindow->move(at + (m_pLogWindow->pos() - m_pLogWindow->frameGeometry().topLeft()));
    m_pLogWindow->raise();
}

bool CDialer_oneApp::InitInstance()
{
    using namespace kvapp;
    // 1. The log window: hidden, logging off until a diagnostic run.
    m_pLogWindow = new CDebugViews();
    kv::CDebugLog::Instance().SetLevelMask(kv::kLogMaskWindowInit);
    kv::CDebugLog::Instance().Disable();
    if (const char* on = std::getenv(kEnvLogWindow); on && std::strcmp(on, "1") == 0)
    {
        // A diagnostic tool window: kept above the main window, which the
        // engine brings to the front when messages arrive.
        m_pLogWindow->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        m_pLogWindow->ShowForDiagnostics();
    }
    // Settings or data in a folder that someone else owns could name their
    // modem or receive our messages: refuse to start on them, and say so.
    if (std::string why; !kv::SettingsDirUsable(&why)
                         || (!kv::UserDataDir().empty() && !kv::UserDataDirUsable(&why))) {
        DEBUG_LOG(LEVEL_ST, "settings folder %s error", why.c_str());
        QMessageBox box(QMessageBox::Critical, text::kCaption,
                        QString(text::kFolderRefused).arg(QString::fromStdString(why)), QMessageBox::Ok);
        box.exec();
        delete m_pLogWindow;
        m_pLogWindow = nullptr;
        return false;
    }
    // 2. The database engine.
    OpenDatabase();
    // 3.
    DEBUG_LOG(LEVEL_ST, logtext::kDunPhonebook, text::kDunPhonebook);
    // 4. Port discovery; a found port is remembered for the settings page.
    kv::PortDiscovery discovery;
    const int port = discovery.FindComPort();
    if (port >= 1)
        kv::WriteProfileString(key::kComPort, key::kNum, std::to_string(port), key::kIni);
    m_nDeviceKind = discovery.DeviceKind();
    // 5.
    DEBUG_LOG(LEVEL_ST, logtext::kSelectComPort, port);
    // 6. One running copy.
    kv::CSingleInstance lock;
    if (const auto taken = lock.Acquire(); taken != kv::CSingleInstance::Result::Held) {
        // Another copy runs, or the lock itself failed: say which.
        QString message = text::kAlreadyRunning;
        if (taken == kv::CSingleInstance::Result::Failed) {
            DEBUG_LOG(LEVEL_ST, "single instance lock %s error", lock.FailureText().c_str());
            message = QString(text::kLockFailed).arg(QString::fromStdString(lock.FailureText()));
        }
        QMessageBox box(QMessageBox::Critical, text::kCaption, message, QMessageBox::Ok);
        box.exec();
        m_pDb.reset();
        delete m_pLogWindow;
        m_pLogWindow = nullptr;
        return false;
    }
    // A session that a crash or a kill ended left its journal: its counters
    // go to the traffic files before this run counts anything.
    for (const std::string& line : kvtraffic::FoldEndedSessionJournals().lines) {
        DEBUG_LOG(LEVEL_ST, "%s", line.c_str());
        std::fprintf(stderr, "korvianet: %s\n", line.c_str());
    }
    // 7. The main window, run modally.
    {
        CDialer_oneDlg dlg(m_pDb.get());
        m_pMainWnd = &dlg;
        // A logout, a shutdown or a kill closes the window as Exit does, so
        // the session is hung up and recorded before the program ends.
        // One that comes while the window is still starting waits for the
        // start to finish: the close stops what the start has started.
        auto closeWhenStarted = std::make_shared<std::function<void()>>();
        *closeWhenStarted = [&dlg, weak = std::weak_ptr(closeWhenStarted)] {
            if (dlg.Initialised()) {
                dlg.CloseProcedure();
            } else if (auto again = weak.lock()) {
                QTimer::singleShot(50, &dlg, [again] { (*again)(); });
            }
        };
        kvapp::CCloseOnSignals closeOnSignals([closeWhenStarted](int sig) {
            DEBUG_LOG(LEVEL_ST, "signal %d: closing", sig);
            (*closeWhenStarted)();
        });
        if (m_wire)
            m_wire(*this, dlg);
        if (m_onShown)
            QTimer::singleShot(0, &dlg, [this, &dlg] { m_onShown(dlg); });
        if (m_pLogWindow->isVisible())
            QTimer::singleShot(0, &dlg, [this, &dlg] { PlaceLogWindow(dlg); });
        dlg.exec();
        m_pMainWnd = nullptr;
    }
    // 8. Clean-up.
    lock.Release();
    if (m_pDb && m_pDb->Sms().IsOpen())
        m_pDb->CloseSmsCursor();
    m_pDb.reset();
    delete m_pLogWindow;
    m_pLogWindow = nullptr;
    return false;
}
