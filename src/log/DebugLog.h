// The diagnostic log: every subsystem writes levelled, printf-style lines
// through DEBUG_LOG, which records the calling file and line. A line reaches
// the sink (the log window, or the command-line tool's stderr/file sink) only
// while the sink is visible, logging is on and the level shares a bit with
// the mask. The process starts hidden, off and with an empty mask, so a call
// costs one relaxed atomic load until someone switches the log on.
//
// Line layout: "%s %s: %5d  %s  %s" from the local time ("%H:%M:%S"), the
// level's 10-character tag, the source line, the source file's base name
// padded to at least 20 characters, and the message; the message and the
// whole line are each cut at 1024 characters. The message is not altered:
// line breaks in it stay in the line.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum : uint32_t {
    LEVEL_ST = 0x001,
    LEVEL_ERR = 0x002,
    LEVEL_RAS = 0x004,
    LEVEL_SIM = 0x008,
    LEVEL_NOTI = 0x010,
    LEVEL_SMS = 0x020,
    LEVEL_DM = 0x040,
    LEVEL_PB = 0x080,
    LEVEL_STU = 0x100,
    LEVEL_DB = 0x200,
    LEVEL_COM = 0x400,
};

namespace kv {

inline constexpr size_t kLogMaxText = 1024;     // messages and lines are cut here
inline constexpr size_t kLogFileField = 20;     // file names are padded to this width
inline constexpr size_t kLogFileFieldMax = 259; // and never longer than this
inline constexpr const char* kLogTimeFormat = "%H:%M:%S";
inline constexpr const char* kLogLineFormat = "%s %s: %5d  %s  %s";
inline constexpr const char* kLogSaveTimeFormat = "%Hh%Mm%Ss";
inline constexpr const char* kLogSaveNameFormat = "Debug Message %s.txt";

// Masks of the log window's life: all levels but LEVEL_STU when the window
// is set up, nothing once start-up switches the log off, and the "All View"
// filter entry.
inline constexpr uint32_t kLogMaskAll = 0xFFFFFFFFu;
inline constexpr uint32_t kLogMaskWindowInit = 0xFFFFFFFFu & ~uint32_t(LEVEL_STU);
inline constexpr uint32_t kLogMaskAllView = 0xFFFFu;

// The level filter of the log window: entry 0 "All View" (mask 0xFFFF), then
// one entry per level in bit order ("Level ST" ... "Level ComPort"), each
// selecting only its own bit.
inline constexpr int kLogFilterCount = 12;
// The entry's text, or nullptr outside 0..11.
const char* LogFilterText(int entry);
// The mask the entry selects, or 0 outside 0..11.
uint32_t LogFilterMask(int entry);

class CDebugLog {
public:
    using Sink = std::function<void(const std::string& line)>;

    static CDebugLog& Instance();

    // The cheap gate in front of every call: the visible test first, so a
    // hidden log costs one relaxed load.
    bool WouldRecord(uint32_t level) const noexcept
    {
        return m_bVisible.load(std::memory_order_relaxed)
            && m_nOff.load(std::memory_order_relaxed) != 1
            && (level & m_dwMask.load(std::memory_order_relaxed)) != 0;
    }

    // One log call: stores the line and file and records the message, all
    // under one lock so that calls from different threads never mix their
    // file and line fields. This is what DEBUG_LOG uses.
    void Record(int line, const char* file, uint32_t level, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    // The three steps one at a time. Each takes the lock on its own, so a
    // caller that uses them from several threads must order them itself.
    void SetLine(int line);
    void SetSourceFile(const char* path);
    void DebugLog(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    void SetLevelMask(uint32_t mask) { m_dwMask.store(mask); }
    void AddLevels(uint32_t bits) { m_dwMask.fetch_or(bits); }
    void RemoveLevels(uint32_t bits) { m_dwMask.fetch_and(~bits); }
    void ClearLevels() { m_dwMask.store(0); }
    void Disable() { m_nOff.store(1); }
    void Enable() { m_nOff.store(0); }
    // The off flag as a value: 1 is off, anything else is on.
    void SetOffFlag(int value) { m_nOff.store(value); }
    uint32_t LevelMask() const { return m_dwMask.load(); }
    bool IsOff() const { return m_nOff.load() == 1; }

    // Whether a sink is showing lines (the log window's visibility).
    void SetVisible(bool visible) { m_bVisible.store(visible); }
    bool IsVisible() const { return m_bVisible.load(); }

    // Where recorded lines go. The sink is called with the log lock held: it
    // must not log and must not wait for another thread that may log (hand
    // the line over with a queued post, not a blocking send).
    void SetSink(Sink sink);

    // The current-line and current-file fields.
    int CurrentLine() const;
    std::string CurrentFile() const;

    // Pure helpers, also used by tests and the save writer.
    static const char* TagFor(uint32_t level);
    static std::string BaseNameField(const char* path);
    static std::string ComposeLine(const std::string& time, uint32_t level, int line,
                                   const std::string& fileField, const std::string& message);

private:
    CDebugLog() = default;
    void RecordV(uint32_t level, const char* format, va_list args);

    std::atomic<bool> m_bVisible{false};
    std::atomic<int> m_nOff{1};
    std::atomic<uint32_t> m_dwMask{0};
    mutable std::recursive_mutex m_lock;
    int m_nCurLine = 0;
    std::string m_strCurFile;
    Sink m_sink;
};

// The save file's name for a moment: "Debug Message 14h05m09s.txt".
std::string LogSaveFileName(const std::tm& when);

// The SAVE button: writes the lines to "Debug Message <HHhMMmSSs>.txt" in dir
// (empty: the current folder), each followed by CR LF, truncating a file of
// the same name. Returns the file's name, or "" when it could not be created
// (nothing is written then).
std::string SaveLogLines(const std::vector<std::string>& lines, const std::string& dir = "");

// Switches logging on with a sink that writes each line to the stream
// (stderr when null) as one output line, its control characters made
// visible (VisibleText): the diagnostic mode of the command-line tool.
void EnableDiagnosticSink(std::FILE* out = nullptr, uint32_t mask = kLogMaskAll);
// The same into a file, appended to and created owner-only. False when the
// file cannot be opened (logging is left as it was).
bool EnableDiagnosticFile(const std::string& path, uint32_t mask = kLogMaskAll);
// Back to the start-up state: hidden, off, empty mask, no sink (an open
// diagnostic file is closed).
void DisableDiagnosticSink();

} // namespace kv

#define DEBUG_LOG(level, ...)                                                                   \
    do {                                                                                        \
        if (::kv::CDebugLog::Instance().WouldRecord(level))                                    \
            ::kv::CDebugLog::Instance().Record(__LINE__, __FILE__, (level), __VA_ARGS__);       \
    } while (0)
