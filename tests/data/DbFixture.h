// A private copy of the built database file per test, with a private
// settings folder; KORVIANET_DB points at the copy.
#pragma once

#include "support/TempSettings.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace kvtest {

class DbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a phonebook row straight through a fresh cursor.
    void AddPbook(int type, int index, const std::string& name, const std::string& number);
    int CountRows(const char* table, const char* where = "1");
    std::string DbPath() const { return m_dir + "/WVL.MDB"; }

    TempSettings m_cfg;
    std::string m_dir;
};

// Runs fn in a child process without root's right to ignore file modes
// (switching to an unprivileged user when run as root); true when fn did.
bool RunUnprivileged(const std::function<bool()>& fn);

} // namespace kvtest
