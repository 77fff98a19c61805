// The usage window over a year of demo data made by the project's own
// script: the charts are there with their bars, the CSV and the PNG are
// written, the window opens without a database, and the plan dialog
// refuses a cycle day the plan cannot have without saving anything.
#include "app/UsagePlanDlg.h"
#include "app/UsageWindow.h"

#include "support/TempSettings.h"
#include "traffic/TrafficRecords.h"
#include "usage/SignalTrace.h"
#include "usage/UsageSettings.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>

namespace {

class UsageWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = m_settings.Path("WVL.MDB");
        kvtest::WriteFileBytes(m_db, kvtest::ReadFileBytes(KORVIA_BUILT_DB));
        const std::string cmd = std::string("python3 ") + KV_DEMO_SCRIPT + " " + m_db + " --now "
                                + std::to_string(m_now) + " >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        ASSERT_TRUE(kvusage::SetUsageSetting("cycle-day", "15"));
        ASSERT_TRUE(kvusage::SetUsageSetting("quota-kind", "both"));
        ASSERT_TRUE(kvusage::SetUsageSetting("quota-mb", "4000"));
    }
    kvtest::TempSettings m_settings;
    std::string m_db;
    int64_t m_now = int64_t(std::time(nullptr));
};

// One session's record as the sessions' file holds it.
std::string SessionRecord(int64_t end, uint32_t durationMs)
{
    kvtraffic::TrafficRecord r;
    r.time = end;
    r.duration = durationMs;
    r.bytesReceived = 10;
    uint8_t b[kvtraffic::kTrafficRecordSize];
    kvtraffic::EncodeTrafficRecord(r, b);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

QChart* ChartOf(QTabWidget* tabs, int i)
{
    auto* v = qobject_cast<QChartView*>(tabs->widget(i));
    return v ? v->chart() : nullptr;
}

} // namespace

TEST_F(UsageWindowTest, AYearOfDataDrawsEveryChartAndSavesCsvAndPng)
{
    kvapp::CUsageWindow w(m_db);
    ASSERT_TRUE(w.Reload(m_now));
    w.resize(900, 560);
    w.show();
    ASSERT_EQ(w.Tabs()->count(), 4);
    EXPECT_EQ(w.Data().months.size(), 12u);
    EXPECT_GT(w.Data().thisCycleSum.rx, 0u);
    EXPECT_GT(w.Data().signal.size(), 1000u);
    // Cycle tab: bars for both cycles, the running total and the quota line.
    QChart* cycle = ChartOf(w.Tabs(), 0);
    ASSERT_NE(cycle, nullptr);
    ASSERT_EQ(cycle->series().size(), 3);
    auto* bars = qobject_cast<QBarSeries*>(cycle->series()[0]);
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 2);
    EXPECT_GE(bars->barSets()[0]->count(), 28);
    auto* quota = qobject_cast<QLineSeries*>(cycle->series()[2]);
    ASSERT_NE(quota, nullptr);
    EXPECT_DOUBLE_EQ(quota->at(0).y(), 4000.0);
    // Months: 12 bars of received bytes.
    auto* months = qobject_cast<QBarSeries*>(ChartOf(w.Tabs(), 1)->series()[0]);
    ASSERT_NE(months, nullptr);
    EXPECT_EQ(months->barSets()[0]->count(), 12);
    EXPECT_GT(months->barSets()[0]->sum(), 0.0);

    const QString csv = QString::fromStdString(m_settings.Path("days.csv"));
    ASSERT_TRUE(w.SaveCsv(csv));
    const std::string text = kvtest::ReadFileBytes(csv.toStdString());
    EXPECT_EQ(text.rfind("start,end,start_unix,", 0), 0u);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 28);
    const char* shots = std::getenv("KV_USAGE_SHOTS");
    for (int i = 0; i < 4; ++i) {
        w.Tabs()->setCurrentIndex(i);
        const QString png = QString::fromStdString(m_settings.Path("chart" + std::to_string(i) + ".png"));
        ASSERT_TRUE(w.SavePng(png));
        QImage img(png);
        ASSERT_FALSE(img.isNull());
        EXPECT_GE(img.width(), 600);
        if (shots) // a look at the window as a user sees it
            w.grab().save(QString(shots) + "/usage-window-" + QString::number(i) + ".png");
    }
}

