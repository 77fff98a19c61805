// The data plan dialog: see UsagePlanDlg.h.
#include "app/UsagePlanDlg.h"

#include "usage/BillingCycle.h"
#include "usage/UsageSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace kvapp {

CUsagePlanDlg::CUsagePlanDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("usage_plan");
    setWindowTitle("Korvianet - Data plan");
    const kvusage::UsageSettings s = kvusage::ReadUsageSettings();
    auto* form = new QFormLayout(this);
    m_cycleDay = new QLineEdit(QString::number(s.cycleDay), this);
    m_cycleDay->setObjectName("plan_cycle_day");
    m_kind = new QComboBox(this);
    m_kind->setObjectName("plan_quota_kind");
    for (const char* k : {"off", "download", "upload", "both"})
        m_kind->addItem(k);
    m_kind->setCurrentText(kvusage::QuotaKindName(s.kind));
    m_quotaMb = new QLineEdit(s.quotaMb > 0 ? QString::number(s.quotaMb, 'f', 0) : QString(), this);
    m_quotaMb->setObjectName("plan_quota_mb");
    m_warn = new QLineEdit(QString::fromStdString(kvusage::WarnPercentsText(s.warnPercents)), this);
    m_warn->setObjectName("plan_quota_warn");
    m_hangUp = new QCheckBox("Hang up when the quota is reached", this);
    m_hangUp->setObjectName("plan_hangup");
    m_hangUp->setChecked(s.hangUp);
    m_problem = new QLabel(this);
    m_problem->setObjectName("plan_problem");
    m_problem->setWordWrap(true);
    form->addRow("Billing cycle starts on day (1-28):", m_cycleDay);
    form->addRow("Quota counts:", m_kind);
    form->addRow("Quota (MB):", m_quotaMb);
    form->addRow("Warn at (%):", m_warn);
    form->addRow(m_hangUp);
    form->addRow(m_problem);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    form->addRow(box);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (Save())
            accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString CUsagePlanDlg::Problem() const { return m_problem->text(); }

bool CUsagePlanDlg::Save()
{
    // Checked all before anything is written, so a refusal saves nothing.
    std::string why;
    int day = 0;
    double mb = 0;
    std::vector<int> warn;
    const bool quotaOn = m_kind->currentText() != "off";
    if (!kvusage::ParseCycleDay(m_cycleDay->text().toStdString(), day, &why)
        || (quotaOn && !kvusage::ParseQuotaMb(m_quotaMb->text().toStdString(), mb, &why))
        || !kvusage::ParseWarnPercents(m_warn->text().toStdString(), warn, &why)) {
        m_problem->setText(QString::fromStdString(why));
        return false;
    }
    kvusage::UsageSettings s = kvusage::ReadUsageSettings();
    s.cycleDay = day;
    kvusage::ParseQuotaKind(m_kind->currentText().toStdString(), s.kind);
    if (quotaOn)
        s.quotaMb = mb;
    s.warnPercents = warn;
    s.hangUp = m_hangUp->isChecked();
    if (!kvusage::WriteUsageSettings(s)) {
        m_problem->setText("The settings file could not be written.");
        return false;
    }
    m_problem->clear();
    return true;
}

} // namespace kvapp
