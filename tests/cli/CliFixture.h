// korvianet-cli run as a program against a private settings folder, a
// private copy of the database and (when started) the modem simulator.
#pragma once

#include "RunCli.h"

#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace kvtest {

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (quiet line), registered in the settings folder.
    void StartSim(bool demo = true, bool pinLocked = false);
    // korvianet-cli --config-dir <folder> args...
    CliResult Run(std::vector<std::string> args);
    // The same with --json first; the output must be one JSON document.
    nlohmann::json RunJson(std::vector<std::string> args, int expectedExit = 0);

    std::string DbPath() const { return settings.Path("WVL.MDB"); }

    TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

// Lines of a text (without their line feeds).
std::vector<std::string> Lines(const std::string& text);
// True when text holds no control byte but line feeds and tabs (field separators).
bool OnlyPrintable(const std::string& text);

} // namespace kvtest
