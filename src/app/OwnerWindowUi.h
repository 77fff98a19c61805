// What only the window can do for the owner's watchers: show itself back
// from the tray, and open the SMS page on a reply (a notification's Reply).
#pragma once

#include "host/OwnerActions.h"

#include <string>

class CDialer_oneDlg;

namespace kvapp {

class COwnerWindowUi : public kv::IOwnerUi {
public:
    explicit COwnerWindowUi(CDialer_oneDlg& dlg) : m_dlg(dlg) {}
    // Both post to the UI thread and return at once.
    void ShowSmsReply(const std::string& number) override;
    void ShowWindow() override;

private:
    CDialer_oneDlg& m_dlg;
};

} // namespace kvapp
