#include "controls/PageDialogs.h"

#include "controls/DialogIds.h"

#include <QDialog>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <vector>

namespace kvui {

namespace {

struct OpenDialog {
    QPointer<QDialog> dialog;
    QPointer<QObject> page;
    bool cancelled = false;
};

// Newest last. Entries live on the stack frames of ExecPageDialog; the list
// holds pointers to them.
std::vector<OpenDialog*>& Open()
{
    static std::vector<OpenDialog*> open;
    return open;
}

// Pages whose boxes are refused until the removal is over.
std::vector<QPointer<QObject>>& Cancelled()
{
    static std::vector<QPointer<QObject>> pages;
    return pages;
}

std::atomic<int> g_nOpen{0};

void MarkCancelled(QObject* page)
{
    if (page && !PageCancelled(page))
        Cancelled().emplace_back(page);
}

} // namespace

bool PageCancelled(const QObject* page)
{
    if (!page)
        return false;
    auto& pages = Cancelled();
    return std::any_of(pages.begin(), pages.end(), [page](const QPointer<QObject>& p) { return p == page; });
}

int ExecPageDialog(QDialog& d, int cancelResult, QObject* page)
{
    if (!page)
        page = d.parentWidget();
    if (PageCancelled(page))
        return cancelResult;
    OpenDialog entry{&d, page, false};
    Open().push_back(&entry);
    ++g_nOpen;
    const int result = d.exec();
    std::erase(Open(), &entry);
    --g_nOpen;
    return entry.cancelled ? cancelResult : result;
}

int PageMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                   QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton, QObject* page)
{
    QMessageBox box(icon, QString::fromLatin1(kCaption), text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    const int cancelled = (buttons & QMessageBox::No) ? QMessageBox::No
                          : (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel
                                                            : QMessageBox::Ok;
    return ExecPageDialog(box, cancelled, page ? page : parent);
}

void CancelPageDialogs(QObject* extraPage)
{
    MarkCancelled(extraPage);
    // A copy: closing a box lets nothing run before this loop ends (the box's
    // own loop returns later), but the list must not change under it.
    const std::vector<OpenDialog*> open = Open();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        OpenDialog* e = *it;
        MarkCancelled(e->page);
        e->cancelled = true;
        if (e->dialog)
            e->dialog->reject();
    }
}

void EndPageCancel() { Cancelled().clear(); }

int PageDialogsOpen() { return g_nOpen.load(); }

} // namespace kvui
