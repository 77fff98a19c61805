// The sender's name for the phonebook.
#include "messaging/SmsPbAddDlg.h"

#include "controls/PageDialogs.h"
#include "messaging/SmsViewText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvsms {

CSmsPbAddDlg::CSmsPbAddDlg(const std::string& number, QWidget* parent) : QDialog(parent)
{
    setObjectName("CSmsPbAddDlg");
    setWindowTitle("Korvianet");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("           Name : ", this), 0, 0, Qt::AlignRight);
    m_pName = new QLineEdit(this);
    m_pName->setObjectName("pb_add_name");
    m_pName->setMaxLength(32);
    grid->addWidget(m_pName, 0, 1);
    grid->addWidget(new QLabel("PhoneNumber : ", this), 1, 0, Qt::AlignRight);
    m_pNumber = new QLineEdit(ShownText(number), this);
    m_pNumber->setObjectName("pb_add_number");
    m_pNumber->setEnabled(false);
    grid->addWidget(m_pNumber, 1, 1);
    auto* row = new QHBoxLayout;
    auto* add = new QPushButton("Add", this);
    add->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    row->addStretch();
    row->addWidget(add);
    row->addWidget(cancel);
    grid->addLayout(row, 2, 0, 1, 2);
    connect(add, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_pName->setFocus();
}

std::string CSmsPbAddDlg::Name() const { return ModemBytes(m_pName->text().trimmed()); }
std::string CSmsPbAddDlg::Number() const { return ModemBytes(m_pNumber->text()); }

bool CSmsPbAddDlg::Ask(QWidget* parent, std::string& name, std::string& number, QObject* page)
{
    CSmsPbAddDlg dlg(number, parent);
    if (kvui::ExecPageDialog(dlg, QDialog::Rejected, page) != QDialog::Accepted)
        return false;
    name = dlg.Name();
    number = dlg.Number();
    return true;
}

} // namespace kvsms
