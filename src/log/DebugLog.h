// The diagnostic log: every subsystem writes levelled, printf-style lines
// through DEBUG_LOG, which records the calling file and line. Lines reach a
// sink (the log window, or the command-line tool's stderr/file sink) only
// while the sink is visible, logging is on and the level passes the mask;
// otherwise a call costs three relaxed atomic loads.
#pragma once

#include <atomic>
#include <cstdint>
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

class CDebugLog {
public:
    using Sink = std::function<void(const std::string& line)>;

    static CDebugLog& Instance();

    // The cheap gate in front of every call.
    bool WouldRecord(uint32_t level) const noexcept
    {
        return m_bVisible.load(std::memory_order_relaxed)
            && m_nOff.load(std::memory_order_relaxed) != 1
            && (level & m_dwMask.load(std::memory_order_relaxed)) != 0;
    }

    // The three steps of one log call, done under one lock so that lines
    // from different threads never mix their file and line fields.
    void Record(int line, const char* file, uint32_t level, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    void SetLine(int line);
    void SetSourceFile(const char* path);
    void DebugLog(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    void SetLevelMask(uint32_t mask) { m_dwMask.store(mask); }
    void AddLevels(uint32_t bits) { m_dwMask.fetch_or(bits); }
    void RemoveLevels(uint32_t bits) { m_dwMask.fetch_and(~bits); }
    void ClearLevels() { m_dwMask.store(0); }
    void Disable() { m_nOff.store(1); }
    void Enable() { m_nOff.store(0); }
    uint32_t LevelMask() const { return m_dwMask.load(); }
    bool IsOff() const { return m_nOff.load() == 1; }

    // Whether a sink is showing lines (the log window's visibility).
    void SetVisible(bool visible) { m_bVisible.store(visible); }
    bool IsVisible() const { return m_bVisible.load(); }

    // Where recorded lines go. The sink is called with the log lock held:
    // it must not log, and must hand the line to its own thread quickly.
    void SetSink(Sink sink);

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
    std::recursive_mutex m_lock;
    int m_nCurLine = 0;
    std::string m_strCurFile;
    Sink m_sink;
};

// Writes lines to "Debug Message <HHhMMmSSs>.txt" in dir (empty: the current
// folder), each followed by CR LF. Returns the file name, or "" when the file
// could not be created.
std::string SaveLogLines(const std::vector<std::string>& lines, const std::string& dir = "");

// Switches logging on with a sink that writes each line (plus "\n") to the
// given stream (stderr when null): the diagnostic mode of the command-line tool.
void EnableDiagnosticSink(std::FILE* out = nullptr, uint32_t mask = 0xFFFFFFFFu);

} // namespace kv

#define DEBUG_LOG(level, ...)                                                                   \
    do {                                                                                        \
        if (::kv::CDebugLog::Instance().WouldRecord(level))                                    \
            ::kv::CDebugLog::Instance().Record(__LINE__, __FILE__, (level), __VA_ARGS__);       \
    } while (0)
