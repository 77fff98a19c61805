// A pop-up menu whose items are drawn in fixed colours: 6 pixels per
// character by 20, a light-blue selection framed in its inverse colour,
// grey text.
#pragma once

#include <QMenu>

class CColorMenu : public QMenu {
    Q_OBJECT
public:
    static constexpr int PIXELS_PER_CHAR = 6;
    static constexpr int ITEM_HEIGHT = 20;

    explicit CColorMenu(QWidget* parent = nullptr);
    static QSize ItemSize(const QString& text);
};
