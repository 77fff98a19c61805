// The usage history beside the window: the live meter on the connection
// manager's counters, its quota notices on the message line and in a box
// that does not wait for the user, the question before a dial after a quota
// hang-up, and the engine's signal readings into the minute history.
#include "app/AppWiring.h"

#include "app/Dialer_oneDlg.h"
#include "app/UsageWindow.h"
#include "data/DbPath.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "traffic/TrafficStats.h"
#include "usage/SignalHistory.h"
#include "usage/SignalTrace.h"
#include "usage/QuotaEvent.h"
#include "usage/UsageMeter.h"

#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace kvapp {

void WireUsage(CDialer_oneDlg& dlg, kvnet::ConnectionUi& ui)
{
    const std::string db = kv::DatabasePath();
    {
        // An older database gains the tables, and the traffic file's past
        // sessions are booked, once, before the first session is metered.
        kvusage::CUsageStore store;
        int imported = 0;
        if (!store.Open(db) || !store.ImportTrafficFileOnce(kvtraffic::TrafficFilePath(kvtraffic::kTrafficFileAll), &imported)
            || !store.Prune(int64_t(std::time(nullptr))))
            DEBUG_LOG(LEVEL_ST, "usage history not prepared: %s", store.Error().c_str());
        else if (imported > 0)
            DEBUG_LOG(LEVEL_ST, "usage history: %d sessions imported", imported);
    }
    CDialer_oneDlg* w = &dlg;
    auto notify = [w](const std::string& text) {
        w->AppendMessageLine(text, true);
        w->RunOnUi([w, text] {
            auto* box = new QMessageBox(QMessageBox::Warning, kv::kMessageBoxCaption, QString::fromStdString(text),
                                        QMessageBox::Ok, w);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        });
    };
    auto meter = std::make_shared<kvusage::CUsageMeter>(db, kvusage::ReadUsageSettings, kvusage::CUsageMeter::Clock{},
                                                        notify);
    ui.countersRead = [meter](uint32_t rx, uint32_t tx, uint32_t ms) { return meter->Counters(rx, tx, ms); };
    ui.countersCleared = [meter] { meter->CountersCleared(); };
    ui.sessionEnded = [meter] { meter->SessionEnded(); };
    ui.confirmDial = [meter, w] {
        if (!meter->DialNeedsConfirmation())
            return true;
        const auto answer = QMessageBox::question(w, kv::kMessageBoxCaption,
                                                  QString::fromStdString(kvusage::QuotaDialQuestion(
                                                      kvusage::ReadUsageSettings().quotaMb)));
        if (answer != QMessageBox::Yes)
            return false;
        meter->DialConfirmed();
        return true;
    };
    // Quota warnings reach the desktop (bus, notifications, hooks) through
    // the owner, which the wiring creates after this.
    meter->SetQuotaSink([w](const kvusage::QuotaNotice& n) {
        if (kv::COwner* o = w->Owner())
            o->Hub().Publish(kvusage::QuotaWarningEvent(n));
    });
    dlg.SetOwnedService(meter);
    // The usage window's cycle figures include what the meter has not written yet.
    std::weak_ptr<kvusage::CUsageMeter> weak = meter;
    SetLiveUsageSource([weak] {
        LiveUsage live;
        if (auto m = weak.lock()) {
            live.unbooked = m->Unbooked();
            live.sessionSince = m->SessionSince();
        }
        return live;
    });

    auto signal = std::make_shared<kvusage::CSignalHistory>(db);
    dlg.Engine().SetSignalSink([signal](const kv::PollSignal& s) {
        const kvusage::SignalSample sample{s.oneXDbm, s.evdoDbm, s.sysMode, s.roaming};
        signal->Add(sample);
        kvusage::LiveSignalTrace().Add(int64_t(std::time(nullptr)), sample);
    });
    dlg.SetOwnedService(signal);
}

} // namespace kvapp