TEST_F(UsageWindowTest, OpensWithoutADatabaseAndSaysSo)
{
    kvapp::CUsageWindow w(m_settings.Path("absent.mdb"));
    EXPECT_FALSE(w.Reload(m_now));
    EXPECT_EQ(w.Tabs()->count(), 4);
    auto* aim = w.findChild<QLabel*>("aim_evdo");
    ASSERT_NE(aim, nullptr);
    EXPECT_TRUE(aim->text().contains("no modem")) << aim->text().toStdString();
    // Live levels reach the aiming view.
    const int64_t now = int64_t(std::time(nullptr));
    kvusage::LiveSignalTrace().Add(now - 1, {-81, 99, 2, 0});
    kvusage::LiveSignalTrace().Add(now, {-77, -66, 4, 0});
    w.RefreshAim();
    EXPECT_EQ(w.findChild<QLabel*>("aim_1x")->text(), "1x  -77 dBm");
    EXPECT_EQ(aim->text(), "EV-DO  -66 dBm");
    auto* summary = w.findChild<QLabel*>("usage_summary");
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->text().contains("cannot be read"));
}

TEST_F(UsageWindowTest, ThePlanDialogRefusesDayThirtyAndSavesNothing)
{
    kvapp::CUsagePlanDlg dlg;
    auto* day = dlg.findChild<QLineEdit*>("plan_cycle_day");
    auto* mb = dlg.findChild<QLineEdit*>("plan_quota_mb");
    auto* hang = dlg.findChild<QCheckBox*>("plan_hangup");
    ASSERT_TRUE(day && mb && hang);
    EXPECT_EQ(day->text(), "15");
    day->setText("30");
    mb->setText("100");
    hang->setChecked(true);
    EXPECT_FALSE(dlg.Save());
    EXPECT_TRUE(dlg.Problem().contains("not every month")) << dlg.Problem().toStdString();
    kvusage::UsageSettings s = kvusage::ReadUsageSettings();
    EXPECT_EQ(s.cycleDay, 15);
    EXPECT_EQ(s.quotaMb, 4000);
    EXPECT_FALSE(s.hangUp);
    day->setText("28");
    EXPECT_TRUE(dlg.Save());
    s = kvusage::ReadUsageSettings();
    EXPECT_EQ(s.cycleDay, 28);
    EXPECT_EQ(s.quotaMb, 100);
    EXPECT_TRUE(s.hangUp);
}

