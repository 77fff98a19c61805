// The settings page's window: placement, skin, controls of every page, page
// switching and loading each page's values, the posted figures and the
// dragging. The Apply actions are in ConfigApply.cpp.
#include "app/ConfigView.h"
#include "app/UsagePlanDlg.h"
#include "app/UsageWindow.h"

#include "app/ConfigIds.h"
#include "controls/HoverButton.h"
#include "controls/MacProgressCtrl.h"
#include "controls/PageDialogs.h"
#include "controls/RegionFromBitmap.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "net/Reconnect.h"
#include "notify/NotifySettings.h"
#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "settings/StaticApn.h"
#include "traffic/TrafficDisplay.h"
#include "traffic/TrafficStats.h"
#include "version/Version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <QPainterPath>
#include <QRadioButton>

#include <algorithm>
#include <ctime>
#include <tuple>

namespace kvapp {

using namespace cfg;

namespace {

const QColor kKey(255, 0, 255);
const QColor kLabelColour(0xe6, 0xee, 0xf8);
const QColor kSeparator(0x86, 0xA5, 0xFF);
constexpr int kContentTop = 100;
// The traffic pages' tabs: Totals, This Month, Last Month, in a row under
// the page buttons.
constexpr int kTrafficTabs[] = {IDC_PAGE_TRAFFIC, IDC_PAGE_MONTH, IDC_PAGE_PREV_MONTH};
constexpr int kTrafficTabY = 82, kTrafficTabW = 84, kTrafficTabH = 18;
constexpr bool IsTrafficPage(int page)
{
    return page == PAGE_TRAFFIC || page == PAGE_MONTH || page == PAGE_PREV_MONTH;
}
constexpr int kLabelH = 18;
constexpr int kFieldH = 20;

// The face: a rounded panel in blues, the corners in the key colour.
QPixmap ConfigSkin()
{
    QPixmap pm(kWidth, kHeight);
    pm.fill(kKey);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, kWidth, kHeight), 14, 14);
    QLinearGradient g(0, 0, 0, kHeight);
    g.setColorAt(0, QColor(0x1d, 0x3f, 0x86));
    g.setColorAt(1, QColor(0x0b, 0x1d, 0x45));
    p.fillPath(outline, g);
    p.setPen(QColor(0x86, 0xA5, 0xFF));
    p.drawRoundedRect(QRectF(1, 1, kWidth - 3, kHeight - 3), 13, 13);
    p.fillRect(QRect(5, 44, kWidth - 10, 1), QColor(0x86, 0xA5, 0xFF));
    QFont f;
    f.setPixelSize(15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(16, 10, 220, 24), Qt::AlignLeft | Qt::AlignVCenter, "Korvianet Settings");
    return pm;
}

// A button strip of four frames: normal, hover, pressed, disabled.
QPixmap ButtonStrip(const QString& text, int w, int h)
{
    QPixmap pm(w * 4, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor faces[4] = {QColor(0x3a, 0x66, 0xc4), QColor(0x52, 0x82, 0xe6), QColor(0x22, 0x44, 0x8c),
                             QColor(0x6c, 0x76, 0x8a)};
    QFont f;
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    for (int i = 0; i < 4; ++i) {
        QRectF r(i * w + 0.5, 0.5, w - 1, h - 1);
        p.setPen(QColor(0xc8, 0xd6, 0xff));
        p.setBrush(faces[i]);
        p.drawRoundedRect(r, 4, 4);
        p.setPen(i == 3 ? QColor(0x2a, 0x30, 0x3c) : Qt::white);
        p.drawText(r, Qt::AlignCenter, text);
    }
    return pm;
}

} // namespace

CConfigView::CConfigView(ConfigEnv env, QWidget* parent) : QDialog(parent), m_env(std::move(env))
{
    setObjectName("130");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(text::kCaption);
    CreateControls();
    // Light captions on the dark face; the indicators keep their own
    // colours (a style sheet colour would paint their marks white on white).
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        if (!qobject_cast<QCheckBox*>(b) && !qobject_cast<QRadioButton*>(b))
            continue;
        QPalette pal = b->palette();
        pal.setColor(QPalette::WindowText, kLabelColour);
        b->setPalette(pal);
    }
}

CConfigView::~CConfigView()
{
    if (m_env.owner)
        m_env.owner->SetModalWindow(nullptr);
}

int CConfigView::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

