// The log window: the lines of the diagnostic log in a list, with automatic
// scrolling, a level filter, and CLEAR, SAVE and CLOSE. While it is visible it
// is the log's sink; lines from worker threads are queued to the UI thread.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QPushButton;
class CHListBox;

class CDebugViews : public QDialog {
    Q_OBJECT
public:
    explicit CDebugViews(QWidget* parent = nullptr);
    ~CDebugViews() override;

    // Filter entries, in list order, and the mask each one selects.
    static QStringList FilterEntries();
    static uint32_t FilterMask(int entry);

    // Shows the window with logging on (a diagnostic run).
    void ShowForDiagnostics(uint32_t mask = 0xFFFFFFFFu);

    void setVisible(bool visible) override;
    // CLOSE: empties the list and hides the window.
    void reject() override;

    // Appends a line (UI thread).
    void AddLine(const QString& line);
    // The filter's drop-down closed on entry `index`.
    void OnCloseupLevelFilter();
    void OnClear();
    // Saves the list; returns the file name written, or "" (not reported).
    QString OnSave();
    // Where SAVE writes (empty: the current folder).
    void SetSaveDir(const QString& dir) { m_strSaveDir = dir; }

    CHListBox* List() const { return m_pList; }
    QCheckBox* AutoScroll() const { return m_pAutoScroll; }
    QComboBox* LevelFilter() const { return m_pFilter; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void InstallSink();

    QCheckBox* m_pAutoScroll;
    QComboBox* m_pFilter;
    QPushButton* m_pClear;
    QPushButton* m_pSave;
    QPushButton* m_pClose;
    CHListBox* m_pList;
    QString m_strSaveDir;
};
