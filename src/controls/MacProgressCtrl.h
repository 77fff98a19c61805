// A progress bar with a rounded, glossy bar drawn in shades of its colour,
// and an indeterminate mode with moving diagonal stripes.
#pragma once

#include <QColor>
#include <QProgressBar>
#include <QTimer>
#include <array>

class CMacProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    static constexpr int STRIPE_PERIOD = 20;
    static constexpr int STRIPE_MS = 25;

    explicit CMacProgressCtrl(QWidget* parent = nullptr, int id = 0);

    void SetBarColor(const QColor& c);
    QColor BarColor() const { return m_clrBar; }
    void SetIndeterminate(bool on);
    bool IsIndeterminate() const { return m_bIndeterminate; }
    int StripeOffset() const { return m_nOffset; }
    void SetStep(int step) { m_nStep = step; }
    // Advances by the step, wrapping to the minimum past the maximum.
    void StepIt();

    // Shades of a bar colour: [0..2] lighter by 51 per step, [3..4] darker by
    // 51 per step (a channel that would leave 0..255 keeps its value).
    static std::array<QColor, 5> Shades(const QColor& c);
    // Filled length for a position in a range over `size` pixels.
    static int FilledLength(int pos, int lower, int upper, int size);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void OnStripeTimer();

    QColor m_clrBar;
    std::array<QColor, 5> m_shades;
    bool m_bIndeterminate = false;
    int m_nOffset = 0;
    int m_nStep = 10;
    QTimer m_stripeTimer;
};