QWidget* CConfigView::Control(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QString CConfigView::LabelText(const char* name) const
{
    auto it = m_labels.find(name);
    return it == m_labels.end() ? QString() : it->second->Text();
}

double CConfigView::Limit(bool previous, bool download) const
{
    if (previous)
        return download ? m_dDownLimitPrev : m_dUpLimitPrev;
    return download ? m_dDownLimit : m_dUpLimit;
}

void CConfigView::Add(int page, QWidget* w) { m_pageWidgets[page].push_back(w); }

CTextStatic* CConfigView::Label(const char* key, const QString& text, int x, int y, int w, int page)
{
    auto* l = new CTextStatic(this);
    l->SetBackColor(Qt::transparent);
    l->SetTextColor(kLabelColour);
    if (page == PAGE_MONTH || page == PAGE_PREV_MONTH) {
        // The month pages hold four columns in 344 pixels: a narrower face
        // keeps every label whole and apart at a readable size.
        QFont f(font().family());
        f.setPixelSize(11);
        f.setStretch(QFont::SemiCondensed);
        l->SetTextFont(f);
    } else {
        l->SetTextFont(12, QFont::Normal, font().family());
    }
    l->SetAlignment(CTextStatic::ALIGN_LEFT);
    l->SetText(text);
    l->setGeometry(x, y, w, kLabelH);
    m_labels[key] = l;
    if (page > 0)
        Add(page, l);
    return l;
}

void CConfigView::CreateControls()
{
    auto button = [this](int id, const QString& text, const char* tip, int w, int h) {
        auto* b = new CHoverButton(this, id);
        b->SetBitmap(ButtonStrip(text, w, h), 4);
        b->MarkLook(CHoverButton::LOOK_DISABLED_FRAME3);
        b->SetTooltipText(tip);
        b->setObjectName(QString::number(id));
        m_controls[id] = b;
        return b;
    };
    auto edit = [this](int id, int page) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::number(id));
        m_controls[id] = e;
        Add(page, e);
        return e;
    };

    // Page buttons, Exit.
    const struct {
        int id;
        const char* text;
        const char* tip;
        int page;
    } pages[] = {
        {IDC_PAGE_ABOUT, "About", text::kTipAbout, PAGE_ABOUT},
        {IDC_PAGE_BASIC, "Basic", text::kTipBasic, PAGE_BASIC},
        {IDC_PAGE_RUIM, "RUIM Card", text::kTipRuim, PAGE_RUIM},
        {IDC_PAGE_NAMING, "Naming", text::kTipNaming, PAGE_NAMING},
        {IDC_PAGE_ADVANCED, "Advanced", text::kTipAdvanced, PAGE_ADVANCED},
        {IDC_PAGE_USER, "User", "", PAGE_USER},
        {IDC_PAGE_BOOST, "BOOST", "", PAGE_BOOST},
        {IDC_PAGE_TRAFFIC, "Totals", text::kTipTraffic, PAGE_TRAFFIC},
        {IDC_PAGE_MONTH, "This Month", "", PAGE_MONTH},
        {IDC_PAGE_PREV_MONTH, "Last Month", "", PAGE_PREV_MONTH},
    };
    for (const auto& pg : pages) {
        // The traffic pages' own row of tabs is narrower and lower.
        const bool traffic = IsTrafficPage(pg.page);
        CHoverButton* b = button(pg.id, pg.text, pg.tip, traffic ? kTrafficTabW : 62, traffic ? kTrafficTabH : 24);
        const int page = pg.page;
        // Every page has a way to it: the User button opens its page, and
        // the traffic pages reach each other through their tabs.
        connect(b, &QAbstractButton::clicked, this, [this, page] { ShowPage(page); });
    }
    CHoverButton* exitButton = button(IDC_EXIT, "X", text::kTipExit, 22, 22);
    connect(exitButton, &QAbstractButton::clicked, this, [this] { reject(); });

    // About.
    Label("version", QString::asprintf(text::kVersionFormat, (std::string(text::kVersionName) + kv::ProgramVersion()).c_str()),
          20, 112, 300, PAGE_ABOUT);
    auto* notice = Label("notice", "", 20, 140, 300, PAGE_ABOUT);
    notice->SetAlignment(CTextStatic::ALIGN_FORMAT, Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    notice->SetText(text::kNotice);
    notice->setGeometry(20, 140, 300, 60);

    // Basic.
    auto* account = new QCheckBox("Data Call Account :", this);
    account->setObjectName(QString::number(IDC_ACCOUNT_CHECK));
    m_controls[IDC_ACCOUNT_CHECK] = account;
    Add(PAGE_BASIC, account);
    Label("username", "UserName :", 30, 0, 90, PAGE_BASIC);
    Label("password", "Password :", 30, 0, 90, PAGE_BASIC);
    edit(IDC_USERNAME, PAGE_BASIC);
    edit(IDC_PASSWORD, PAGE_BASIC)->setEchoMode(QLineEdit::Password);
    auto* dyn = new QRadioButton("Dynamic", this);
    auto* stat = new QRadioButton("Static", this);
    dyn->setObjectName(QString::number(IDC_APN_DYNAMIC));
    stat->setObjectName(QString::number(IDC_APN_STATIC));
    m_controls[IDC_APN_DYNAMIC] = dyn;
    m_controls[IDC_APN_STATIC] = stat;
    Add(PAGE_BASIC, dyn);
    Add(PAGE_BASIC, stat);
    connect(dyn, &QRadioButton::clicked, this, [this] { OnApnMode(true); });
    connect(stat, &QRadioButton::clicked, this, [this] { OnApnMode(false); });
    Label("apn", "APN:", 30, 0, 40, PAGE_BASIC);
    auto* apnList = new QComboBox(this);
    apnList->setEditable(true);
    apnList->setInsertPolicy(QComboBox::NoInsert);
    apnList->setObjectName(QString::number(IDC_APN_LIST));
    m_controls[IDC_APN_LIST] = apnList;
    Add(PAGE_BASIC, apnList);
    Add(PAGE_BASIC, button(IDC_APN_DELETE, "Delete", text::kTipDelete, 56, 22));
    connect(static_cast<CHoverButton*>(m_controls[IDC_APN_DELETE]), &QAbstractButton::clicked, this,
            &CConfigView::OnDeleteApn);
    auto* reconnect = new QCheckBox("Reconnect when the link drops", this);
    reconnect->setObjectName(QString::number(IDC_RECONNECT));
    m_controls[IDC_RECONNECT] = reconnect;
    Add(PAGE_BASIC, reconnect);

    // RUIM Card.
    Label("ruim_status", "", 20, 104, 300, PAGE_RUIM);
    Label("pin_mode", "PIN Mode:", 20, 146, 110, PAGE_RUIM);
    auto* action = new QComboBox(this);
    action->setObjectName(QString::number(IDC_PIN_ACTION));
    m_controls[IDC_PIN_ACTION] = action;
    Add(PAGE_RUIM, action);
    connect(action, &QComboBox::activated, this, &CConfigView::OnPinActionChosen);
    const char* pinLabels[] = {"pin_1", "pin_2", "pin_3"};
    const int pinIds[] = {IDC_PIN_1, IDC_PIN_2, IDC_PIN_3};
    for (int i = 0; i < 3; ++i) {
        Label(pinLabels[i], text::kPinNumber, 20, 178 + i * 26, 120, 0);
        QLineEdit* e = edit(pinIds[i], 0);
        e->setEchoMode(QLineEdit::Password);
        e->setMaxLength(8);
    }

    // Advanced.
    auto* autorun = new QCheckBox("startup autorun", this);
    autorun->setObjectName(QString::number(IDC_AUTORUN));
    m_controls[IDC_AUTORUN] = autorun;
    Add(PAGE_ADVANCED, autorun);
    auto* notifications = new QCheckBox("Desktop notifications", this);
    notifications->setObjectName(QString::number(IDC_NOTIFICATIONS));
    m_controls[IDC_NOTIFICATIONS] = notifications;
    Add(PAGE_ADVANCED, notifications);
    Add(PAGE_ADVANCED, button(IDC_RESTART_LINK, "Restart Modem Link", text::kTipRestartLink, 150, 24));
    connect(static_cast<CHoverButton*>(m_controls[IDC_RESTART_LINK]), &QAbstractButton::clicked, this,
            &CConfigView::OnRestartLink);
    Add(PAGE_ADVANCED, button(IDC_ADV_OK, "OK", text::kTipOk, 60, 24));
    connect(static_cast<CHoverButton*>(m_controls[IDC_ADV_OK]), &QAbstractButton::clicked, this,
            &CConfigView::OnApply);

    // User.
    Label("top", "Always On Top :", 20, 124, 150, PAGE_USER);
    Label("batsound", "Battery Warning Sound :", 20, 156, 170, PAGE_USER);
    for (int id : {IDC_TOP_LIST, IDC_BAT_LIST}) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::number(id));
        c->addItems({text::kOff, text::kOn});
        m_controls[id] = c;
        Add(PAGE_USER, c);
    }
    auto* batCheck = new QCheckBox(this);
    batCheck->setObjectName(QString::number(IDC_BAT_CHECK));
    m_controls[IDC_BAT_CHECK] = batCheck;
    Add(PAGE_USER, batCheck);
    Add(PAGE_USER, account); // the same box 1151 serves as the on-top box

    // Shared Apply (Basic, RUIM Card, User and the pages without an action).
    CHoverButton* apply = button(IDC_APPLY, "Apply", text::kTipOk, 60, 24);
    connect(apply, &QAbstractButton::clicked, this, &CConfigView::OnApply);
    for (int page : {PAGE_BASIC, PAGE_RUIM, PAGE_USER})
        Add(page, apply);

    // Traffic.
    const char* names[] = {"sent", "received", "duration", "reset_time", "total_sent", "total_received"};
    const char* titles[] = {"Sent :", "Received :", "Duration :", "Last Reset Time :", "Total Sent :",
                            "Total Received :"};
    const char* initial[] = {"0B", "0B", "00:00:00", "00-00-0000 00:00:00", "0B", "0B"};
    for (int i = 0; i < 6; ++i) {
        const int y = 104 + i * 22 + (i >= 4 ? 10 : 0);
        Label((std::string(names[i]) + "_title").c_str(), titles[i], 20, y, 120, PAGE_TRAFFIC);
        Label(names[i], initial[i], 140, y, 190, PAGE_TRAFFIC);
    }
    Label("reference", "The traffic is for reference only.", 20, 250, 300, PAGE_TRAFFIC);
    Add(PAGE_TRAFFIC, button(IDC_TRAFFIC_RESET, "Traffic Reset", text::kTipReset, 100, 24));
    connect(static_cast<CHoverButton*>(m_controls[IDC_TRAFFIC_RESET]), &QAbstractButton::clicked, this,
            &CConfigView::OnTrafficReset);
    // Ours: the usage history window, and the data plan beside the month limits.
    auto* usage = new QPushButton("Data Usage", this);
    usage->setObjectName("open_usage_window");
    usage->setGeometry(130, 272, 100, 24);
    connect(usage, &QPushButton::clicked, this, [this] { OpenUsageWindow(this); });
    Add(PAGE_TRAFFIC, usage);
    auto* plan = new QPushButton("Data Plan", this);
    plan->setObjectName("open_usage_plan");
    plan->setGeometry(240, 290, 80, 22);
    connect(plan, &QPushButton::clicked, this, [this] { CUsagePlanDlg(this).exec(); });
    Add(PAGE_MONTH, plan);

    // Month pages: one set of labels and bars serves both; the limit fields
    // and the session row belong to one page each.
    for (int page : {PAGE_MONTH, PAGE_PREV_MONTH}) {
        const std::string p = page == PAGE_MONTH ? "m_" : "p_";
        auto L = [&](const char* key, const char* text, int x, int y, int w) {
            return Label((p + key).c_str(), text, x, y, w, page);
        };
        // Group names on the left, the names of their rows right-aligned
        // against the fields so that the two never run into each other.
        auto R = [&](const char* key, const char* text, int y) {
            CTextStatic* l = L(key, text, 61, y, 63);
            l->SetAlignment(CTextStatic::ALIGN_RIGHT);
            return l;
        };
        L("date", "Date :", 6, 100, 54);
        R("start_t", "Start :", 100);
        L("start", "", 126, 100, 90);
        R("end_t", "End :", 116);
        L("end", "", 126, 116, 90);
        L("limit", "Limit :", 6, 138, 54);
        R("down_t", "Download :", 138);
        R("up_t", "Upload :", 162);
        L("down_mb", "MB", 176, 138, 22);
        L("up_mb", "MB", 176, 162, 22);
        L("transfer", "Transfer :", 6, 186, 54);
        R("tdown_t", "Download :", 186);
        R("tup_t", "Upload :", 202);
        R("ttotal_t", "Total :", 218);
        L("tdown", "", 126, 186, 58);
        L("tup", "", 126, 202, 58);
        L("ttotal", "", 126, 218, 58);
        L("tdown_u", "Bytes", 184, 186, 34);
        L("tup_u", "Bytes", 184, 202, 34);
        L("ttotal_u", "Bytes", 184, 218, 34);
        // The bars: each with its scale on its left, in a narrow face wide
        // enough for the largest limit ("1048576.0").
        QFont narrow(font().family());
        narrow.setPixelSize(10);
        narrow.setStretch(QFont::SemiCondensed);
        for (CTextStatic* h : {L("bar_down_t", "<Download>", 212, 102, 66), L("bar_up_t", "<Upload>", 280, 102, 62)}) {
            h->SetTextFont(narrow);
            h->SetAlignment(CTextStatic::ALIGN_CENTER);
        }
        for (const char* side : {"down", "up"}) {
            const bool down = std::string(side) == "down";
            const int x = down ? 268 : 334; // the bar; its scale stands left of it
            for (auto [suffix, text, y] : {std::tuple{"_top", "", 118}, {"_mid", "", 182}, {"_zero", "0", 246}}) {
                CTextStatic* l = L((std::string(side) + suffix).c_str(), text, x - 54, y, 52);
                l->SetTextFont(narrow);
                l->SetAlignment(CTextStatic::ALIGN_RIGHT);
            }
            auto* bar = new CMacProgressCtrl(this);
            bar->setOrientation(Qt::Vertical);
            bar->setTextVisible(false);
            bar->SetBarColor(down ? QColor(0x3c, 0xc8, 0x5a) : QColor(0xf0, 0xa0, 0x30));
            bar->setGeometry(x, 122, 8, 136);
            bar->setObjectName(QString::fromStdString(p + "bar_" + side));
            m_controls[(page == PAGE_MONTH ? 2000 : 2100) + (down ? 0 : 1)] = bar;
            Add(page, bar);
        }
        const int downId = page == PAGE_MONTH ? IDC_LIMIT_DOWN : IDC_LIMIT_DOWN_PREV;
        const int upId = page == PAGE_MONTH ? IDC_LIMIT_UP : IDC_LIMIT_UP_PREV;
        // The largest limit (7 digits) whole in the field.
        QFont digits(font().family());
        digits.setPixelSize(11);
        digits.setStretch(QFont::SemiCondensed);
        for (auto [id, y] : {std::pair{downId, 136}, std::pair{upId, 160}}) {
            QLineEdit* e = edit(id, page);
            e->setGeometry(126, y, 48, kFieldH);
            e->setFont(digits);
        }
    }
    // The limit Apply buttons serve whichever month page is shown.
    for (int id : {IDC_APPLY_DOWN, IDC_APPLY_UP}) {
        CHoverButton* b = button(id, "Apply", text::kTipOk, 34, 20);
        const bool down = id == IDC_APPLY_DOWN;
        connect(b, &QAbstractButton::clicked, this, [this, down] { OnApplyLimit(down); });
        Add(PAGE_MONTH, b);
        Add(PAGE_PREV_MONTH, b);
    }
    Label("m_session", "Current Session :", 6, 240, 120, PAGE_MONTH);
    Label("m_stotal_t", "Total :", 61, 256, 63, PAGE_MONTH)->SetAlignment(CTextStatic::ALIGN_RIGHT);
    Label("m_stotal", "0", 126, 256, 58, PAGE_MONTH);
    Label("m_stotal_u", "Bytes", 184, 256, 34, PAGE_MONTH);
    Label("m_notice", "It is not commercial information.", 6, 290, 300, PAGE_MONTH);
}

