// A list of text lines that keeps its horizontal scroll extent equal to the
// width of its widest line.
#pragma once

#include <QListWidget>

class CHListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CHListBox(QWidget* parent = nullptr, int id = 0);

    int AddString(const QString& text);
    int InsertString(int index, const QString& text);
    int DeleteString(int index);   // items left, or -1 for a bad index
    void ResetContent();
    int GetCount() const { return count(); }
    QString GetText(int index) const;
    QStringList Lines() const;

    // Widest line in pixels plus three border widths; 0 when empty.
    int HorizontalExtent() const { return m_nExtent; }

private:
    int MeasureItem(const QString& text) const;
    void GrowExtent(const QString& text);
    void RecomputeExtent();

    int m_nExtent = 0;
};
