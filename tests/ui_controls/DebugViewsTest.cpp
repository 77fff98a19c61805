// The log window as the log's sink: visibility, filter, worker-thread lines,
// CLEAR / SAVE / CLOSE, resizing, and the list's horizontal extent.
#include "UiTestUtil.h"

#include "controls/DebugViews.h"
#include "controls/DialogIds.h"
#include "controls/HListBox.h"
#include "log/DebugLog.h"
#include "support/TempSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

namespace {
int Count(CDebugViews& w) { return w.List()->GetCount(); }
}

TEST(DebugViews, SetsUpLoggingAndRecordsOnlyWhileVisible)
{
    auto& log = kv::CDebugLog::Instance();
    {
        CDebugViews w;
        EXPECT_EQ(log.LevelMask(), 0xFFFFFEFFu);   // everything but the status poll
        EXPECT_FALSE(log.IsOff());
        EXPECT_TRUE(w.AutoScroll()->isChecked());
        EXPECT_EQ(w.LevelFilter()->count(), 12);
        EXPECT_EQ(w.LevelFilter()->itemText(0), "All View");
        EXPECT_EQ(w.LevelFilter()->itemText(9), "Level STATUS");

        DEBUG_LOG(LEVEL_ST, "hidden %d", 1);
        EXPECT_EQ(Count(w), 0);                     // hidden window: nothing
        w.show();
        DEBUG_LOG(LEVEL_ST, "shown %d", 2);
        DEBUG_LOG(LEVEL_STU, "status poll");       // masked out
        ASSERT_EQ(Count(w), 1);
        const QString line = w.List()->GetText(0);
        EXPECT_TRUE(line.contains("LEVEL_ST  : ")) << line.toStdString();
        EXPECT_TRUE(line.endsWith("  shown 2")) << line.toStdString();
        log.Disable();
        DEBUG_LOG(LEVEL_ST, "off");
        EXPECT_EQ(Count(w), 1);
        log.Enable();
    }
    // Destroyed: switched off with an empty mask.
    EXPECT_TRUE(log.IsOff());
    EXPECT_EQ(log.LevelMask(), 0u);
    EXPECT_FALSE(log.IsVisible());
}

TEST(DebugViews, LevelFilterReplacesTheMask)
{
    CDebugViews w;
    w.show();
    w.LevelFilter()->setCurrentIndex(6);   // "Level SMS"
    w.OnCloseupLevelFilter();
    EXPECT_EQ(kv::CDebugLog::Instance().LevelMask(), uint32_t(LEVEL_SMS));
    DEBUG_LOG(LEVEL_ST, "general");
    DEBUG_LOG(LEVEL_SMS, "sms");
    ASSERT_EQ(Count(w), 1);
    EXPECT_TRUE(w.List()->GetText(0).endsWith("sms"));

    w.LevelFilter()->setCurrentIndex(0);   // "All View"
    w.OnCloseupLevelFilter();
    EXPECT_EQ(kv::CDebugLog::Instance().LevelMask(), 0xFFFFu);
    for (uint32_t bit = 1; bit <= 0x400; bit <<= 1)
        DEBUG_LOG(bit, "level %u", bit);
    EXPECT_EQ(Count(w), 12);
    EXPECT_EQ(CDebugViews::FilterMask(11), uint32_t(LEVEL_COM));
}

TEST(DebugViews, WorkerThreadLinesArriveOnTheUiThread)
{
    CDebugViews w;
    w.show();
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                DEBUG_LOG(LEVEL_DM, "worker %d line %d", t, i);
        });
    for (auto& th : workers)
        th.join();
    ASSERT_TRUE(uitest::WaitFor([&] { return Count(w) == 150; }));
    // Auto scroll keeps the last line in view until a line is selected.
    w.List()->setCurrentRow(3);
    EXPECT_FALSE(w.AutoScroll()->isChecked());
}

TEST(DebugViews, SaveWritesEveryLineWithCrLfAndCloseEmptiesAndHides)
{
    const std::string dir = kvtest::MakeTempDir("kvlog");
    CDebugViews w;
    w.SetSaveDir(QString::fromStdString(dir));
    w.show();
    DEBUG_LOG(LEVEL_ST, "first");
    DEBUG_LOG(LEVEL_RAS, "second");
    const QString name = w.OnSave();
    ASSERT_TRUE(name.startsWith("Debug Message ")) << name.toStdString();
    QFile f(QString::fromStdString(dir) + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    const QList<QByteArray> lines = content.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("first\r"));
    EXPECT_TRUE(lines[1].endsWith("second\r"));
    EXPECT_TRUE(lines[2].isEmpty());

    w.OnClear();
    EXPECT_EQ(Count(w), 0);
    DEBUG_LOG(LEVEL_ST, "again");
    EXPECT_EQ(Count(w), 1);
    w.reject();                      // CLOSE
    EXPECT_EQ(Count(w), 0);
    EXPECT_FALSE(w.isVisible());
    DEBUG_LOG(LEVEL_ST, "after close");
    EXPECT_EQ(Count(w), 0);
    kvtest::RemoveTree(dir);
}

TEST(DebugViews, ListFollowsTheWindowSize)
{
    CDebugViews w;
    w.resize(600, 300);
    w.show();
    ASSERT_TRUE(uitest::WaitFor([&] { return w.List()->geometry() == QRect(10, 40, 580, 250); }))
        << w.List()->geometry().x() << "," << w.List()->geometry().width();
}

TEST(HListBox, ExtentFollowsTheWidestLine)
{
    CHListBox list;
    EXPECT_EQ(list.HorizontalExtent(), 0);
    list.AddString("short");
    const int shortW = list.HorizontalExtent();
    EXPECT_GT(shortW, 0);
    list.InsertString(0, "a much much longer line of text");
    const int longW = list.HorizontalExtent();
    EXPECT_GT(longW, shortW);
    list.AddString("mid length");
    EXPECT_EQ(list.HorizontalExtent(), longW);
    EXPECT_EQ(list.DeleteString(0), 2);
    EXPECT_LT(list.HorizontalExtent(), longW);
    EXPECT_EQ(list.DeleteString(7), -1);
    list.ResetContent();
    EXPECT_EQ(list.HorizontalExtent(), 0);
    EXPECT_EQ(list.GetCount(), 0);
}