void CConfigView::LayOut()
{
    int x = 10;
    for (int id : {IDC_PAGE_ABOUT, IDC_PAGE_BASIC, IDC_PAGE_RUIM, IDC_PAGE_ADVANCED, IDC_PAGE_USER}) {
        Control(id)->setGeometry(x, 56, 62, 24);
        x += 65;
    }
    for (int id : {IDC_PAGE_NAMING, IDC_PAGE_BOOST, IDC_PAGE_TRAFFIC, IDC_PAGE_MONTH, IDC_PAGE_PREV_MONTH})
        Control(id)->hide();
    x = 20;
    for (int id : kTrafficTabs) {
        Control(id)->setGeometry(x, kTrafficTabY, kTrafficTabW, kTrafficTabH);
        x += kTrafficTabW + 4;
    }
    Control(IDC_EXIT)->setGeometry(kWidth - 36, 10, 22, 22);

    // Basic: the account rows above the separator at y 156, the APN group
    // below it.
    Control(IDC_ACCOUNT_CHECK)->setGeometry(20, 90, 200, 20);
    m_labels["username"]->move(40, 112);
    m_labels["password"]->move(40, 134);
    Control(IDC_USERNAME)->setGeometry(130, 110, 160, kFieldH);
    Control(IDC_PASSWORD)->setGeometry(130, 132, 160, kFieldH);
    Control(IDC_APN_DYNAMIC)->setGeometry(40, 166, 100, 20);
    Control(IDC_APN_STATIC)->setGeometry(160, 166, 100, 20);
    m_labels["apn"]->move(40, 196);
    Control(IDC_APN_LIST)->setGeometry(80, 194, 170, 22);
    Control(IDC_APN_DELETE)->setGeometry(260, 194, 56, 22);
    // Ours, in the free row between the APN group and Apply.
    Control(IDC_RECONNECT)->setGeometry(20, 234, 230, 20);
    Control(IDC_APPLY)->setGeometry(kWidth - 80, 272, 60, 24);

    // RUIM Card.
    Control(IDC_PIN_ACTION)->setGeometry(140, 144, 120, 22);
    const int pinIds[] = {IDC_PIN_1, IDC_PIN_2, IDC_PIN_3};
    for (int i = 0; i < 3; ++i)
        Control(pinIds[i])->setGeometry(140, 176 + i * 26, 120, kFieldH);

    // Advanced.
    Control(IDC_AUTORUN)->setGeometry(20, 104, 200, 20);
    Control(IDC_RESTART_LINK)->setGeometry(20, 150, 150, 24);
    // Ours, below the restart.
    Control(IDC_NOTIFICATIONS)->setGeometry(20, 190, 200, 20);
    Control(IDC_ADV_OK)->setGeometry(kWidth - 80, 272, 60, 24);

    // User (the User page's boxes stand right of their lists).
    Control(IDC_TOP_LIST)->setGeometry(196, 122, 60, 22);
    Control(IDC_BAT_LIST)->setGeometry(196, 154, 60, 22);
    Control(IDC_BAT_CHECK)->setGeometry(266, 155, 20, 20);

    // Traffic, months.
    Control(IDC_TRAFFIC_RESET)->setGeometry(20, 272, 100, 24);
    Control(IDC_APPLY_DOWN)->setGeometry(198, 136, 34, 20);
    Control(IDC_APPLY_UP)->setGeometry(198, 160, 34, 20);
}

