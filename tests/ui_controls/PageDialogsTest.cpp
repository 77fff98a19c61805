// The pages' boxes as the modem's removal sees them: a removal closes every
// box a page has open as a cancel, newest first, refuses the next box of
// that page until it is over, and leaves the boxes of other pages alone.
#include "UiTestUtil.h"

#include "controls/PageDialogs.h"
#include "controls/UserMsgDlg.h"

#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvui;

namespace {

QMessageBox* OpenBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

} // namespace

TEST(PageDialogs, ARemovalClosesNestedBoxesAsNoAndRefusesThePageUntilItIsOver)
{
    QWidget page;
    page.show();
    std::vector<int> answers;
    int openAtCancel = -1;
    // The question opens a notice of its own before it is answered: both
    // are open when the modem goes.
    QTimer::singleShot(0, &page, [&] {
        answers.push_back(PageMessageBox(&page, QMessageBox::Information, "inner"));
    });
    QTimer::singleShot(100, &page, [&] {
        openAtCancel = PageDialogsOpen();
        CancelPageDialogs();
    });
    answers.push_back(PageMessageBox(&page, QMessageBox::Warning, "Delete?", QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes));
    EXPECT_EQ(openAtCancel, 2);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], QMessageBox::Ok);   // the inner notice, closed first
    EXPECT_EQ(answers[1], QMessageBox::No);   // the question: No, not its default Yes
    EXPECT_EQ(PageDialogsOpen(), 0);
    EXPECT_EQ(OpenBox(), nullptr);

    // What the page does after the answer cannot open a box that the
    // removal would wait for.
    EXPECT_TRUE(PageCancelled(&page));
    EXPECT_EQ(PageMessageBox(&page, QMessageBox::Warning, "again?", QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
    // Another page is not affected.
    QWidget other;
    other.show();
    uitest::MessageBoxCloser closer;
    EXPECT_EQ(PageMessageBox(&other, QMessageBox::Information, "other"), QMessageBox::Ok);
    EXPECT_EQ(closer.Texts(), QStringList{"other"});

    EndPageCancel();
    EXPECT_FALSE(PageCancelled(&page));
    PageMessageBox(&page, QMessageBox::Information, "after");
    EXPECT_EQ(closer.Texts(), (QStringList{"other", "after"}));
}

TEST(PageDialogs, ATimedPopupClosedByTheRemovalAnswersCancelNotItsDefault)
{
    QWidget page;
    CUserMsgDlg popup(nullptr, &page);
    popup.SetText("Do you like to delete this Message?");
    popup.SetMode(CUserMsgDlg::MODE_NOTICE);
    popup.SetCountdown(5, true);
    QTimer::singleShot(50, &page, [] { CancelPageDialogs(); });
    EXPECT_EQ(ExecPageDialog(popup, -1, &page), -1);
    EXPECT_EQ(popup.Result(), CUserMsgDlg::RESULT_CANCEL);
    // Refused before it shows: the caller's cancel value, the popup never opened.
    CUserMsgDlg next(nullptr, &page);
    EXPECT_EQ(ExecPageDialog(next, -1, &page), -1);
    EXPECT_FALSE(next.isVisible());
    EndPageCancel();
}
