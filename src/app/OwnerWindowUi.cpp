#include "app/OwnerWindowUi.h"

#include "app/Dialer_oneDlg.h"
#include "host/HostIds.h"

namespace kvapp {

void COwnerWindowUi::ShowSmsReply(const std::string& number)
{
    CDialer_oneDlg* d = &m_dlg;
    d->PostToUi([d, number] {
        d->ShowRestored();
        // The page rules may refuse the page (no modem, EV-DO only): then
        // the window shows why, as for the button.
        if (d->UserActiveView(kv::VIEW_SMS, 0) == 0 || !d->SmsPage())
            return;
        d->SmsPage()->SetComposeMode(true);
        d->SmsPage()->SetRecipients({number});
    });
}

void COwnerWindowUi::ShowWindow()
{
    CDialer_oneDlg* d = &m_dlg;
    d->PostToUi([d] { d->ShowRestored(); });
}

} // namespace kvapp