void CConfigView::OnInitDialog()
{
    if (m_bInitDone)
        return;
    m_bInitDone = true;
    if (m_env.owner)
        m_env.owner->SetModalWindow(this);

    // 1. Placement against the main window, size, the page scheme.
    m_skin = kvui::ApplySkinShape(this, ConfigSkin(), kKey);
    setFixedSize(kWidth, kHeight);
    if (QWidget* main = m_env.owner ? m_env.owner->OwnerWindow() : nullptr)
        move(main->x() + kOffsetX, main->y() + kOffsetY);
    LayOut();

    // 3. The static APN list, then the APN in use.
    auto* apnList = static_cast<QComboBox*>(Control(IDC_APN_LIST));
    std::vector<std::string> apns;
    if (!kv::ReadStaticApnList(apns, ApnFilePath()) && kv::EnsureUserDataDir())
        kv::EnsureStaticApnFile(ApnFilePath());
    std::sort(apns.begin(), apns.end());
    for (const std::string& a : apns)
        apnList->addItem(QString::fromStdString(a));
    const std::string current =
        kv::GetProfileString(kv::kSecApnContent, kv::kKeyApnCurrent, "", kv::kBufText, kv::kIniDialer);
    if (!current.empty())
        apnList->setEditText(QString::fromStdString(current));

    // 6. The Basic and User values.
    LoadBasic();
    static_cast<QComboBox*>(Control(IDC_TOP_LIST))
        ->setCurrentIndex(kv::GetProfileInt(kv::kSecTop, kv::kKeyNum, 0, kv::kIniDialer) == 1 ? 1 : 0);
    static_cast<QComboBox*>(Control(IDC_BAT_LIST))
        ->setCurrentIndex(kv::GetProfileInt(kv::kSecBatSound, kv::kKeyNum, 1, kv::kIniDialer) == 1 ? 1 : 0);

    // 7.
    ShowPage(m_nRequestedPage > 0 ? m_nRequestedPage : PAGE_ABOUT);
}

