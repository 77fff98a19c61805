// The timed popup: a notice or a question over the main window that can
// answer itself after a countdown shown in its title.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QStyle>
#include <QTimer>

#include "controls/ModalOwner.h"

class CHoverButton;
class CTextStatic;

class CUserMsgDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { MODE_NOTICE = 0, MODE_QUESTION = 1, MODE_NOTICE_NO_CANCEL = 2 };
    // Results.
    static constexpr quint8 RESULT_NOTICE = 1;
    static constexpr quint8 RESULT_QUESTION = 4;
    static constexpr quint8 RESULT_CANCEL = 2;

    explicit CUserMsgDlg(kvui::IModalOwner* owner = nullptr, QWidget* parent = nullptr);

    void SetText(const QString& text) { m_strText = text; }
    void SetIcon(const QIcon& icon) { m_icon = icon; }
    void SetIcon(QStyle::StandardPixmap systemIcon);
    void SetMode(int mode) { m_nMode = mode; }
    // Seconds until the default action (0 or less: none); OK when defaultOk.
    void SetCountdown(int seconds, bool defaultOk)
    {
        m_nCountdown = seconds;
        m_bDefaultOk = defaultOk;
    }
    // Tooltips of the two buttons ("OK" and "Cancel" unless set).
    void SetButtonTips(const QString& ok, const QString& cancel);
    QString OkTip() const;
    QString CancelTip() const;
    quint8 Result() const { return m_nResult; }
    int Countdown() const { return m_nCountdown; }

    int exec() override;
    void done(int r) override;

    // Opens a popup modally on the UI thread (waiting there when called from
    // a worker thread) and returns its result.
    static quint8 Run(kvui::IModalOwner* owner, const QString& text, QStyle::StandardPixmap icon,
                      int mode, int countdown, bool defaultOk);

    // One countdown tick (the 1-second timer): public for tests.
    void OnTimer();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void OnInitDialog();
    void OnOK();
    void OnCancel();

    kvui::IModalOwner* m_pOwner;
    int m_nMode = MODE_NOTICE;
    int m_nCountdown = 0;
    bool m_bDefaultOk = true;
    QIcon m_icon;
    QString m_strText;
    quint8 m_nResult = RESULT_NOTICE;
    QTimer m_timer;
    CTextStatic* m_pText;
    CHoverButton* m_pOk;
    CHoverButton* m_pCancel;
    bool m_bInitDone = false;
};
