// The data plan dialog, opened from the month page next to the month limits:
// the billing cycle's day, the quota (what it counts, how many MB), the
// warning percentages and the hang-up at the quota. Every value is checked
// by the core's readers; a refused one is named under the fields and
// nothing is saved.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace kvapp {

class CUsagePlanDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUsagePlanDlg(QWidget* parent = nullptr);
    // Checks and saves every field; false (the reason shown) on a refusal.
    bool Save();
    QString Problem() const;

private:
    QLineEdit* m_cycleDay = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_quotaMb = nullptr;
    QLineEdit* m_warn = nullptr;
    QCheckBox* m_hangUp = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace kvapp
