// The SMS engine's view of the main window.
#include "app/SmsPageUi.h"

#include "app/Dialer_oneDlg.h"
#include "controls/MacProgressCtrl.h"
#include "host/HostIds.h"

namespace kvapp {

namespace {
CMacProgressCtrl* Progress(CDialer_oneDlg& dlg)
{
    return qobject_cast<CMacProgressCtrl*>(dlg.Control(kv::IDC_PROGRESS));
}
} // namespace

void CSmsPageUi::ShowProgress(int range)
{
    m_dlg.RunOnUi([&] {
        if (CMacProgressCtrl* p = Progress(m_dlg)) {
            p->SetIndeterminate(false);
            p->setRange(0, range > 0 ? range : 1);
            p->setValue(0);
            p->show();
        }
    });
}

void CSmsPageUi::StepProgress()
{
    m_dlg.RunOnUi([&] {
        if (CMacProgressCtrl* p = Progress(m_dlg))
            p->StepIt();
    });
}

void CSmsPageUi::HideProgress()
{
    m_dlg.RunOnUi([&] {
        if (CMacProgressCtrl* p = Progress(m_dlg))
            p->hide();
    });
}

uint16_t CSmsPageUi::PageState()
{
    uint16_t state = 0;
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            state = page->ListState();
    });
    return state;
}

void CSmsPageUi::RepaintPage()
{
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            page->Widget()->update();
        else
            m_dlg.update(); // the SMS indicator lives on the face
    });
}

void CSmsPageUi::ShowHome()
{
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            page->ResetSelection();
    });
}

int CSmsPageUi::ListItemCount()
{
    int n = 0;
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            n = page->ListItemCount();
    });
    return n;
}

int32_t CSmsPageUi::ListItemData(int item)
{
    int32_t v = 0;
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            v = page->ListItemData(item);
    });
    return v;
}

void CSmsPageUi::ClearListItemData(int item)
{
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            page->ClearListItemData(item);
    });
}

void CSmsPageUi::DeleteAllListItems()
{
    m_dlg.RunOnUi([&] {
        if (ISmsPage* page = m_dlg.SmsPage())
            page->DeleteAllListItems();
    });
}

} // namespace kvapp
