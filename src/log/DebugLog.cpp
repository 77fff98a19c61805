#include "log/DebugLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kv {

namespace {
constexpr size_t kMaxText = 1024;   // messages and lines are cut here
constexpr size_t kFileField = 20;   // file names are padded to this width

std::string LocalTime(const char* format)
{
    std::time_t now = std::time(nullptr);
    std::tm tmLocal{};
    localtime_r(&now, &tmLocal);
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, format, &tmLocal);
    return std::string(buf, n);
}
} // namespace

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
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    std::string field(base);
    if (field.size() < kFileField)
        field.append(kFileField - field.size(), ' ');
    return field;
}

std::string CDebugLog::ComposeLine(const std::string& time, uint32_t level, int line,
                                   const std::string& fileField, const std::string& message)
{
    char buf[kMaxText + 1];
    std::snprintf(buf, sizeof buf, "%s %s: %5d  %s  %s", time.c_str(), TagFor(level), line,
                  fileField.c_str(), message.c_str());
    return buf;
}

void CDebugLog::SetSink(Sink sink)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_sink = std::move(sink);
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
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    RecordV(level, format, args);
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
    // Caller holds m_lock.
    if (!WouldRecord(level) || !format)
        return;
    char message[kMaxText + 1];
    std::vsnprintf(message, sizeof message, format, args);
    std::string line = ComposeLine(LocalTime("%H:%M:%S"), level, m_nCurLine, m_strCurFile, message);
    if (m_sink)
        m_sink(line);
}

std::string SaveLogLines(const std::vector<std::string>& lines, const std::string& dir)
{
    std::string name = "Debug Message " + LocalTime("%Hh%Mm%Ss") + ".txt";
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
    log.SetSink([stream](const std::string& line) {
        std::fputs(line.c_str(), stream);
        if (line.empty() || line.back() != '\n')
            std::fputc('\n', stream);
        std::fflush(stream);
    });
    log.SetLevelMask(mask);
    log.Enable();
    log.SetVisible(true);
}

} // namespace kv
