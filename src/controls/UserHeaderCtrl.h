// A list header whose sections are painted pale yellow with blue-grey text.
#pragma once

#include <QHeaderView>

class CUserHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CUserHeaderCtrl(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    static QColor BackColor() { return QColor(255, 255, 179); }
    static QColor TextColor() { return QColor(89, 89, 168); }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
