#include "support/TempSettings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace kvtest {

std::string MakeTempDir(const char* prefix)
{
    std::string base = std::filesystem::temp_directory_path().string() + "/" + prefix + "XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    return buf.data();
}

void RemoveTree(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

TempSettings::TempSettings() : m_dir(MakeTempDir("kvcfg"))
{
    if (const char* old = std::getenv("KORVIANET_CONFIG_DIR")) {
        m_hadEnv = true;
        m_oldEnv = old;
    }
    setenv("KORVIANET_CONFIG_DIR", m_dir.c_str(), 1);
    if (const char* old = std::getenv("KORVIANET_DATA_DIR")) {
        m_hadDataEnv = true;
        m_oldDataEnv = old;
    }
    setenv("KORVIANET_DATA_DIR", DataDir().c_str(), 1);
}

TempSettings::~TempSettings()
{
    if (m_hadEnv)
        setenv("KORVIANET_CONFIG_DIR", m_oldEnv.c_str(), 1);
    else
        unsetenv("KORVIANET_CONFIG_DIR");
    if (m_hadDataEnv)
        setenv("KORVIANET_DATA_DIR", m_oldDataEnv.c_str(), 1);
    else
        unsetenv("KORVIANET_DATA_DIR");
    RemoveTree(m_dir);
}

void TempSettings::WriteFile(const std::string& name, const std::string& content) const
{
    std::filesystem::path p = Path(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

std::string TempSettings::ReadFile(const std::string& name) const
{
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace kvtest
