// The usage window: see UsageWindow.h.
#include "app/UsageWindow.h"

#include "data/DbPath.h"
#include "host/HostIds.h"
#include "traffic/TrafficStats.h"
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
#include <QLegend>
#include <QLegendMarker>
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
constexpr int kSumsRefreshMs = 2000;
// 31 days of at least 19 pixels beside the two value axes.
constexpr int kCycleChartMinWidth = 760;

std::function<LiveUsage()>& LiveSource()
{
    static std::function<LiveUsage()> source;
    return source;
}

LiveUsage ReadLive() { return LiveSource() ? LiveSource()() : LiveUsage{}; }

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
    auto* thisSet = new QBarSet("This cycle");
    auto* lastSet = new QBarSet("Last cycle");
    QStringList days;
    auto* cumulative = new QLineSeries;
    cumulative->setName("So far");
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
    // Every day number whole: Qt hides a label that would touch its
    // neighbour, so each day's column must be wider than "31" with its
    // margins; the value axes take whole numbers to leave the days room.
    x->setTruncateLabels(false);
    chart->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    auto* y = new QValueAxis;
    y->setTitleText("MB per day");
    y->setLabelFormat("%.0f");
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(y);
    // The running total and the quota share a second axis.
    auto* y2 = new QValueAxis;
    y2->setTitleText("MB in the cycle");
    y2->setLabelFormat("%.0f");
    chart->addAxis(y2, Qt::AlignRight);
    chart->addSeries(cumulative);
    cumulative->attachAxis(x);
    cumulative->attachAxis(y2);
    double top = run;
    if (v.plan.QuotaOn()) {
        auto* quota = new QLineSeries;
        quota->setName(QString("Quota %1 MB (%2)").arg(v.plan.quotaMb).arg(kvusage::QuotaKindName(v.plan.kind)));
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

// A vertical line across the dBm range at each moment, one legend entry a kind.
void MarkLinkMoments(QChart* chart, QDateTimeAxis* x, QValueAxis* y, const std::vector<kvusage::LinkMoment>& links)
{
    bool named[2] = {false, false};
    for (const kvusage::LinkMoment& m : links) {
        auto* line = new QLineSeries;
        const double at = double(qint64(m.t) * 1000);
        line->append(at, y->min());
        line->append(at, y->max());
        QPen pen(m.up ? QColor(0x1e, 0x8a, 0x3c) : QColor(0xc0, 0x30, 0x30));
        pen.setWidth(2);
        pen.setStyle(m.up ? Qt::DashLine : Qt::DotLine);
        line->setPen(pen);
        line->setName(m.up ? "Link up" : "Link down");
        line->setObjectName(m.up ? "link_up" : "link_down");
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        const auto markers = chart->legend()->markers(line);
        if (named[m.up] && !markers.isEmpty())
            markers.front()->setVisible(false);
        named[m.up] = true;
    }
}

QChart* SignalChart(const kvusage::UsageViewData& v, int64_t now)
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
    chart->setTitle("Signal, the last 24 hours, with the link's up and down times");
    auto* x = new QDateTimeAxis;
    x->setFormat("HH:mm");
    x->setTitleText("Local time");
    const kvusage::Span span = kvusage::SignalSpan(now);
    x->setRange(QDateTime::fromSecsSinceEpoch(span.start), QDateTime::fromSecsSinceEpoch(span.end));
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QValueAxis;
    y->setRange(-120, -40);
    y->setTitleText("dBm");
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* s : {onex, evdo}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    MarkLinkMoments(chart, x, y, v.links);
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
    // The cycle's figures follow the running session.
    auto* sums = new QTimer(this);
    connect(sums, &QTimer::timeout, this, [this] { RefreshSums(int64_t(std::time(nullptr))); });
    sums->start(kSumsRefreshMs);
}

bool CUsageWindow::Reload(int64_t now)
{
    kvusage::CUsageStore store;
    const bool ok = store.Open(m_dbPath) && kvusage::LoadUsageView(store, now, kvusage::ReadUsageSettings(), m_data);
    if (!ok)
        m_data = kvusage::UsageViewData{};
    // The store first, then the meter: an hour written in between is missed
    // until the next refresh, never counted twice.
    const LiveUsage live = ReadLive();
    if (ok)
        kvusage::AddUnbooked(m_data, live.unbooked);
    kvusage::LoadLinkMoments(kvtraffic::TrafficFilePath(kvtraffic::kTrafficFileAll), kvusage::SignalSpan(now),
                             live.sessionSince, m_data.links);
    m_now = now;
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
    QChartView* cycles = NewView(CycleChart(m_data));
    cycles->setMinimumWidth(kCycleChartMinWidth);
    m_tabs->addTab(cycles, "Cycles");
    m_tabs->addTab(NewView(MonthChart(m_data)), "Months");
    m_tabs->addTab(NewView(SignalChart(m_data, m_now)), "Signal");
    m_tabs->addTab(BuildAim(), "Aim");
    if (current >= 0)
        m_tabs->setCurrentIndex(current);
    ShowSummary();
}

bool CUsageWindow::RefreshSums(int64_t now)
{
    kvusage::CUsageStore store;
    kvusage::UsageViewData sums;
    sums.thisCycle = m_data.thisCycle;
    sums.lastCycle = m_data.lastCycle;
    if (sums.thisCycle.end <= now) // a new cycle began: everything moves
        return Reload(now);
    if (!store.Open(m_dbPath) || !store.Sum(sums.thisCycle, sums.thisCycleSum)
        || !store.Sum(sums.lastCycle, sums.lastCycleSum))
        return false;
    kvusage::AddUnbooked(sums, ReadLive().unbooked);
    m_data.thisCycleSum = sums.thisCycleSum;
    m_data.lastCycleSum = sums.lastCycleSum;
    ShowSummary();
    return true;
}

void CUsageWindow::ShowSummary()
{
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

void SetLiveUsageSource(std::function<LiveUsage()> source) { LiveSource() = std::move(source); }

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
