// The PIN dialog: asks for the card's PIN (mode 2) or for the unblock code and
// a new PIN (mode 4), checks the input and leaves it in the settings file for
// the engine to send.
#pragma once

#include <QDialog>
#include <QPointer>

#include "controls/ModalOwner.h"

class QLineEdit;
class CHoverButton;
class CTextStatic;

class CPinDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPinDlg(kvui::IModalOwner* owner = nullptr, QWidget* parent = nullptr);
    ~CPinDlg() override;

    // 2 = PIN, 4 = unblock; set before the dialog runs.
    void SetMode(int mode) { m_nMode = quint8(mode); }
    int Mode() const { return m_nMode; }

    // 1 when the user confirmed valid input, 0 after Exit or Cancel.
    quint8 accepted = 0;

    int exec() override;

    // The Verify / UnBlock action and the Exit action (public for tests).
    void OnOK();
    void OnExit();

    // Opens the dialog modally on the UI thread (the calling worker thread
    // waits) and returns `accepted`.
    static quint8 Run(kvui::IModalOwner* owner, int mode);
    // Ends an open PIN dialog as Exit does (when the engine is stopped).
    static void CancelOpen();
    static CPinDlg* OpenDialog();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void reject() override;

private:
    void OnInitDialog();
    void Fail(QLineEdit* focus, const char* message);

    kvui::IModalOwner* m_pOwner;
    quint8 m_nMode = 2;
    QLineEdit* m_pUnblock;
    QLineEdit* m_pPin;
    QLineEdit* m_pConfirm;
    CTextStatic* m_pLabelUnblock;
    CTextStatic* m_pLabelPin;
    CTextStatic* m_pLabelConfirm;
    CHoverButton* m_pOk;
    CHoverButton* m_pExit;
    bool m_bInitDone = false;
    static QPointer<CPinDlg> s_open;
};
