// Renders every skin picture, a composed main face and each dialog to PNG
// files (offscreen), for looking at the artwork:
//   QT_QPA_PLATFORM=offscreen skin_gallery [out-dir]
#include "controls/DebugViews.h"
#include "controls/EditEx.h"
#include "controls/HListBox.h"
#include "controls/HoverButton.h"
#include "controls/MacProgressCtrl.h"
#include "controls/PinDlg.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "controls/UserMsgDlg.h"
#include "log/DebugLog.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <cstdio>

using namespace kvui;

namespace {

QString g_out;

void Save(const QPixmap& pm, const QString& name)
{
    const QString path = g_out + "/" + name;
    if (!pm.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// One sheet with every picture, magnified, on the display colour, labelled.
void ContactSheet()
{
    const int scale = 4;
    const int cellW = 190, cellH = 90;
    std::vector<int> ids;
    for (int id : SkinIds())
        if (id != IDB_MAIN_SKIN && id != IDI_MAIN && id != IDI_TRAY)
            ids.push_back(id);
    const int cols = 6;
    const int rows = int((ids.size() + cols - 1) / cols);
    QPixmap sheet(cols * cellW, rows * cellH);
    sheet.fill(QColor(0xd2, 0xe6, 0xf2));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (size_t i = 0; i < ids.size(); ++i) {
        const int id = ids[i];
        const QPixmap pm = SkinPixmap(id);
        const int x = int(i % cols) * cellW, y = int(i / cols) * cellH;
        p.setPen(QColor(0x88, 0x99, 0xaa));
        p.drawRect(x, y, cellW - 1, cellH - 1);
        p.setPen(Qt::black);
        p.drawText(x + 4, y + 14,
                   QString("%1  %2x%3 f%4").arg(id).arg(pm.width()).arg(pm.height()).arg(SkinFrameCount(id)));
        int s = scale;
        while (s > 1 && (pm.width() * s > cellW - 8 || pm.height() * s > cellH - 22))
            --s;
        p.drawPixmap(QRect(x + 4, y + 20, pm.width() * s, pm.height() * s), pm);
    }
    p.end();
    Save(sheet, "skin_sheet.png");
}

// The main face with every indicator, button and text line at its place.
void ComposedFace()
{
    QPixmap face = SkinPixmap(IDB_MAIN_SKIN).copy();
    QPainter p(&face);
    auto put = [&p](int id, int x, int y, int frame = 0) {
        const QPixmap pm = SkinPixmap(id);
        const int fw = pm.width() / SkinFrameCount(id);
        p.drawPixmap(QPoint(x, y), pm, QRect(frame * fw, 0, fw, pm.height()));
    };
    put(IDB_SIG1_L4, 28, 38);
    put(IDB_ROAMING, 46, 38);
    put(IDB_SMS_VOICE, 74, 38);
    put(IDB_RXD_ON, 90, 38);
    put(IDB_SERVICE_HYBRID, 110, 38);
    put(IDB_BATT_4, 136, 38);
    put(IDB_CHARGE_2, 140, 114);
    put(IDB_VOL_3, 25, 140);
    put(IDB_DRC_FIRST + 8, 8, 310);
    put(IDB_BTN_NET, 96, 345, 1);
    put(IDB_BTN_SETTING, 96, 405);
    put(IDB_BTN_MINIMIZE, 404, 15);
    put(IDB_BTN_EXIT, 435, 15);
    p.end();
    // Text lines drawn by the real control.
    QWidget host;
    host.resize(face.size());
    QLabel back(&host);
    back.setPixmap(face);
    back.setGeometry(0, 0, face.width(), face.height());
    const QColor grey = FromColorRef(0x787878);
    CTextStatic msg(&host, 1004), status(&host, 1072), line1(&host, 1071);
    msg.setGeometry(150, 344, 200, 40);
    status.setGeometry(150, 405, 200, 40);
    line1.setGeometry(150, 162, 200, 40);
    for (CTextStatic* t : {&msg, &status, &line1}) {
        t->SetTextColor(grey);
        t->SetTextFont(12, 600, "MS Serif");
    }
    msg.SetText("\nKorvia");
    status.SetText("\rSettings");
    line1.SetText("Incoming call 0123456789", true);
    CMacProgressCtrl bar(&host, 1153);
    bar.setGeometry(5, 180, 120, 8);
    bar.SetBarColor(FromColorRef(0xD346F7));
    bar.setRange(0, 100);
    bar.setValue(60);
    Save(host.grab(), "main_face_composed.png");
    Save(SkinPixmap(IDB_MAIN_SKIN), "skin_346_main_face.png");
}

void Icons()
{
    QPixmap pm(2 * 56, 56);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.drawPixmap(4, 4, SkinIcon(IDI_MAIN).pixmap(48, 48));
    p.drawPixmap(60, 4, SkinIcon(IDI_TRAY).pixmap(48, 48));
    p.end();
    Save(pm, "icons_128_228.png");
}

// Dialogs are grabbed once they have run their initialisation (from a
// timer inside their exec) and then closed.
template <typename Dlg>
void GrabModal(Dlg& dlg, const QString& name)
{
    QTimer::singleShot(50, &dlg, [&dlg, name] {
        Save(dlg.grab(), name);
        dlg.done(QDialog::Rejected);
    });
    dlg.exec();
}

void Dialogs()
{
    CUserMsgDlg popup;
    popup.SetText("Not enough space to store new message\nPlease delete the old messege.");
    popup.SetIcon(QStyle::SP_MessageBoxCritical);
    popup.SetMode(CUserMsgDlg::MODE_QUESTION);
    GrabModal(popup, "dlg_user_msg.png");

    CUserMsgDlg notice;
    notice.SetText("Sending messages have successful.");
    notice.SetMode(CUserMsgDlg::MODE_NOTICE_NO_CANCEL);
    GrabModal(notice, "dlg_user_msg_notice.png");

    CPinDlg pin;
    pin.SetMode(2);
    GrabModal(pin, "dlg_pin.png");

    CPinDlg unblock;
    unblock.SetMode(4);
    GrabModal(unblock, "dlg_pin_unblock.png");

    CDebugViews log;
    log.ShowForDiagnostics();
    for (int i = 0; i < 6; ++i)
        DEBUG_LOG(LEVEL_ST, "OnInitDialog() Start %d", i);
    DEBUG_LOG(LEVEL_DM, "DM_GET_INFO");
    DEBUG_LOG(LEVEL_RAS, "a rather long dial-up line to show the horizontal extent of the list grows with it ......");
    Save(log.grab(), "dlg_debug_views.png");
    log.resize(700, 260);
    Save(log.grab(), "dlg_debug_views_resized.png");
    log.hide();
}

void Controls()
{
    QWidget host;
    host.resize(420, 200);
    host.setAutoFillBackground(true);
    CTextStatic wrapped(&host, 1);
    wrapped.setGeometry(10, 10, 130, 60);
    wrapped.SetText("0123456789012345678901234567890123456789", true);
    CEditEx edit(&host, 1049);
    edit.setGeometry(150, 10, 120, 59);
    edit.SetFontEx(12, 400, false, "Courier");
    edit.SetText("Hello from the\ncompose field");
    CMacProgressCtrl bar(&host, 2), stripes(&host, 3);
    bar.setGeometry(10, 90, 250, 14);
    bar.SetBarColor(FromColorRef(0xD346F7));
    bar.setValue(70);
    stripes.setGeometry(10, 115, 250, 14);
    stripes.SetBarColor(QColor(0x3f, 0x6c, 0xa3));
    stripes.SetIndeterminate(true);
    CHoverButton b1(&host, 10), b2(&host, 11), b3(&host, 12);
    b1.SetBitmap(IDB_BTN_SETTING);
    b1.move(280, 10);
    b2.SetBitmap(IDB_BTN_BALANCE);
    b2.setEnabled(false);
    b2.move(340, 10);
    b3.SetBitmap(IDB_BTN_SEND);
    b3.move(280, 60);
    Save(host.grab(), "controls.png");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("gallery");
    QDir().mkpath(g_out);
    ContactSheet();
    ComposedFace();
    Icons();
    Controls();
    Dialogs();
    return 0;
}