// The running session's bytes that the meter has not written yet count in
// "This cycle" at once, and the signal chart marks when the link came up
// and went down (from the sessions' records and the running session).
TEST_F(UsageWindowTest, TheCycleFigureIsLiveAndTheSignalChartMarksTheLink)
{
    kvapp::CUsageWindow w(m_db);
    ASSERT_TRUE(w.Reload(m_now));
    const uint64_t stored = w.Data().thisCycleSum.rx;
    const int64_t hour = m_now - m_now % 3600;
    kvapp::SetLiveUsageSource([&] {
        kvapp::LiveUsage live;
        live.unbooked = {kvusage::UsageRow{hour, hour + 3600, 5 * 1048576, 1048576, 30}};
        live.sessionSince = m_now - 600;
        return live;
    });
    const std::string sessions = kvtraffic::TrafficFilePath(kvtraffic::kTrafficFileAll);
    std::filesystem::create_directories(std::filesystem::path(sessions).parent_path());
    kvtest::WriteFileBytes(sessions, SessionRecord(m_now - 7200, 1800 * 1000));
    ASSERT_TRUE(w.RefreshSums(m_now));
    EXPECT_EQ(w.Data().thisCycleSum.rx, stored + 5 * 1048576);
    auto* summary = w.findChild<QLabel*>("usage_summary");
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->text().contains(QString::number(double(stored + 5 * 1048576) / 1048576.0, 'f', 1)))
        << summary->text().toStdString();
    ASSERT_TRUE(w.Reload(m_now));
    EXPECT_EQ(w.Data().thisCycleSum.rx, stored + 5 * 1048576) << "a reload keeps the live bytes";
    ASSERT_EQ(w.Data().links.size(), 3u);
    QChart* signal = ChartOf(w.Tabs(), 2);
    ASSERT_NE(signal, nullptr);
    int up = 0, down = 0;
    for (QAbstractSeries* s : signal->series()) {
        up += s->objectName() == "link_up";
        down += s->objectName() == "link_down";
    }
    EXPECT_EQ(up, 2);
    EXPECT_EQ(down, 1);
    if (const char* shots = std::getenv("KV_USAGE_SHOTS")) {
        w.resize(900, 560);
        w.show();
        w.Tabs()->setCurrentIndex(2);
        QApplication::processEvents();
        w.grab().save(QString(shots) + "/usage-window-links.png");
    }
    kvapp::SetLiveUsageSource(nullptr);
}

// Every day number of the cycle chart is drawn, whole and apart from its
// neighbours, and no text of the chart is shortened, at the window's own
// size (run again at 2x scale by CTest). Qt hides a day number that would
// touch the one before it.
TEST_F(UsageWindowTest, EveryDayLabelOfTheCycleChartIsWholeAndApart)
{
    kvapp::CUsageWindow w(m_db);
    ASSERT_TRUE(w.Reload(m_now));
    w.show();
    QApplication::processEvents();
    auto* view = qobject_cast<QChartView*>(w.Tabs()->widget(0));
    ASSERT_NE(view, nullptr);
    const int days = int(qobject_cast<QBarSeries*>(view->chart()->series()[0])->barSets()[0]->count());
    ASSERT_GE(days, 28);
    std::map<int, QRectF> labels;
    for (QGraphicsItem* item : view->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (text && std::getenv("KV_DUMP_LABELS"))
            std::fprintf(stderr, "'%s' vis %d at %.1f,%.1f %.1fx%.1f\n", qPrintable(text->toPlainText()), text->isVisible(),
                         text->sceneBoundingRect().x(), text->sceneBoundingRect().y(), text->sceneBoundingRect().width(),
                         text->sceneBoundingRect().height());
        if (!text || !text->isVisible() || text->toPlainText().isEmpty())
            continue;
        const QString shown = text->toPlainText();
        EXPECT_FALSE(shown.endsWith("...") || shown.endsWith(QChar(0x2026))) << "cut: " << shown.toStdString();
        if (shown == "Day of the cycle")
            continue;
        // The day numbers: the labels along the bottom axis.
        const QRectF r = text->sceneBoundingRect();
        if (r.top() < view->chart()->plotArea().bottom() || r.top() > view->chart()->plotArea().bottom() + 30)
            continue;
        bool number = false;
        const int day = text->toPlainText().toInt(&number);
        EXPECT_TRUE(number) << "cut label: " << text->toPlainText().toStdString();
        if (number)
            labels[day] = text->sceneBoundingRect();
    }
    for (int day = 1; day <= days; ++day)
        EXPECT_EQ(labels.count(day), 1u) << "day " << day << " has no label";
    const QRectF scene = view->mapToScene(view->viewport()->rect()).boundingRect();
    QRectF previous;
    for (const auto& [day, r] : labels) {
        EXPECT_TRUE(scene.contains(r)) << "day " << day << " leaves the chart";
        // Glyph boxes carry a margin: overlapping boxes of more than a pixel
        // or two mean the numbers run into each other.
        if (!previous.isNull())
            EXPECT_LE(previous.intersected(r).width(), 4.0) << "day " << day << " runs into day " << day - 1;
        previous = r;
    }
}
