// The usage window: see UsageWindow.h.
#include "app/UsageWindow.h"

#include "data/DbPath.h"
#include "host/HostIds.h"
#include "usage/SignalTrace.h"
#include "usage/UsageExport.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

namespace kvapp {

namespace {

constexpr double kMb = 1048576.0;

QChartView* NewView(QChart* chart)
{
    auto* v = new QChartView(chart);
    v->setRenderHint(QPainter::Antialiasing);
    v->setMinimumSize(640, 360);
    return v;
}

// Days of a cycle by their position from the cycle's first day.
std::vector<double> DayTotals(const std::vector<kvusage::UsageRow>& days, const kvusage::Span& cycle, int count)
{
    std::vector<double> mb(size_t(count), 0.0);
    int64_t dayStart = cycle.start;
    for (int i = 0; i < count && dayStart < cycle.end; ++i) {
        const int64_t next = kvusage::NextLocalDayStart(dayStart);
        for (const kvusage::UsageRow& d : days)
            if (d.start >= dayStart && d.start < next)
                mb[size_t(i)] += double(d.rx + d.tx) / kMb;
        dayStart = next;
    }
    return mb;
}

int DaysIn(const kvusage::Span& s)
{
    int n = 0;
    for (int64_t d = s.start; d < s.end && n < 40; d = kvusage::NextLocalDayStart(d))
        ++n;
    return n;
}

QChart* CycleChart(const kvusage::UsageViewData& v)
{
    const int n = std::max(DaysIn(v.thisCycle), DaysIn(v.lastCycle));
    const std::vector<double> cur = DayTotals(v.thisCycleDays, v.thisCycle, n);
    const std::vector<double> prev = DayTotals(v.lastCycleDays, v.lastCycle, n);
    auto* thisSet = new QBarSet("This cycle (MB per day)");
    auto* lastSet = new QBarSet("Last cycle (MB per day)");
    QStringList days;
    auto* cumulative = new QLineSeries;
    cumulative->setName("This cycle so far (MB)");
    double run = 0;
    for (int i = 0; i < n; ++i) {
        *thisSet << cur[size_t(i)];
        *lastSet << prev[size_t(i)];
        days << QString::number(i + 1);
        run += cur[size_t(i)];
        if (v.thisCycle.start + int64_t(i) * 86400 <= std::time(nullptr))
            cumulative->append(i, run);
    }
    auto* bars = new QBarSeries;
    bars->append(lastSet);
    bars->append(thisSet);
    auto* chart = new QChart;
    chart->addSeries(bars);
    chart->setTitle(QString("Cycle from %1 (day %2 of the month)")
                        .arg(QString::fromStdString(kvusage::LocalDateText(v.thisCycle.start)))
                        .arg(v.plan.cycleDay));
    auto* x = new QBarCategoryAxis;
    x->append(days);
    x->setTitleText("Day of the cycle");
    x->setLabelsAngle(-90);
    // Rotated day numbers fit their column; without this the chart shortens
    // each to an ellipsis.
    x->setTruncateLabels(false);
    chart->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    auto* y = new QValueAxis;
    y->setTitleText("MB per day");
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(y);
    // The running total and the quota share a second axis.
    auto* y2 = new QValueAxis;
    y2->setTitleText("MB in the cycle");
    chart->addAxis(y2, Qt::AlignRight);
    chart->addSeries(cumulative);
    cumulative->attachAxis(x);
    cumulative->attachAxis(y2);
    double top = run;
    if (v.plan.QuotaOn()) {
        auto* quota = new QLineSeries;
        quota->setName(QString("Quota (%1 MB, %2)").arg(v.plan.quotaMb).arg(kvusage::QuotaKindName(v.plan.kind)));
        quota->append(0, v.plan.quotaMb);
        quota->append(n - 1, v.plan.quotaMb);
        QPen pen(Qt::red);
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        quota->setPen(pen);
        chart->addSeries(quota);
        quota->attachAxis(x);
        quota->attachAxis(y2);
        top = std::max(top, v.plan.quotaMb);
    }
    y2->setRange(0, top * 1.1 + 1);
    y2->applyNiceNumbers();
    double most = 0;
    for (size_t i = 0; i < cur.size(); ++i)
        most = std::max({most, cur[i], prev[i]});
    y->setRange(0, most * 1.1 + 1);
    y->applyNiceNumbers();
    return chart;
}

QChart* MonthChart(const kvusage::UsageViewData& v)
{
    auto* down = new QBarSet("Received (MB)");
    auto* up = new QBarSet("Sent (MB)");
    QStringList months;
    double most = 0;
    for (const kvusage::UsageRow& m : v.months) {
        most = std::max(most, double(std::max(m.rx, m.tx)) / kMb);
        *down << double(m.rx) / kMb;
        *up << double(m.tx) / kMb;
        months << QDateTime::fromSecsSinceEpoch(m.start).toString("MMM yy");
    }
    auto* bars = new QBarSeries;
    bars->append(down);
    bars->append(up);
    auto* chart = new QChart;
    chart->addSeries(bars);
    chart->setTitle("The last 12 months");
    auto* x = new QBarCategoryAxis;
    x->append(months);
    chart->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    auto* y = new QValueAxis;
    y->setTitleText("MB");
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(y);
    y->setRange(0, most * 1.1 + 1);
    y->applyNiceNumbers();
    return chart;
}

QChart* SignalChart(const kvusage::UsageViewData& v)
{
    auto* onex = new QLineSeries;
    onex->setName("1x (dBm, mean per minute)");
    auto* evdo = new QLineSeries;
    evdo->setName("EV-DO (dBm, mean per minute)");
    for (const kvusage::SignalRow& r : v.signal) {
        const qint64 ms = qint64(r.minute) * 1000;
        if (r.oneXMean)
            onex->append(double(ms), *r.oneXMean);
        if (r.evdoMean)
            evdo->append(double(ms), *r.evdoMean);
    }
    auto* chart = new QChart;
    chart->addSeries(onex);
    chart->addSeries(evdo);
    chart->setTitle("Signal, the last 24 hours");
    auto* x = new QDateTimeAxis;
    x->setFormat("HH:mm");
    x->setTitleText("Local time");
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QValueAxis;
    y->setRange(-120, -40);
    y->setTitleText("dBm");
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* s : {onex, evdo}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    return chart;
}

QString LevelText(const char* name, int dbm)
{
    return dbm >= -150 && dbm <= 0 ? QString("%1  %2 dBm").arg(name).arg(dbm) : QString("%1  no signal").arg(name);
}

QPointer<CUsageWindow> g_window;

} // namespace

CUsageWindow::CUsageWindow(std::string dbPath, QWidget* parent) : QDialog(parent), m_dbPath(std::move(dbPath))
{
    setObjectName("usage_window");
    setWindowTitle("Korvianet - Data usage");
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName("usage_summary");
    layout->addWidget(m_summary);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("usage_tabs");
    layout->addWidget(m_tabs, 1);
    auto* buttons = new QHBoxLayout;
    auto* csv = new QPushButton("Save CSV...", this);
    auto* png = new QPushButton("Save PNG...", this);
    auto* close = new QPushButton("Close", this);
    csv->setObjectName("usage_save_csv");
    png->setObjectName("usage_save_png");
    buttons->addWidget(csv);
    buttons->addWidget(png);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(csv, &QPushButton::clicked, this, &CUsageWindow::OnSaveCsv);
    connect(png, &QPushButton::clicked, this, &CUsageWindow::OnSavePng);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CUsageWindow::RefreshAim);
    timer->start(1000);
}

