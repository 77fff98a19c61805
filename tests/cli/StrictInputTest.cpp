// Arguments are taken whole or not at all: every refusal exits 2, names the
// argument (and the limit) and leaves the modem untouched.
#include "CliFixture.h"

using kvtest::CliFixture;

namespace {

struct BadCase {
    std::vector<std::string> args;
    std::string says; // part of the message
};

} // namespace

TEST_F(CliFixture, MalformedArgumentsExit2NamingTheArgument)
{
    const std::string longText(10000, 'x');
    const std::string longNumber(100, '5');
    const std::vector<BadCase> cases = {
        {{"pb", "add", "memory", "--index", "1abc", "Eve", "5551234"}, "--index: '1abc' is not a whole number"},
        {{"pb", "add", "memory", "--index", "4294967297", "Eve", "5551234"}, "from 1 to 65535"},
        {{"pb", "add", "memory", "--index", "0", "Eve", "5551234"}, "--index"},
        {{"pb", "add", "memory", "--index", "-1", "Eve", "5551234"}, "--index"},
        {{"pb", "add", "memory", "--index", " 7", "Eve", "5551234"}, "--index"},
        {{"pb", "add", "memory", "", "5551234"}, "NAME: it is empty"},
        {{"pb", "add", "memory", std::string(65, 'n'), "5551234"}, "NAME: it has 65 characters, at most 64 fit"},
        {{"pb", "add", "memory", "Line\nBreak", "5551234"}, "NAME: it holds a control character"},
        {{"pb", "add", "memory", "Eve", "abc"}, "NUMBER: 'a' cannot be dialled"},
        {{"pb", "add", "memory", "Eve", "12+3"}, "'+' is allowed only as the first character"},
        {{"pb", "add", "memory", "Eve", "p123"}, "the pause p"},
        {{"pb", "add", "memory", "Eve", std::string(31, '1')}, "at most 30 fit"},
        {{"pb", "add", "ruim", "Eve", std::string(21, '1')}, "at most 20 fit"},
        {{"pb", "delete", "memory", "1abc"}, "INDEX: '1abc'"},
        {{"sms", "send", "", "--", "hi"}, "the number is empty"},
        {{"sms", "send", "abc", "--", "hi"}, "NUMBER 'abc'"},
        {{"sms", "send", "+", "--", "hi"}, "no digits"},
        {{"sms", "send", longNumber, "--", "hi"}, "the number has 100 characters, at most 32 fit"},
        {{"sms", "send", "5551234", "--", longText}, "TEXT: it has 10000 characters, at most 160 fit"},
        {{"sms", "send", "5551234", "--"}, "TEXT: it is empty"},
        {{"sms", "send", "--timeout", "10s", "5551234", "--", "hi"}, "--timeout: '10s'"},
        {{"sms", "send", "--callback", "x1", "5551234", "--", "hi"}, "--callback"},
        {{"sms", "send", "1", "2", "3", "4", "5", "6", "--", "hi"}, "6 recipients, at most 5"},
        {{"sms", "read", "1abc"}, "INDEX: '1abc'"},
        {{"sms", "read", "memory:70000"}, "INDEX"},
        {{"run", "--seconds", "5x"}, "--seconds: '5x'"},
        {{"at", "status", "--ticks", "1abc"}, "--ticks: '1abc'"},
        {{"call", "--timeout", "5x", "dial", "123"}, "--timeout '5x'"},
        {{"call", "--timeout", "99999999999999999999", "dial", "123"}, "--timeout '99999999999999999999'"},
        {{"connect", "--seconds", " 5"}, "--seconds needs a number"},
        {{"connect", "--seconds", "+5"}, "--seconds needs a number"},
    };
    for (const BadCase& c : cases) {
        const auto r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args[0] << " " << c.says << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.says;
    }
}

TEST_F(CliFixture, IndexBeyondThePhonebookIsRefusedBeforeTheModemChanges)
{
    StartSim();
    const auto before = sim->Command("list-pb memory");
    auto r = Run({"pb", "add", "memory", "--index", "9999", "Eve", "5551234"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("beyond the memory phonebook's"), std::string::npos) << r.err;
    r = Run({"pb", "delete", "ruim", "9999"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(sim->Command("list-pb memory"), before);

    // a well-formed entry goes to the first free index, on the modem and in the table
    r = Run({"pb", "add", "memory", "Eve", "+1555p1234"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "stored memory entry 5\n");
    EXPECT_NE(sim->Command("list-pb memory").find("9:5 number=+1555P1234 name=Eve"), std::string::npos)
        << sim->Command("list-pb memory");
}

// A refusal quotes what was typed; control bytes in it are shown escaped,
// never sent to the terminal.
TEST_F(CliFixture, UsageErrorsShowControlBytesOfTheArgumentsEscaped)
{
    const std::string hostile = "\x1b[2J\x1b]0;t\x07";
    const std::vector<std::vector<std::string>> cases = {
        {"call", "dial", "5" + hostile},
        {"call", "dtmf", hostile},
        {"call", "wait", hostile},
        {"call", "--timeout", hostile, "hangup"},
        {"call", "ring" + hostile},
        {"frame", "decode", "7e" + hostile},
        {"sms", "send", "--timeout", hostile, "5551234", "--", "hi"},
        {"pb", "add", "memory", "Eve", "55" + hostile},
    };
    for (const auto& args : cases) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args[1] << "\n" << r.err;
        EXPECT_EQ(r.err.find_first_of("\x1b\x07"), std::string::npos) << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find("\\x1b"), std::string::npos) << r.err;
    }
}
