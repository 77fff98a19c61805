// The owner of the modem as the services that watch it see it: the hub of
// its snapshot and events, the feed that fills the hub, the actions the
// services may ask for, and the window's side (none in the headless run).
// Each host creates one once its host core and engine exist (before the
// engine starts), and destroys it before them.
#pragma once

#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"
#include "owner/OwnerActions.h"
#include "owner/OwnerFeed.h"
#include "owner/OwnerParts.h"
#include "owner/OwnerWork.h"

#include <atomic>

namespace kv {

class COwner {
public:
    explicit COwner(const OwnerParts& parts);
    ~COwner();
    COwner(const COwner&) = delete;
    COwner& operator=(const COwner&) = delete;

    COwnerHub& Hub() { return m_hub; }
    IOwnerActions& Actions() { return m_actions; }
    COwnerActions& OwnActions() { return m_actions; }
    COwnerFeed& Feed() { return m_feed; }

    // The window's side; nullptr in the headless run.
    void SetUi(IOwnerUi* ui) { m_ui.store(ui); }
    IOwnerUi* Ui() const { return m_ui.load(); }

    // What the hosts route here: a send's outcome to the SMS page (true:
    // ours, route it no further) and their removal / recovery path.
    bool OnSmsSendStatus(uintptr_t wParam, intptr_t lParam) { return m_actions.OnSmsSendStatus(wParam, lParam); }
    void ModemRemoved() { m_feed.ModemRemoved(); }
    void ModemAdded() { m_feed.ModemAdded(); }

    // Ends the feed and refuses the actions still waiting (done is called
    // for each); the destructor does it too.
    void Close();

private:
    COwnerHub m_hub;
    COwnerWork m_work;
    COwnerFeed m_feed;
    COwnerActions m_actions;
    std::atomic<IOwnerUi*> m_ui{nullptr};
};

} // namespace kv