std::string CConfigView::ApnFilePath() const { return kv::DataFilePath("", kv::kStaticApnFile); }

void CConfigView::ShowPage(int page)
{
    if (page < PAGE_ABOUT || page > PAGE_PREV_MONTH)
        page = PAGE_ABOUT;
    for (auto& [p, widgets] : m_pageWidgets)
        for (QWidget* w : widgets)
            w->hide();
    for (const char* l : {"pin_1", "pin_2", "pin_3"})
        m_labels[l]->hide();
    for (int id : {IDC_PIN_1, IDC_PIN_2, IDC_PIN_3})
        Control(id)->hide();
    static_cast<QCheckBox*>(Control(IDC_ACCOUNT_CHECK))->setChecked(false);
    static_cast<QCheckBox*>(Control(IDC_BAT_CHECK))->setChecked(false);

    const std::pair<int, int> buttons[] = {
        {IDC_PAGE_ABOUT, PAGE_ABOUT},       {IDC_PAGE_BASIC, PAGE_BASIC},   {IDC_PAGE_RUIM, PAGE_RUIM},
        {IDC_PAGE_NAMING, PAGE_NAMING},     {IDC_PAGE_ADVANCED, PAGE_ADVANCED}, {IDC_PAGE_USER, PAGE_USER},
        {IDC_PAGE_BOOST, PAGE_BOOST},       {IDC_PAGE_TRAFFIC, PAGE_TRAFFIC}, {IDC_PAGE_MONTH, PAGE_MONTH},
        {IDC_PAGE_PREV_MONTH, PAGE_PREV_MONTH}};
    for (auto [id, p] : buttons)
        Control(id)->setEnabled(p != page);
    // The traffic tabs show on the traffic pages only.
    for (int id : kTrafficTabs)
        Control(id)->setVisible(IsTrafficPage(page));

    for (QWidget* w : m_pageWidgets[page])
        w->show();
    // The shared box 1151 sits where the page wants it.
    if (page == PAGE_USER)
        Control(IDC_ACCOUNT_CHECK)->setGeometry(266, 123, 20, 20);
    else if (page == PAGE_BASIC)
        Control(IDC_ACCOUNT_CHECK)->setGeometry(20, 90, 200, 20);

    m_nCurrentPage = page;
    switch (page) {
    case PAGE_BASIC:
        LoadBasic();
        break;
    case PAGE_RUIM:
        LoadRuim();
        break;
    case PAGE_USER:
        LoadUser();
        break;
    case PAGE_ADVANCED:
        static_cast<QCheckBox*>(Control(IDC_NOTIFICATIONS))->setChecked(kvnotify::NotificationsOn());
        break;
    case PAGE_TRAFFIC:
        LoadTraffic();
        break;
    case PAGE_MONTH:
    case PAGE_PREV_MONTH:
        LoadMonth(page == PAGE_PREV_MONTH);
        break;
    default:
        break;
    }
    update(QRect(QPoint(5, kContentTop), QPoint(340, 300)));
}

