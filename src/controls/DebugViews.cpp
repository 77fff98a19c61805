#include "controls/DebugViews.h"

#include "controls/DialogIds.h"
#include "controls/HListBox.h"
#include "log/DebugLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QThread>

namespace {
// The template's 374 x 215 dialog units in pixels.
constexpr int kWidth = 561;
constexpr int kHeight = 349;
constexpr int kInsetSide = 10;
constexpr int kInsetTop = 40;
}

CDebugViews::CDebugViews(QWidget* parent) : QDialog(parent)
{
    setObjectName(QString::number(kvui::IDD_DEBUG_VIEWS));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(" ");
    setSizeGripEnabled(true);
    setModal(false);

    m_pAutoScroll = new QCheckBox("Auto Scroll", this);
    m_pAutoScroll->setObjectName(QString::number(kvui::IDC_LOG_AUTOSCROLL));
    m_pFilter = new QComboBox(this);
    m_pFilter->setObjectName(QString::number(kvui::IDC_LOG_FILTER));
    m_pClear = new QPushButton("CLEAR", this);
    m_pClear->setObjectName(QString::number(kvui::IDC_LOG_CLEAR));
    m_pSave = new QPushButton("SAVE", this);
    m_pSave->setObjectName(QString::number(kvui::IDC_LOG_SAVE));
    m_pClose = new QPushButton("CLOSE", this);
    m_pClose->setObjectName(QString::number(kvui::IDCANCEL));
    m_pList = new CHListBox(this, kvui::IDC_LOG_LIST);
    m_pList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (QPushButton* b : {m_pClear, m_pSave, m_pClose}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    m_pAutoScroll->setGeometry(10, 8, 100, 24);
    m_pFilter->setGeometry(115, 8, 150, 24);
    m_pClear->setGeometry(275, 8, 80, 24);
    m_pSave->setGeometry(360, 8, 80, 24);
    m_pClose->setGeometry(445, 8, 80, 24);
    resize(kWidth, kHeight);
    setMinimumSize(200, 100);

    connect(m_pClear, &QPushButton::clicked, this, &CDebugViews::OnClear);
    connect(m_pSave, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(m_pClose, &QPushButton::clicked, this, &CDebugViews::reject);
    connect(m_pFilter, &QComboBox::activated, this, [this](int) { OnCloseupLevelFilter(); });
    connect(m_pList, &QListWidget::itemSelectionChanged, this, [this] { m_pAutoScroll->setChecked(false); });

    // Window initialisation: auto scroll on, logging on with every level but
    // the status poll's, the filter filled.
    m_pAutoScroll->setChecked(true);
    kv::CDebugLog& log = kv::CDebugLog::Instance();
    log.Enable();
    log.SetLevelMask(kv::kLogMaskAll);
    m_pFilter->addItems(FilterEntries());
    log.RemoveLevels(LEVEL_STU);
    InstallSink();
}

CDebugViews::~CDebugViews()
{
    kv::CDebugLog& log = kv::CDebugLog::Instance();
    log.SetVisible(false);
    log.SetSink(nullptr);
    log.ClearLevels();
    log.Disable();
}

void CDebugViews::InstallSink()
{
    QPointer<CDebugViews> self(this);
    kv::CDebugLog::Instance().SetSink([self](const std::string& line) {
        // Called with the log's lock held: never wait for the UI thread here.
        CDebugViews* w = self.data();
        if (!w)
            return;
        const QString text = QString::fromStdString(line);
        if (QThread::currentThread() == w->thread())
            w->AddLine(text);
        else
            QMetaObject::invokeMethod(w, [w, text] { w->AddLine(text); }, Qt::QueuedConnection);
    });
}

QStringList CDebugViews::FilterEntries()
{
    QStringList out;
    for (int i = 0; i < kv::kLogFilterCount; ++i)
        out << QString::fromLatin1(kv::LogFilterText(i));
    return out;
}

uint32_t CDebugViews::FilterMask(int entry)
{
    return kv::LogFilterMask(entry);
}

void CDebugViews::ShowForDiagnostics(uint32_t mask)
{
    kv::CDebugLog& log = kv::CDebugLog::Instance();
    log.SetLevelMask(mask);
    log.Enable();
    show();
}

void CDebugViews::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    kv::CDebugLog::Instance().SetVisible(visible);
}

void CDebugViews::AddLine(const QString& line)
{
    m_pList->AddString(line);
    if (!kv::CDebugLog::Instance().IsOff() && m_pAutoScroll->isChecked())
        m_pList->scrollToBottom();
}

void CDebugViews::OnCloseupLevelFilter()
{
    const int entry = m_pFilter->currentIndex();
    if (entry >= 0 && entry < kv::kLogFilterCount)
        kv::CDebugLog::Instance().SetLevelMask(FilterMask(entry));
}

void CDebugViews::OnClear()
{
    m_pList->ResetContent();
}

QString CDebugViews::OnSave()
{
    std::vector<std::string> lines;
    lines.reserve(size_t(m_pList->GetCount()));
    for (const QString& l : m_pList->Lines())
        lines.push_back(l.toStdString());
    return QString::fromStdString(kv::SaveLogLines(lines, m_strSaveDir.toStdString()));
}

void CDebugViews::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    m_pList->setGeometry(rect().adjusted(kInsetSide, kInsetTop, -kInsetSide, -kInsetSide));
}

void CDebugViews::reject()
{
    // CLOSE and the close box empty the list and hide the window.
    m_pList->ResetContent();
    QDialog::reject();
}
