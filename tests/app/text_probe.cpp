// Shoots every window with its texts and, for each text, once more with only
// that text made invisible, so that a script can tell the text's pixels from
// what they stand on and measure both (scripts/check-text-contrast.py):
//   QT_QPA_PLATFORM=offscreen kv_text_probe <out-dir> [--no-modem]
// Writes <window>.png to look at, <window>.ppm and <window>-<n>.ppm for the
// measurement, and manifest.tsv: window, n, name, text colour, x, y, w, h.
#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/Dialer_oneDlg.h"
#include "controls/EditEx.h"
#include "controls/PinDlg.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/SkinPaint.h"
#include "controls/TextStatic.h"
#include "controls/UserMsgDlg.h"
#include "data/AppDatabase.h"
#include "messaging/SmsView.h"
#include "sim/ModemSimulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

using namespace kv;
using namespace kvapp;

namespace {

QString g_out;
FILE* g_manifest = nullptr;

struct Item {
    QString name;
    QRect rect;                        // in the window's pixels
    QColor colour;
    std::function<void(bool)> hide;    // true: text invisible, false: back
};

void SaveShot(const QImage& img, const QString& name)
{
    img.convertToFormat(QImage::Format_RGB32).save(g_out + "/" + name + ".ppm", "PPM");
}

void Record(const QString& window, int n, const Item& it)
{
    std::fprintf(g_manifest, "%s\t%d\t%s\t%s\t%d\t%d\t%d\t%d\n", qPrintable(window), n,
                 qPrintable(QString(it.name).replace('\t', ' ').replace('\n', ' ')),
                 qPrintable(it.colour.name()), it.rect.x(), it.rect.y(), it.rect.width(), it.rect.height());
}

// A palette with the given roles fully transparent (or the saved one back).
std::function<void(bool)> PaletteHider(QWidget* w, std::initializer_list<QPalette::ColorRole> roles)
{
    const QPalette saved = w->palette();
    std::vector<QPalette::ColorRole> r(roles);
    return [w, saved, r](bool hide) {
        if (!hide) {
            w->setPalette(saved);
            return;
        }
        QPalette p = saved;
        for (auto role : r)
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                p.setColor(group, role, Qt::transparent);
        w->setPalette(p);
    };
}

std::vector<Item> TextsOf(QWidget* top)
{
    std::vector<Item> items;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(top) || w->window() != top)
            continue;
        const QRect rect(w->mapTo(top, QPoint(0, 0)), w->size());
        QString id = w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
        if (!w->isEnabled())
            id = "[disabled] " + id;
        if (auto* t = qobject_cast<CTextStatic*>(w)) {
            if (t->ShownText().trimmed().isEmpty())
                continue;
            const QColor c = t->TextColor();
            items.push_back({id + " \"" + t->ShownText().simplified() + "\"", rect, c,
                             [t, c](bool hide) { t->SetTextColor(hide ? QColor(Qt::transparent) : c); }});
        } else if (auto* e = qobject_cast<CEditEx*>(w)) {
            if (e->toPlainText().trimmed().isEmpty())
                continue;
            const QColor c = e->TextColor().isValid() ? e->TextColor() : e->palette().color(QPalette::Text);
            items.push_back({id + " \"" + e->toPlainText().simplified() + "\"", rect, c,
                             [e, c](bool hide) { e->SetTextColor(hide ? QColor(Qt::transparent) : c); }});
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->text().trimmed().isEmpty())
                continue;
            items.push_back({id + " \"" + l->text().simplified() + "\"", rect,
                             l->palette().color(l->foregroundRole()), PaletteHider(l, {QPalette::WindowText})});
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            if (b->text().trimmed().isEmpty())
                continue;
            items.push_back({id + " \"" + b->text().simplified() + "\"", rect,
                             b->palette().color(b->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                QPalette::WindowText),
                             PaletteHider(b, {QPalette::WindowText, QPalette::ButtonText})});
        } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
            if (cb->currentText().isEmpty() || cb->isEditable())
                continue;
            items.push_back({id + " \"" + cb->currentText() + "\"", rect,
                             cb->palette().color(cb->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                 QPalette::ButtonText),
                             PaletteHider(cb, {QPalette::ButtonText, QPalette::Text, QPalette::WindowText})});
        } else if (auto* le = qobject_cast<QLineEdit*>(w)) {
            if (le->text().isEmpty())
                continue;
            items.push_back({id + " \"" + le->text() + "\"", rect, le->palette().color(QPalette::Text),
                             PaletteHider(le, {QPalette::Text})});
        }
    }
    return items;
}

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// One window: the shot to look at, the shot with every text, and one per
// text without it.
void Probe(QWidget* top, const QString& window)
{
    Settle();
    const QImage all = top->grab().toImage();
    all.save(g_out + "/" + window + ".png");
    SaveShot(all, window);
    int n = 0;
    for (Item& it : TextsOf(top)) {
        it.hide(true);
        Settle();
        SaveShot(top->grab().toImage(), QString("%1-%2").arg(window).arg(n));
        it.hide(false);
        Settle();
        Record(window, n, it);
        ++n;
    }
}