void CConfigView::LoadBasic()
{
    static_cast<QLineEdit*>(Control(IDC_USERNAME))
        ->setText(QString::fromStdString(
            kv::GetProfileString(kv::kSecUserName, kv::kKeyText, "", kv::kBufText, kv::kIniDialer)));
    static_cast<QLineEdit*>(Control(IDC_PASSWORD))
        ->setText(QString::fromStdString(
            kv::GetProfileString(kv::kSecPassword, kv::kKeyText, "", kv::kBufText, kv::kIniDialer)));
    const auto type = [](const char* key) {
        return kv::GetProfileString(kv::kSecApnType, key, "", kv::kBufApnType, kv::kIniDialer);
    };
    const bool dynamic = type(kv::kKeyApnDynamic) == kv::kApnChecked || type(kv::kKeyApnStatic) != kv::kApnChecked;
    static_cast<QRadioButton*>(Control(IDC_APN_DYNAMIC))->setChecked(dynamic);
    static_cast<QRadioButton*>(Control(IDC_APN_STATIC))->setChecked(!dynamic);
    OnApnMode(dynamic);
    static_cast<QCheckBox*>(Control(IDC_RECONNECT))->setChecked(kvnet::ReconnectSettingOn());
    // With no account yet the page opens at the account fields (Net
    // Connect sends the user here for it).
    auto* user = static_cast<QLineEdit*>(Control(IDC_USERNAME));
    if (user->text().isEmpty())
        user->setFocus();
}

