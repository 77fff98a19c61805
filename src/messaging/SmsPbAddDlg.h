// The small dialog (resource 290) that asks for a name when the sender of a
// message is added to the phonebook: the name (edit 1046) and the number
// (edit 1047, shown but not editable); "Add" returns both.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace kvsms {

class CSmsPbAddDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_PB_NAME = 1046;
    static constexpr int IDC_PB_NUMBER = 1047;

    explicit CSmsPbAddDlg(const std::string& number, QWidget* parent = nullptr);

    std::string Name() const;
    std::string Number() const;
    QLineEdit* NameEdit() const { return m_pName; }
    QLineEdit* NumberEdit() const { return m_pNumber; }

    // Runs the dialog modally as a box of page (nullptr: parent); false when
    // cancelled, also by the modem's removal.
    static bool Ask(QWidget* parent, std::string& name, std::string& number, QObject* page = nullptr);

private:
    QLineEdit* m_pName;
    QLineEdit* m_pNumber;
};

} // namespace kvsms
