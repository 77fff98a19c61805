// The message boxes and questions that pages open over themselves, kept in
// one list so that the modem's removal can close them with their page.
//
// A page runs each of its boxes through ExecPageDialog. CancelPageDialogs
// (the removal's cancel) closes every box of the list, newest first, and
// refuses the pages that had one open any further box until the removal
// is over (EndPageCancel): such a box ends at once, as if the user had
// cancelled it. The code after a box so ended finds the answer "Cancel" or
// "No" and must expect its page to be closing.
//
// Everything here runs on the UI thread, except PageDialogsOpen, which any
// thread may read.
#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QObject;
class QWidget;

namespace kvui {

// Runs d modally for page (nullptr: d's parent). Returns d.exec()'s result,
// or cancelResult when the removal closed it or refused it.
int ExecPageDialog(QDialog& d, int cancelResult, QObject* page = nullptr);

// A message box with the caption "Korvianet" for page, run as above; a
// box closed by the removal answers No when it offers No, else Ok.
int PageMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton, QObject* page = nullptr);

// Closes every open page dialog as cancelled and refuses further boxes of
// their pages and of extraPage until EndPageCancel.
void CancelPageDialogs(QObject* extraPage = nullptr);
void EndPageCancel();
// Whether a box of page would be refused now.
bool PageCancelled(const QObject* page);

// Page dialogs open now (any thread).
int PageDialogsOpen();

} // namespace kvui