void CConfigView::OnApnMode(bool dynamic)
{
    auto* list = static_cast<QComboBox*>(Control(IDC_APN_LIST));
    if (dynamic)
        list->setEditText("");
    list->setEnabled(!dynamic);
    Control(IDC_APN_DELETE)->setEnabled(!dynamic);
}

void CConfigView::LoadRuim()
{
    const bool enabled = kv::GetProfileInt(kv::kSecChvEnable, kv::kKeyNum, 0, kv::kIniDialer) != 0;
    const int count = kv::GetProfileInt(kv::kSecChv1Cnt, kv::kKeyNum, 0, kv::kIniDialer);
    m_labels["ruim_status"]->SetText(QString::asprintf(text::kRuimStatusFormat, enabled ? text::kEnabled
                                                                                         : text::kDisabled,
                                                       text::kPinCount, count));
    auto* action = static_cast<QComboBox*>(Control(IDC_PIN_ACTION));
    action->clear();
    m_bPinListOn = m_env.pinCheckOn && m_env.pinCheckOn();
    if (m_bPinListOn)
        action->addItems({text::kActionDisable, text::kActionChange});
    else
        action->addItem(text::kActionEnable);
    action->setCurrentIndex(0);
    m_nPinAction = 0;
    ShowPinFields(false);
}

void CConfigView::ShowPinFields(bool change)
{
    const char* labels[] = {"pin_1", "pin_2", "pin_3"};
    const int ids[] = {IDC_PIN_1, IDC_PIN_2, IDC_PIN_3};
    const char* texts[] = {text::kOldPin, text::kNewPin, text::kVerifyPin};
    for (int i = 0; i < 3; ++i) {
        auto* e = static_cast<QLineEdit*>(Control(ids[i]));
        e->clear();
        e->setMaxLength(8);
        const bool shown = change || i == 0;
        e->setVisible(shown);
        m_labels[labels[i]]->SetText(change ? texts[i] : text::kPinNumber);
        m_labels[labels[i]]->setVisible(shown);
    }
}

void CConfigView::OnPinActionChosen(int index)
{
    if (index == m_nPinAction)
        return;
    auto* action = static_cast<QComboBox*>(Control(IDC_PIN_ACTION));
    ShowPinFields(action->itemText(index) == text::kActionChange);
    m_nPinAction = index;
}

void CConfigView::LoadUser()
{
    const uint8_t mode = m_env.serviceMode ? m_env.serviceMode() : 0;
    const bool battery = (mode & 0x20) != 0;
    Control(IDC_BAT_CHECK)->setEnabled(battery);
    auto* list = static_cast<QComboBox*>(Control(IDC_BAT_LIST));
    if (!battery)
        list->setCurrentIndex(0);
    list->setEnabled(battery);
}

void CConfigView::LoadTraffic()
{
    using namespace kvtraffic;
    m_labels["total_sent"]->SetText(QString::fromStdString(FormatTrafficBytes(SumTrafficTotal(kTotalSent))));
    m_labels["total_received"]->SetText(
        QString::fromStdString(FormatTrafficBytes(SumTrafficTotal(kTotalReceived))));
    m_labels["sent"]->SetText(QString::fromStdString(FormatTrafficBytes(LastSessionBytes(kTotalSent))));
    m_labels["received"]->SetText(QString::fromStdString(FormatTrafficBytes(LastSessionBytes(kTotalReceived))));
    m_labels["duration"]->SetText(QString::fromStdString(FormatSessionDuration(LastSessionDuration())));
    m_labels["reset_time"]->SetText(QString::fromStdString(FormatSessionTime(LastSessionTime())));
}

