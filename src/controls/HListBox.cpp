#include "controls/HListBox.h"

#include <QFontMetrics>
#include <QScrollBar>

namespace {
constexpr int kBorder = 1;   // one border width
}

CHListBox::CHListBox(QWidget* parent, int id) : QListWidget(parent)
{
    if (id)
        setObjectName(QString::number(id));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLayoutMode(QListView::Batched);
    setBatchSize(200);
}

int CHListBox::MeasureItem(const QString& text) const
{
    return QFontMetrics(font()).horizontalAdvance(text) + 3 * kBorder;
}

void CHListBox::GrowExtent(const QString& text)
{
    const int w = MeasureItem(text);
    if (w > m_nExtent)
        m_nExtent = w;
}

void CHListBox::RecomputeExtent()
{
    m_nExtent = 0;
    for (int i = 0; i < count(); ++i)
        GrowExtent(item(i)->text());
}

int CHListBox::AddString(const QString& text)
{
    addItem(text);
    GrowExtent(text);
    return count() - 1;
}

int CHListBox::InsertString(int index, const QString& text)
{
    if (index < 0 || index > count())
        index = count();
    insertItem(index, text);
    GrowExtent(text);
    return index;
}

int CHListBox::DeleteString(int index)
{
    if (index < 0 || index >= count())
        return -1;
    delete takeItem(index);
    RecomputeExtent();
    return count();
}

void CHListBox::ResetContent()
{
    clear();
    m_nExtent = 0;
}

QString CHListBox::GetText(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

QStringList CHListBox::Lines() const
{
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out << item(i)->text();
    return out;
}