bool CUsageWindow::Reload(int64_t now)
{
    kvusage::CUsageStore store;
    const bool ok = store.Open(m_dbPath) && kvusage::LoadUsageView(store, now, kvusage::ReadUsageSettings(), m_data);
    if (!ok)
        m_data = kvusage::UsageViewData{};
    Build();
    if (!ok)
        m_summary->setText(QString("The usage history cannot be read: %1").arg(QString::fromStdString(store.Error())));
    return ok;
}

void CUsageWindow::Build()
{
    const int current = m_tabs->currentIndex();
    m_aim1x = m_aimEvdo = nullptr;
    while (m_tabs->count() > 0) {
        QWidget* w = m_tabs->widget(0);
        m_tabs->removeTab(0);
        delete w;
    }
    m_tabs->addTab(NewView(CycleChart(m_data)), "Cycles");
    m_tabs->addTab(NewView(MonthChart(m_data)), "Months");
    m_tabs->addTab(NewView(SignalChart(m_data)), "Signal");
    m_tabs->addTab(BuildAim(), "Aim");
    if (current >= 0)
        m_tabs->setCurrentIndex(current);
    m_summary->setText(QString("This cycle: %1 MB received, %2 MB sent.   Last cycle: %3 MB received, %4 MB sent.")
                           .arg(double(m_data.thisCycleSum.rx) / kMb, 0, 'f', 1)
                           .arg(double(m_data.thisCycleSum.tx) / kMb, 0, 'f', 1)
                           .arg(double(m_data.lastCycleSum.rx) / kMb, 0, 'f', 1)
                           .arg(double(m_data.lastCycleSum.tx) / kMb, 0, 'f', 1));
}