void CConfigView::LoadMonth(bool previous)
{
    using namespace kvtraffic;
    const int64_t now = std::time(nullptr);
    const MonthTraffic t = previous ? PreviousMonthTraffic(now) : CurrentMonthTraffic(now);
    m_dMonthDown = t.download;
    m_dMonthUp = t.upload;
    m_dMonthTotal = t.Total();
    const std::string p = previous ? "p_" : "m_";
    m_labels[p + "start"]->SetText(QString::fromStdString(FormatMonthDate(t.window.start)));
    m_labels[p + "end"]->SetText(QString::fromStdString(FormatMonthDate(t.window.end)));
    m_labels[p + "tdown"]->SetText(QString::fromStdString(FormatMonthBytes(t.download)));
    m_labels[p + "tup"]->SetText(QString::fromStdString(FormatMonthBytes(t.upload)));
    m_labels[p + "ttotal"]->SetText(QString::fromStdString(FormatMonthBytes(t.Total())));
    // The limits the user set last time, so that showing the page stores
    // them again rather than overwriting them with the starting value.
    const auto stored = [](const char* key) {
        return ValidTrafficLimit(
            kv::GetProfileInt(kv::kSecUserSetMaxLimit, key, int(kLimitDefault), kv::kIniDialer));
    };
    if (previous) {
        m_dDownLimitPrev = stored(kv::kKeyDownloadMaxPrev);
        m_dUpLimitPrev = stored(kv::kKeyUploadMaxPrev);
    } else {
        m_dDownLimit = stored(kv::kKeyDownloadMax);
        m_dUpLimit = stored(kv::kKeyUploadMax);
        LiveTraffic live;
        double session = 0;
        if (m_env.liveTraffic && m_env.liveTraffic(live))
            session = double(live.sent) + double(live.received);
        m_labels["m_stotal"]->SetText(QString::fromStdString(FormatMonthBytes(session)));
    }
    static_cast<QLineEdit*>(Control(previous ? IDC_LIMIT_DOWN_PREV : IDC_LIMIT_DOWN))
        ->setText(QString::fromStdString(FormatLimitField(Limit(previous, true))));
    static_cast<QLineEdit*>(Control(previous ? IDC_LIMIT_UP_PREV : IDC_LIMIT_UP))
        ->setText(QString::fromStdString(FormatLimitField(Limit(previous, false))));
    OnApplyLimit(true);
    OnApplyLimit(false);
}

void CConfigView::OnConfigUpdate(long code, intptr_t lParam)
{
    switch (code) {
    case CFG_SETUP_OK:
        Box(text::kSetupOk, BoxIcon::Information);
        break;
    case CFG_SETUP_FAIL:
        Box(text::kSetupFail, BoxIcon::Error);
        break;
    case CFG_CALL_STATE:
        if (m_nCurrentPage == PAGE_ADVANCED) {
            static_cast<QCheckBox*>(Control(IDC_ACCOUNT_CHECK))->setChecked(false);
            Control(IDC_ACCOUNT_CHECK)->setEnabled(lParam != 0);
        }
        break;
    case CFG_TRAFFIC_LIVE: {
        LiveTraffic live;
        if (!m_env.liveTraffic || !m_env.liveTraffic(live))
            break;
        using namespace kvtraffic;
        if (m_nCurrentPage == PAGE_TRAFFIC) {
            m_labels["sent"]->SetText(QString::fromStdString(FormatLiveBytes(live.sent)));
            m_labels["received"]->SetText(QString::fromStdString(FormatLiveBytes(live.received)));
            m_labels["duration"]->SetText(QString::fromStdString(FormatLiveDuration(live.durationMs)));
            m_labels["reset_time"]->SetText(QString::fromStdString(FormatResetTime(live.resetTime)));
        } else if (m_nCurrentPage == PAGE_MONTH) {
            m_labels["m_stotal"]->SetText(
                QString::fromStdString(FormatMonthBytes(double(live.sent) + double(live.received))));
        }
        break;
    }
    case CFG_TRAFFIC_FILES:
        if (m_nCurrentPage == PAGE_TRAFFIC)
            LoadTraffic();
        break;
    default:
        break;
    }
}

bool CConfigView::event(QEvent* e)
{
    if (e->type() == kvui::CUserMessageEvent::EventType()) {
        auto* m = static_cast<kvui::CUserMessageEvent*>(e);
        if (m->Message() == kvui::UM_CONFIG_UPDATE)
            OnConfigUpdate(long(intptr_t(m->WParam())), m->LParam());
        return true;
    }
    return QDialog::event(e);
}

void CConfigView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_skin);
    int y = -1;
    switch (m_nCurrentPage) {
    case PAGE_BASIC:
        y = 156;
        break;
    case PAGE_RUIM:
    case PAGE_ADVANCED:
        y = 134;
        break;
    case PAGE_USER:
        y = 110;
        break;
    default:
        break;
    }
    if (y > 0)
        p.fillRect(QRect(15, y, 325 - 15, 2), kSeparator);
}

void CConfigView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        // The compositor moves the window where it can (Wayland ignores a
        // window's own move); elsewhere the page follows the mouse itself.
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        m_bDragging = true;
        m_dragOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(e);
}

void CConfigView::mouseMoveEvent(QMouseEvent* e)
{
    if (m_bDragging && (e->buttons() & Qt::LeftButton))
        move(e->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(e);
}

void CConfigView::mouseReleaseEvent(QMouseEvent* e)
{
    m_bDragging = false;
    QDialog::mouseReleaseEvent(e);
}

// Exit (and Escape) close the dialog without saving.
void CConfigView::reject() { QDialog::reject(); }

void CConfigView::Box(const std::string& text, BoxIcon icon)
{
    m_boxes.push_back(text);
    if (m_env.messageBox) {
        m_env.messageBox(text, icon);
        return;
    }
    const QMessageBox::Icon qicon = icon == BoxIcon::Error     ? QMessageBox::Critical
                                    : icon == BoxIcon::Warning ? QMessageBox::Warning
                                                               : QMessageBox::Information;
    // Closed with the page when the modem goes.
    kvui::PageMessageBox(this, qicon, QString::fromStdString(text));
}

} // namespace kvapp