// The pictures with words painted into them: the face and the text keys.
void ProbeArtwork()
{
    using namespace kvui;
    const QSize face(500, 640);
    QImage with(face, QImage::Format_RGB32), without(face, QImage::Format_RGB32);
    for (auto [img, texts] : {std::pair{&with, true}, std::pair{&without, false}}) {
        img->fill(QColor(255, 0, 255));
        QPainter p(img);
        skinpaint::PaintMainFace(p, face.width(), face.height(), texts);
    }
    with.save(g_out + "/face.png");
    SaveShot(with, "face");
    SaveShot(without, "face-0");
    for (const auto& t : skinpaint::FaceTexts())
        Record("face", 0, {QString("face \"%1\"").arg(t.text), t.rect, t.colour, {}});

    // Keys: normal, hover and pressed frames side by side, one row a key.
    std::vector<int> keys;
    for (int id : SkinIds())
        if (skinpaint::ButtonGlyphIsText(id))
            keys.push_back(id);
    const int cell = 70, rowH = 32;
    QImage kw(cell * 3, rowH * int(keys.size()), QImage::Format_RGB32), kwo = kw;
    for (auto [img, glyph] : {std::pair{&kw, true}, std::pair{&kwo, false}}) {
        img->fill(QColor(0xd2, 0xe6, 0xf2));
        QPainter p(img);
        for (size_t r = 0; r < keys.size(); ++r) {
            const QSize fs(SkinPixmap(keys[r]).width() / SkinFrameCount(keys[r]), SkinPixmap(keys[r]).height());
            for (int f = 0; f < 3; ++f) {
                p.save();
                p.translate(f * cell, int(r) * rowH);
                skinpaint::PaintButtonFrame(p, keys[r], f, fs.width(), fs.height(), glyph);
                p.restore();
            }
        }
    }
    kw.save(g_out + "/keys.png");
    SaveShot(kw, "keys");
    SaveShot(kwo, "keys-0");
    for (size_t r = 0; r < keys.size(); ++r) {
        const QSize fs(SkinPixmap(keys[r]).width() / SkinFrameCount(keys[r]), SkinPixmap(keys[r]).height());
        for (int f = 0; f < 3; ++f)
            Record("keys", 0, {QString("key %1 frame %2").arg(keys[r]).arg(f), QRect(QPoint(f * cell, int(r) * rowH), fs),
                               skinpaint::ButtonGlyphColour(keys[r], f), {}});
    }

    // The SMS page's text buttons.
    const auto faces = kvsms::SmsButtonFaces();
    QImage sw(4 * 60, 24 * int(faces.size()), QImage::Format_RGB32), swo = sw;
    for (auto [img, text] : {std::pair{&sw, true}, std::pair{&swo, false}}) {
        img->fill(QColor(0xd2, 0xe6, 0xf2));
        QPainter p(img);
        for (size_t r = 0; r < faces.size(); ++r)
            p.drawPixmap(0, int(r) * 24, kvsms::SmsButtonStrip(faces[r].label, faces[r].w, faces[r].h, text));
    }
    sw.save(g_out + "/sms-keys.png");
    SaveShot(sw, "sms-keys");
    SaveShot(swo, "sms-keys-0");
    for (size_t r = 0; r < faces.size(); ++r)
        for (int f = 0; f < 3; ++f)
            Record("sms-keys", 0, {QString("sms key \"%1\" frame %2").arg(faces[r].label).arg(f),
                                   QRect(f * faces[r].w, int(r) * 24, faces[r].w, faces[r].h), Qt::white, {}});
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

CTextStatic* Line(CDialer_oneDlg& dlg, int id) { return static_cast<CTextStatic*>(dlg.Control(id)); }

// Every text line of the face shown at once with texts it shows in use.
void ProbeMainWindow()
{
    CDialer_oneDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    Settle();
    Probe(&dlg, "main-start");
    Line(dlg, IDC_STATUS_LINE_1071)->SetText("UIM: PIN", true);
    Line(dlg, IDC_STATUS_LINE_1115)->SetText("Network Signal: -75 dBm", true);
    Line(dlg, IDC_STATUS_LINE_1116)->SetText("EV-DO Rev.A", true);
    Line(dlg, IDC_MESSAGE_LINE)->SetText("\nConnected", false);
    Line(dlg, IDC_DURATION_LINE)->SetText("00:12:34", false);
    for (int id : {IDC_STATUS_LINE_1071, IDC_STATUS_LINE_1115, IDC_STATUS_LINE_1116, int(IDC_MESSAGE_LINE),
                   IDC_DURATION_LINE})
        dlg.Control(id)->show();
    Probe(&dlg, "main-lines");
    dlg.CloseProcedure();
}

void ProbeSettings()
{
    ConfigEnv env;
    env.messageBox = [](const std::string&, BoxIcon) {};
    for (int page = cfg::PAGE_ABOUT; page <= cfg::PAGE_PREV_MONTH; ++page) {
        CConfigView view(env);
        view.SetPage(page);
        view.OnInitDialog();
        view.show();
        if (page == cfg::PAGE_MONTH) {
            // The largest limits the fields take, for the widest scale.
            for (auto [id, down] : {std::pair{cfg::IDC_LIMIT_DOWN, true}, std::pair{cfg::IDC_LIMIT_UP, false}}) {
                if (auto* e = qobject_cast<QLineEdit*>(view.Control(id)))
                    e->setText("1048576");
                view.OnApplyLimit(down);
            }
        }
        Probe(&view, QString("settings-%1").arg(page));
    }
}

void ProbePopups()
{
    CUserMsgDlg d;
    d.SetText("The message has been sent to 3 recipients.");
    d.SetIcon(QStyle::SP_MessageBoxInformation);
    d.SetMode(1);
    QTimer::singleShot(200, &d, [&] {
        Probe(&d, "popup");
        d.done(QDialog::Accepted);
    });
    d.exec();
    CPinDlg pin;
    pin.SetMode(4);
    QTimer::singleShot(200, &pin, [&] {
        Probe(&pin, "pin");
        pin.OnExit();
    });
    pin.exec();
}

void ProbeSmsPage(const QString& dbPath)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    if (!sim.Start()) {
        std::fprintf(stderr, "no simulator: the SMS page is left out\n");
        return;
    }
    {
        CAppDatabase db(dbPath.toStdString());
        CDialer_oneDlg dlg(&db);
        WireMessaging(dlg, db);
        dlg.OnInitDialog();
        dlg.show();
        const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        if (PumpUntil([&] { return (dlg.State().m_ucUiFlags.load() & both) == both
                                   && dlg.Control(IDC_SMS_TOGGLE)->isEnabled(); },
                      60000)) {
            Probe(&dlg, "main-ready");
            dlg.OnCommand(IDC_SMS_TOGGLE);
            Probe(&dlg, "sms-home");
            if (auto* page = dynamic_cast<kvsms::CSmsView*>(dlg.SmsPage()->Widget())) {
                page->OnCommand(kvsms::IDC_SMS_NEW);
                Probe(&dlg, "sms-new");
            }
        } else {
            std::fprintf(stderr, "the window never became ready: the SMS page is left out\n");
        }
        dlg.CloseProcedure();
    }
    sim.Stop();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kv_text_probe <out-dir> [--no-modem]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Private folders: no settings, devices or runtime files of the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("KORVIANET_SYSFS_ROOT", (home.path() + "/no-sysfs").toUtf8());
    QDir::setCurrent(home.path());
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    g_manifest = std::fopen(qPrintable(g_out + "/manifest.tsv"), "w");
    if (!g_manifest)
        return 2;
    const bool modem = !(argc > 2 && std::string(argv[2]) == "--no-modem");
    ProbeArtwork();
    ProbeMainWindow();
    ProbeSettings();
    ProbePopups();
    if (modem) {
        const QString db = home.path() + "/WVL.MDB";
        std::filesystem::copy_file(KORVIA_BUILT_DB, db.toStdString());
        ProbeSmsPage(db);
    }
    std::fclose(g_manifest);
    return 0;
}
