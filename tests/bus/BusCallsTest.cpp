// Every method through gdbus call: the owner's actions are asked with the
// caller's arguments and their answers come back as the interface says;
// their failures come back as the named errors with the owner's text, and
// arguments korvianet-cli would refuse are refused with its words before the
// owner is asked at all.
#include "BusFixture.h"

using namespace kvtest;

namespace {

class BusCalls : public BusTest {
protected:
    void SetUp() override
    {
        BusTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        owner = &StartOwner();
        ASSERT_TRUE(owner->WaitFor("state: offered")) << owner->Output();
    }
    // The call answers out; the owner saw "call: <seen>".
    void Expect(const std::string& method, const std::vector<std::string>& args, const std::string& out,
                const std::string& seen)
    {
        const ToolResult r = Call(method, args);
        EXPECT_EQ(r.status, 0) << method << ": " << r.output;
        EXPECT_EQ(r.output, out + "\n") << method;
        EXPECT_TRUE(owner->WaitFor("call: " + seen + "\n", 2000)) << owner->Output();
    }
    // The call is refused with the error and text, by the owner or else
    // before the owner is asked.
    void Refused(const std::string& method, const std::vector<std::string>& args, const std::string& error,
                 const std::string& text, bool ownerAnswered = false)
    {
        const size_t before = owner->Output().size();
        const ToolResult r = Call(method, args);
        EXPECT_NE(r.status, 0) << method;
        EXPECT_NE(r.output.find("org.korvianet.Korvianet1.Error." + error + ": " + text), std::string::npos)
            << method << ": " << r.output;
        if (!ownerAnswered) {
            EXPECT_EQ(owner->Output().find("call: ", before), std::string::npos) << owner->Output();
        }
    }
    Child* owner = nullptr;
};

TEST_F(BusCalls, EveryMethodReachesTheOwnerAndAnswers)
{
    Expect("GetStatus", {},
           "({'battery.level': <int64 3>, 'counters.received': <uint64 18446744073709551615>, 'engine_ready': <true>, "
           "'port': <'/dev/ttyUSB0'>, 'roaming': <false>, 'service.code': <int64 2>, 'service.state': <'in service'>, "
           "'signal.1x.bars': <int64 4>, 'signal.1x.dbm': <int64 -75>, 'signal.evdo.bars': <int64 0>},)",
           "GetStatus");
    Expect("Connect", {"''", "''"}, "()", "Connect  | ");
    Expect("Connect", {"'user@example.net'", "'secret'"}, "()", "Connect user@example.net | secret");
    Expect("Disconnect", {}, "()", "Disconnect");
    Expect("Dial", {"'+15551234#'"}, "()", "Dial +15551234#");
    Expect("Answer", {}, "()", "Answer");
    Expect("Hangup", {}, "()", "Hangup");
    Expect("SendDtmf", {"'12*#'"}, "()", "SendDtmf 12*#");
    Expect("SendSms", {"['5551234', '5559876']", "'Line one\nline two'", "'5550000'", "true"},
           "([('5551234', 'delivered', int64 0), ('5559876', 'no report', -1)],)",
           "SendSms 5551234,5559876 | Line one\nline two | 5550000 | save=1");
    const std::string two = "([(uint32 393217, 'memory', uint32 1, 'unread', '2026-12-11 10:00:00', '5551234', "
                            "'Hello there'), (327680, 'ruim', 0, 'outbox', '2026-12-10 09:30:00', '5559876', "
                            "'On my way')],)";
    Expect("ListSms", {"''"}, two, "ListSms");
    Expect("ListSms", {"'ruim'"}, two, "ListSms ruim");
    Expect("ReadSms", {"393217"},
           "((uint32 393217, 'memory', uint32 1, 'read', '2026-12-11 10:00:00', '5551234', 'Hello there'),)",
           "ReadSms 393217");
    Expect("DeleteSms", {"393217"}, "()", "DeleteSms 393217");
    Expect("DeleteAllSms", {"'outbox'"}, "(uint32 3, uint32 0)", "DeleteAllSms outbox");
    Expect("ListPhonebook", {"'memory'"},
           "([('memory', uint32 1, '5551234', 'Alice'), ('memory', 2, '5559876', 'Bob')], 2, 250)",
           "ListPhonebook memory");
    Expect("AddPhonebookEntry", {"'ruim'", "int32 -1", "'Carol'", "'5552222'"}, "(uint32 7,)",
           "AddPhonebookEntry ruim -1 Carol 5552222");
    Expect("AddPhonebookEntry", {"'memory'", "12", "'Dan'", "'555p12'"}, "(uint32 12,)",
           "AddPhonebookEntry memory 12 Dan 555p12");
    Expect("ModifyPhonebookEntry", {"'memory'", "12", "'Dan B'", "'5553333'"}, "()",
           "ModifyPhonebookEntry memory 12 Dan B 5553333");
    Expect("DeletePhonebookEntry", {"'memory'", "12"}, "()", "DeletePhonebookEntry memory 12");
}

TEST_F(BusCalls, TheOwnersFailuresComeBackAsNamedErrors)
{
    const std::vector<std::pair<std::string, std::string>> errors{
        {"NotReady", "No modem is connected"}, {"Busy", "A call is in progress"},
        {"Refused", "The network refused the call"}, {"NotFound", "No such message"},
        {"TimedOut", "The modem did not answer"}, {"Database", "The database could not be written"},
        {"Failed", "Something else"}, {"InvalidArgument", "The modem refused the number"},
        {"AccessDenied", "Not yours"}};
    for (const auto& [error, text] : errors) {
        Tell(*owner, "fail Hangup " + error + " " + text);
        Refused("Hangup", {}, error, text, true);
    }
    // Methods with values answer their errors the same way.
    Tell(*owner, "fail ReadSms NotFound no message 42");
    Refused("ReadSms", {"42"}, "NotFound", "no message 42", true);
    Tell(*owner, "fail GetStatus NotReady the modem is starting");
    Refused("GetStatus", {}, "NotReady", "the modem is starting", true);
    Tell(*owner, "fail SendSms Busy _");
    Refused("SendSms", {"['5551234']", "'hi'", "''", "false"}, "Busy", "the modem is busy", true);
}

TEST_F(BusCalls, ArgumentsTheToolWouldRefuseNeverReachTheOwner)
{
    const std::string longText(10000, 'x');
    Refused("SendSms", {"['5551234']", longText, "''", "false"}, "InvalidArgument",
            "TEXT: it has 10000 characters, at most 160 fit");
    Refused("SendSms", {"['5551231', '5551232', '5551233', '5551234', '5551235', '5551236']", "'hi'", "''", "false"},
            "InvalidArgument", "NUMBER: 6 recipients, at most 5");
    Refused("SendSms", {"@as []", "'hi'", "''", "false"}, "InvalidArgument", "NUMBER: no recipients, 1 to 5");
    Refused("SendSms", {"['555CALLME']", "'hi'", "''", "false"}, "InvalidArgument",
            "NUMBER '555CALLME': 'C' cannot be dialled (digits, *, #, a leading +)");
    Refused("SendSms", {"['5551234']", "''", "''", "false"}, "InvalidArgument", "TEXT: it is empty");
    Refused("SendSms", {"['5551234']", "'hi'", "'12ab'", "false"}, "InvalidArgument",
            "--callback: 'a' cannot be dialled (digits, *, #, a leading +)");
    Refused("Dial", {"'555-1234'"}, "InvalidArgument",
            "NUMBER '555-1234' is not a dial string (digits, *, #, a leading +, p for a pause; at most 30 characters)");
    Refused("SendDtmf", {"'12A'"}, "InvalidArgument", "DIGITS '12A' must be digits, * or # (at most 30)");
    Refused("ListSms", {"'sim'"}, "InvalidArgument", "STORE: 'sim' is not memory or ruim (or empty for both)");
    Refused("DeleteAllSms", {"'drafts'"}, "InvalidArgument", "BOX: 'drafts' is not inbox or outbox");
    Refused("ListPhonebook", {"''"}, "InvalidArgument", "STORAGE: '' is not memory or ruim");
    Refused("AddPhonebookEntry", {"'memory'", "0", "'Al'", "'555'"}, "InvalidArgument",
            "--index: '0' is not a whole number from 1 to 65535");
    Refused("AddPhonebookEntry", {"'ruim'", "int32 -1", "''", "'555'"}, "InvalidArgument", "NAME: it is empty");
    Refused("AddPhonebookEntry", {"'ruim'", "int32 -1", "'Al'", "'p555'"}, "InvalidArgument",
            "NUMBER: the pause p cannot stand first, last or twice in a row");
    Refused("ModifyPhonebookEntry", {"'memory'", "70000", "'Al'", "'555'"}, "InvalidArgument",
            "INDEX: '70000' is not a whole number from 1 to 65535");
    Refused("DeletePhonebookEntry", {"'card'", "1"}, "InvalidArgument", "STORAGE: 'card' is not memory or ruim");
    // A text with a control character is shown escaped in the refusal.
    Refused("Dial", {"'55\\u001b[2J'"}, "InvalidArgument", "NUMBER '55\\x1b[2J' is not a dial string");
    // Wrong types are refused by the bus library before any check of ours.
    const ToolResult r = RunTool({"busctl", "--address=" + address, "call", kName, kPath, kName, "Dial", "u", "5"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(owner->Output().find("call: "), std::string::npos) << owner->Output();
}

} // namespace
