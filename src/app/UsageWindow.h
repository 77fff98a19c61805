// The usage window: bars per day of this and the last billing cycle with the
// cycle's running total against the quota line, bars per month for the last
// 12 months, the signal of the last day as two lines, and an aiming view of
// the live levels with the last five minutes as a trace. It reads the
// history from the database only, so it opens without a modem. Its data is
// gathered by the core (usage/UsageView.h); this class only draws it and
// saves it (CSV of the days, PNG of the chart shown).
#pragma once

#include "usage/UsageView.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QTabWidget;
class QLabel;
class QLineSeries;
class QValueAxis;

namespace kvapp {

class CUsageWindow : public QDialog {
    Q_OBJECT
public:
    explicit CUsageWindow(std::string dbPath, QWidget* parent = nullptr);

    // Reads the history again and redraws (false: the database could not be read).
    bool Reload(int64_t now);
    // Reads the cycle sums again with the running session's unwritten bytes
    // and shows them (the window does so every few seconds).
    bool RefreshSums(int64_t now);
    const kvusage::UsageViewData& Data() const { return m_data; }
    // Writes the days of both cycles as CSV, or the chart of the open tab as PNG.
    bool SaveCsv(const QString& path) const;
    bool SavePng(const QString& path) const;
    QTabWidget* Tabs() const { return m_tabs; }
    // The aiming view follows the live trace (every second, and on call).
    void RefreshAim();

private:
    void Build();
    QWidget* BuildAim();
    void OnSaveCsv();
    void OnSavePng();
    void ShowSummary();

    std::string m_dbPath;
    kvusage::UsageViewData m_data;
    int64_t m_now = 0; // of the last reload
    QTabWidget* m_tabs = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_aim1x = nullptr;
    QLabel* m_aimEvdo = nullptr;
    QLineSeries* m_aim1xLine = nullptr;
    QLineSeries* m_aimEvdoLine = nullptr;
    QValueAxis* m_aimX = nullptr;
};

// What the running session adds that the database does not hold yet: the
// meter's unwritten hours, and when the session came up (0: none runs).
struct LiveUsage {
    std::vector<kvusage::UsageRow> unbooked;
    int64_t sessionSince = 0;
};
// Where the window reads it (the usage meter's wiring); none: nothing live.
void SetLiveUsageSource(std::function<LiveUsage()> source);

// Opens (or raises) the one usage window of the program, on the user's database.
void OpenUsageWindow(QWidget* parent);

} // namespace kvapp
