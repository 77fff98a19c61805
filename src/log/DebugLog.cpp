#include "log/DebugLog.h"

#include "log/VisibleText.h"

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace kv {

namespace {

std::tm NowLocal()
{
    std::time_t now = std::time(nullptr);
    std::tm tmLocal{};
    localtime_r(&now, &tmLocal);
    return tmLocal;
}

std::string FormatTime(const char* format, const std::tm& when)
{
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, format, &when);
    return std::string(buf, n);
}

struct FilterEntry {
    const char* text;
    uint32_t mask;
};

constexpr FilterEntry kFilter[kLogFilterCount] = {
    {"All View", kLogMaskAllView},   {"Level ST", LEVEL_ST},     {"Level ERR", LEVEL_ERR},
    {"Level RAS", LEVEL_RAS},        {"Level SIM", LEVEL_SIM},   {"Level NOTI", LEVEL_NOTI},
    {"Level SMS", LEVEL_SMS},        {"Level DM", LEVEL_DM},     {"Level PB", LEVEL_PB},
    {"Level STATUS", LEVEL_STU},     {"Level DataBase", LEVEL_DB}, {"Level ComPort", LEVEL_COM},
};

// The diagnostic file the command-line tool may have opened.
std::mutex g_fileLock;
std::unique_ptr<std::FILE, int (*)(std::FILE*)> g_file(nullptr, &std::fclose);

} // namespace

const char* LogFilterText(int entry)
{
    return entry >= 0 && entry < kLogFilterCount ? kFilter[entry].text : nullptr;
}

uint32_t LogFilterMask(int entry)
{
    return entry >= 0 && entry < kLogFilterCount ? kFilter[entry].mask : 0;
}

CDebugLog& CDebugLog::Instance()
{
    static CDebugLog log;
    return log;
}

const char* CDebugLog::TagFor(uint32_t level)
{
    switch (level) {
    case LEVEL_ST: return "LEVEL_ST  ";
    case LEVEL_ERR: return "LEVEL_ERR ";
    case LEVEL_RAS: return "LEVEL_RAS ";
    case LEVEL_SIM: return "LEVEL_SIM ";
    case LEVEL_NOTI: return "LEVEL_NOTI";
    case LEVEL_SMS: return "LEVEL_SMS ";
    case LEVEL_DM: return "LEVEL_DM  ";
    case LEVEL_PB: return "LEVEL_PB  ";
    case LEVEL_STU: return "LEVEL_STU ";
    case LEVEL_DB: return "LEVEL_DB  ";
    case LEVEL_COM: return "LEVEL_COM ";
    default: return "LEVEL_SUM ";
    }
}

std::string CDebugLog::BaseNameField(const char* path)
{
    if (!path)
        path = "";
    // Windows paths end at a backslash, ours at a slash: either will do.
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    std::string field(base, strnlen(base, kLogFileFieldMax));
    if (field.size() < kLogFileField)
        field.append(kLogFileField - field.size(), ' ');
    return field;
}

std::string CDebugLog::ComposeLine(const std::string& time, uint32_t level, int line,
                                   const std::string& fileField, const std::string& message)
{
    char buf[kLogMaxText + 1];
    std::snprintf(buf, sizeof buf, kLogLineFormat, time.c_str(), TagFor(level), line,
                  fileField.c_str(), message.c_str());
    return buf;
}

void CDebugLog::SetSink(Sink sink)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_sink = std::move(sink);
}

int CDebugLog::CurrentLine() const
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_nCurLine;
}

std::string CDebugLog::CurrentFile() const
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_strCurFile;
}

void CDebugLog::SetLine(int line)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_nCurLine = line;
}

void CDebugLog::SetSourceFile(const char* path)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_strCurFile = BaseNameField(path);
}

void CDebugLog::DebugLog(uint32_t level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        RecordV(level, format, args);
    }
    va_end(args);
}

void CDebugLog::Record(int line, const char* file, uint32_t level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        m_nCurLine = line;
        m_strCurFile = BaseNameField(file);
        RecordV(level, format, args);
    }
    va_end(args);
}

void CDebugLog::RecordV(uint32_t level, const char* format, va_list args)
{
    // Caller holds m_lock. The gate again: the state may have changed since
    // the macro looked.
    if (!WouldRecord(level) || !format)
        return;
    char message[kLogMaxText + 1];
    std::vsnprintf(message, sizeof message, format, args);
    std::string line = ComposeLine(FormatTime(kLogTimeFormat, NowLocal()), level, m_nCurLine,
                                   m_strCurFile, message);
    if (m_sink)
        m_sink(line);
}

std::string LogSaveFileName(const std::tm& when)
{
    char name[128];
    std::snprintf(name, sizeof name, kLogSaveNameFormat, FormatTime(kLogSaveTimeFormat, when).c_str());
    return name;
}

std::string SaveLogLines(const std::vector<std::string>& lines, const std::string& dir)
{
    std::string name = LogSaveFileName(NowLocal());
    std::string path = dir.empty() ? name : dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return "";
    for (const std::string& l : lines) {
        std::fwrite(l.data(), 1, l.size(), f);
        std::fwrite("\r\n", 1, 2, f);
    }
    std::fclose(f);
    return name;
}

void EnableDiagnosticSink(std::FILE* out, uint32_t mask)
{
    CDebugLog& log = CDebugLog::Instance();
    std::FILE* stream = out ? out : stderr;
    // One log line is one output line: texts from the modem inside a
    // message (names, numbers, message bodies) are shown escaped.
    log.SetSink([stream](const std::string& line) {
        std::string_view body(line);
        if (!body.empty() && body.back() == '\n')
            body.remove_suffix(1);
        const std::string shown = VisibleText(body);
        std::fputs(shown.c_str(), stream);
        std::fputc('\n', stream);
        std::fflush(stream);
    });
    log.SetLevelMask(mask);
    log.Enable();
    log.SetVisible(true);
}

bool EnableDiagnosticFile(const std::string& path, uint32_t mask)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::FILE* f = ::fdopen(fd, "a");
    if (!f) {
        ::close(fd);
        return false;
    }
    std::lock_guard<std::mutex> lock(g_fileLock);
    EnableDiagnosticSink(f, mask);
    g_file.reset(f); // after the sink switched over: the old file is no longer used
    return true;
}

void DisableDiagnosticSink()
{
    CDebugLog& log = CDebugLog::Instance();
    log.SetVisible(false);
    log.Disable();
    log.ClearLevels();
    log.SetSink(nullptr);
    std::lock_guard<std::mutex> lock(g_fileLock);
    g_file.reset();
}

} // namespace kv
