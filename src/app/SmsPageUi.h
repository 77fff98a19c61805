// What the SMS engine asks of the windows around it, served by the main
// window: its progress bar for long message reads, and the SMS page's state,
// repaint and home view when a page is embedded. The engine calls these from
// its own thread as well as from the UI thread; every call runs on the UI
// thread and the engine waits for it.
#pragma once

#include "messaging/SmsShared.h"

class CDialer_oneDlg;

namespace kvapp {

class CSmsPageUi : public kv::ISmsPageUi {
public:
    explicit CSmsPageUi(CDialer_oneDlg& dlg) : m_dlg(dlg) {}

    void ShowProgress(int range) override;
    void StepProgress() override;
    void HideProgress() override;
    // The page's list state word; without a page the home view (0).
    uint16_t PageState() override;
    void RepaintPage() override;
    void ShowHome() override;
    int ListItemCount() override;
    int32_t ListItemData(int item) override;
    void ClearListItemData(int item) override;
    void DeleteAllListItems() override;

private:
    CDialer_oneDlg& m_dlg;
};

} // namespace kvapp