QWidget* CUsageWindow::BuildAim()
{
    // Live levels large enough to read from across a room while the antenna
    // is moved, and the last five minutes as a trace.
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QFont big = font();
    big.setPointSize(36);
    big.setBold(true);
    m_aim1x = new QLabel(page);
    m_aimEvdo = new QLabel(page);
    m_aim1x->setObjectName("aim_1x");
    m_aimEvdo->setObjectName("aim_evdo");
    for (QLabel* l : {m_aim1x, m_aimEvdo}) {
        l->setFont(big);
        l->setAlignment(Qt::AlignCenter);
        layout->addWidget(l);
    }
    m_aim1xLine = new QLineSeries;
    m_aim1xLine->setName("1x (dBm)");
    m_aimEvdoLine = new QLineSeries;
    m_aimEvdoLine->setName("EV-DO (dBm)");
    auto* chart = new QChart;
    chart->addSeries(m_aim1xLine);
    chart->addSeries(m_aimEvdoLine);
    chart->setTitle("The last 5 minutes");
    m_aimX = new QValueAxis;
    m_aimX->setRange(-300, 0);
    m_aimX->setTitleText("Seconds");
    auto* y = new QValueAxis;
    y->setRange(-120, -40);
    y->setTitleText("dBm");
    chart->addAxis(m_aimX, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* l : {m_aim1xLine, m_aimEvdoLine}) {
        l->attachAxis(m_aimX);
        l->attachAxis(y);
    }
    auto* view = NewView(chart);
    view->setMinimumSize(640, 220);
    layout->addWidget(view, 1);
    RefreshAim();
    return page;
}

void CUsageWindow::RefreshAim()
{
    if (!m_aim1x)
        return;
    const std::vector<kvusage::TracePoint> points = kvusage::LiveSignalTrace().Points();
    const int64_t now = int64_t(std::time(nullptr));
    QList<QPointF> one, evdo;
    for (const kvusage::TracePoint& p : points) {
        const double x = double(p.t - now);
        if (p.s.oneXDbm >= -150 && p.s.oneXDbm <= 0)
            one.append(QPointF(x, p.s.oneXDbm));
        if (p.s.evdoDbm >= -150 && p.s.evdoDbm <= 0)
            evdo.append(QPointF(x, p.s.evdoDbm));
    }
    m_aim1xLine->replace(one);
    m_aimEvdoLine->replace(evdo);
    if (points.empty()) {
        m_aim1x->setText("1x  --");
        m_aimEvdo->setText("EV-DO  --  (no modem)");
        return;
    }
    m_aim1x->setText(LevelText("1x", points.back().s.oneXDbm));
    m_aimEvdo->setText(LevelText("EV-DO", points.back().s.evdoDbm));
}

bool CUsageWindow::SaveCsv(const QString& path) const
{
    kvusage::UsageReport r;
    r.granularity = kvusage::Granularity::Daily;
    r.rows = m_data.lastCycleDays;
    r.rows.insert(r.rows.end(), m_data.thisCycleDays.begin(), m_data.thisCycleDays.end());
    const std::string csv = kvusage::UsageCsv(r);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(csv.data(), qint64(csv.size())) == qint64(csv.size()) && f.flush();
}

bool CUsageWindow::SavePng(const QString& path) const
{
    QWidget* page = m_tabs->currentWidget();
    return page && page->grab().save(path, "PNG");
}

void CUsageWindow::OnSaveCsv()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save CSV", "usage.csv", "CSV (*.csv)");
    if (!path.isEmpty() && !SaveCsv(path))
        QMessageBox::warning(this, kv::kMessageBoxCaption, "The file could not be written.");
}

void CUsageWindow::OnSavePng()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save PNG", "usage.png", "PNG (*.png)");
    if (!path.isEmpty() && !SavePng(path))
        QMessageBox::warning(this, kv::kMessageBoxCaption, "The file could not be written.");
}

void OpenUsageWindow(QWidget* parent)
{
    if (!g_window) {
        g_window = new CUsageWindow(kv::DatabasePath(), parent);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_window->Reload(int64_t(std::time(nullptr)));
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
}

} // namespace kvapp
