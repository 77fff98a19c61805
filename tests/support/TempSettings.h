// A private settings folder for one test: points KORVIANET_CONFIG_DIR at a
// fresh temporary folder and KORVIANET_DATA_DIR at its "data" subfolder (not
// created: the program makes it), and removes both afterwards.
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
    // The private user data folder (database copy, traffic files).
    std::string DataDir() const { return m_dir + "/data"; }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    // Writes a whole file below the folder (creating parent folders).
    void WriteFile(const std::string& name, const std::string& content) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::string m_dir;
    std::string m_oldEnv, m_oldDataEnv;
    bool m_hadEnv = false, m_hadDataEnv = false;
};

// Makes a fresh temporary folder and returns its path.
std::string MakeTempDir(const char* prefix = "kvtest");
void RemoveTree(const std::string& path);

// Whole-file read ("" when missing) and write (replacing the file).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

} // namespace kvtest
