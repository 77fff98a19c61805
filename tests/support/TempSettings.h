// A private settings folder for one test: points KORVIANET_CONFIG_DIR at a
// fresh temporary folder and removes it afterwards.
#pragma once

#include <string>

namespace kvtest {

class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

    const std::string& Dir() const { return m_dir; }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    // Writes a whole file below the folder (creating parent folders).
    void WriteFile(const std::string& name, const std::string& content) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::string m_dir;
    std::string m_oldEnv;
    bool m_hadEnv = false;
};

// Makes a fresh temporary folder and returns its path.
std::string MakeTempDir(const char* prefix = "kvtest");
void RemoveTree(const std::string& path);

// Whole-file read ("" when missing) and write (replacing the file).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

} // namespace kvtest
