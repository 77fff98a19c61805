#include "CliFixture.h"

#include <cstdlib>

namespace kvtest {

void CliFixture::SetUp()
{
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    unsetenv("KORVIANET_DOSDEVICES");
    WriteFileBytes(DbPath(), ReadFileBytes(KORVIA_BUILT_DB));
    setenv("KORVIANET_DB", DbPath().c_str(), 1);
}

void CliFixture::TearDown()
{
    sim.reset();
    unsetenv("KORVIANET_SYSFS_ROOT");
    unsetenv("KORVIANET_DB");
}

void CliFixture::StartSim(bool demo, bool pinLocked)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    o.demoState = demo;
    o.pinLocked = pinLocked;
    sim = std::make_unique<kv::sim::ModemSimulator>(o);
    ASSERT_TRUE(sim->Start());
}

CliResult CliFixture::Run(std::vector<std::string> args)
{
    args.insert(args.begin(), {"--config-dir", settings.Dir()});
    return RunCli(args);
}

nlohmann::json CliFixture::RunJson(std::vector<std::string> args, int expectedExit)
{
    args.insert(args.begin(), "--json");
    const CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, expectedExit) << r.out << r.err;
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(r.out);
    } catch (const nlohmann::json::exception& e) {
        ADD_FAILURE() << "not one JSON document: " << e.what() << "\n" << r.out;
    }
    return doc;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}

bool OnlyPrintable(const std::string& text)
{
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            return false;
    return true;
}

} // namespace kvtest
