// A private session bus (the real dbus-daemon) with the stand-in owner on
// it, and the clients the tests drive it with: gdbus and busctl.
#pragma once

#include "BusToolRun.h"
#include "support/PrivateBus.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

inline constexpr const char* kName = "org.korvianet.Korvianet1";
inline constexpr const char* kPath = "/org/korvianet/Korvianet1";

class BusTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"dbus-daemon", "gdbus", "busctl"})
            if (!HaveProgram(tool))
                GTEST_SKIP() << tool << " is not installed";
        dir = MakeTempDir("kvbus");
        bus = std::make_unique<PrivateBus>(dir);
        ASSERT_TRUE(bus->Start()) << "dbus-daemon did not start";
        address = bus->Address();
    }
    void TearDown() override
    {
        for (auto& o : owners)
            o->Kill();
        owners.clear();
        bus.reset();
        if (!dir.empty())
            RemoveTree(dir);
    }

    // Starts a stand-in owner on the bus; waits for its start to settle.
    Child& StartOwner(std::vector<std::string> extra = {}, const std::string& on = "")
    {
        std::vector<std::string> argv{KV_TEST_OWNER, "--address", on.empty() ? address : on};
        argv.insert(argv.end(), extra.begin(), extra.end());
        owners.push_back(std::make_unique<Child>());
        Child& c = *owners.back();
        EXPECT_TRUE(c.Start(argv, true));
        EXPECT_TRUE(c.WaitFor("state: ")) << c.Output();
        return c;
    }
    // A command to the owner, waited for.
    void Tell(Child& owner, const std::string& line)
    {
        const size_t before = owner.Output().size();
        owner.Send(line);
        const std::string cmd = line.substr(0, line.find(' '));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (owner.Output().find("done " + cmd, before) == std::string::npos
               && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // gdbus call of one of the interface's methods.
    ToolResult Call(const std::string& method, std::vector<std::string> args = {}, const std::string& on = "")
    {
        std::vector<std::string> argv{"gdbus", "call", "--address", on.empty() ? address : on, "--dest", kName,
                                      "--object-path", kPath, "--method", std::string(kName) + "." + method};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunTool(argv);
    }
    ToolResult GetProperty(const std::string& name)
    {
        return RunTool({"busctl", "--address=" + address, "get-property", kName, kPath, kName, name});
    }

    std::string dir;
    std::string address;
    std::unique_ptr<PrivateBus> bus;
    std::vector<std::unique_ptr<Child>> owners;
};

} // namespace kvtest
