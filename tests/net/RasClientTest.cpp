// The dial-up client's rules over a scripted service: which device is the
// modem, the grow-and-retry enumerations, entries, errors, statistics.
#include "net/RasClient.h"

#include <gtest/gtest.h>

#include <map>

using namespace kvnet;

namespace {

// A dial-up service whose answers the test sets.
class ScriptedBackend : public IRasBackend {
public:
    std::vector<RasDeviceInfo> devices;
    std::vector<RasConnInfo> conns;
    bool alwaysTooSmall = false;
    bool stats = true;
    int enumCalls = 0, statCalls = 0, clearCalls = 0, hangUps = 0;
    std::map<std::string, RasEntry> entries;
    RasNotifier notifier;

    template <typename T>
    int Give(size_t capacity, std::vector<T>& out, size_t& needed, const std::vector<T>& all)
    {
        ++enumCalls;
        needed = alwaysTooSmall ? capacity + 1 : all.size();
        if (capacity < needed)
            return RAS_ERR_BUFFER_TOO_SMALL;
        out = all;
        return RAS_OK;
    }
    int EnumDevices(size_t c, std::vector<RasDeviceInfo>& o, size_t& n) override { return Give(c, o, n, devices); }
    int ValidateEntryName(const std::string&, const std::string& e) override
    {
        return entries.count(e) ? RAS_ERR_ALREADY_EXISTS : RAS_OK;
    }
    int GetEntryProperties(const std::string&, const std::string& e, RasEntry& out) override
    {
        out = entries.at(e);
        return RAS_OK;
    }
    int SetEntryProperties(const std::string&, const std::string& e, const RasEntry& p) override
    {
        entries[e] = p;
        return RAS_OK;
    }
    int GetEntryDialParams(const std::string&, RasDialParams&) override { return RAS_ERR_ENTRY_NOT_FOUND; }
    int SetEntryDialParams(const std::string&, const RasDialParams&) override { return RAS_OK; }
    int Dial(const std::string&, const RasDialParams&, RasNotifier n, RasHandle& h) override
    {
        notifier = std::move(n);
        h = 77;
        return RAS_OK;
    }
    int GetConnectStatus(RasHandle, RasConnStatus& out) override
    {
        out.state = RASCS_Connected;
        return RAS_OK;
    }
    int EnumConnections(size_t c, std::vector<RasConnInfo>& o, size_t& n) override { return Give(c, o, n, conns); }
    int HangUp(RasHandle) override
    {
        ++hangUps;
        return RAS_OK;
    }
    int GetErrorString(int error, std::string& text) override
    {
        text = "error " + std::to_string(error);
        return RAS_OK;
    }
    bool HasStatistics() const override { return stats; }
    int GetConnectionStatistics(RasHandle, RasStats& out) override
    {
        ++statCalls;
        out.bytesRcved = 5;
        return RAS_OK;
    }
    int ClearConnectionStatistics(RasHandle) override
    {
        ++clearCalls;
        return RAS_OK;
    }
};

struct ClientTest : ::testing::Test {
    std::shared_ptr<ScriptedBackend> backend = std::make_shared<ScriptedBackend>();
    CRasClient client{backend};
    ClientTest() { client.Init(); }
};

} // namespace

TEST_F(ClientTest, TheModemIsTheFirstLongEnoughMakerModem)
{
    backend->devices = {{"modem", "KORVIA"},          {"modem", "KORVIA1"},
                        {"isdn", "KORVIA ISDN line"}, {"MODEM", "Korvia USB Modem A"},
                        {"modem", "Generic modem"},   {"Modem", "korvia modem B"}};
    std::string name;
    EXPECT_EQ(client.FindModemDevice(name), 2);
    EXPECT_EQ(name, "Korvia USB Modem A");

    backend->devices = {{"modem", "KORVIA1"}};
    EXPECT_EQ(client.FindModemDevice(name), 0);
    EXPECT_EQ(name, "");
}

TEST_F(ClientTest, EnumerationsGrowTheirBufferAtMostFiveTimes)
{
    backend->devices = {{"modem", "KORVIA Modem 1"}, {"modem", "KORVIA Modem 2"}, {"modem", "KORVIA Modem 3"}};
    std::string name;
    EXPECT_EQ(client.FindModemDevice(name), 3);
    EXPECT_EQ(backend->enumCalls, 2); // room for one, then what was asked

    backend->enumCalls = 0;
    backend->alwaysTooSmall = true;
    EXPECT_EQ(client.FindModemDevice(name), 0);
    EXPECT_EQ(backend->enumCalls, kEnumAttempts);
    RasHandle h = 1;
    backend->enumCalls = 0;
    EXPECT_FALSE(client.FindConnection(kEntryLabel, h));
    EXPECT_EQ(backend->enumCalls, kEnumAttempts);
    EXPECT_EQ(h, 0u);
}

TEST_F(ClientTest, ConnectionsMatchByEntryOrByTheMakersDevice)
{
    backend->conns = {{11, "korvia network", "modem", "Other modem"},
                      {12, "Office VPN", "vpn", "WAN Miniport"},
                      {13, "Something", "modem", "KORVIA USB Modem"}};
    RasHandle h = 0;
    EXPECT_TRUE(client.FindConnection(kEntryLabel, h));
    EXPECT_EQ(h, 13u); // the last match
    backend->conns = {{12, "Office VPN", "vpn", "WAN Miniport"}};
    EXPECT_FALSE(client.FindConnection(kEntryLabel, h));
}

TEST_F(ClientTest, EntriesAreCreatedOnceAndUpdatedInPlace)
{
    EXPECT_EQ(client.CreateEntry(kEntryLabel, "modem", "KORVIA A", 4, 1, "#777", kPhonebook), RAS_OK);
    EXPECT_EQ(backend->entries[kEntryLabel].options, kEntryOptions);
    backend->entries[kEntryLabel].options = 0x1;
    EXPECT_EQ(client.CreateEntry(kEntryLabel, "modem", "KORVIA B", 4, 1, "*99#", kPhonebook),
              RAS_ERR_ALREADY_EXISTS);
    EXPECT_EQ(backend->entries[kEntryLabel].deviceName, "KORVIA A"); // unchanged
    EXPECT_TRUE(client.SetEntryDevice(kEntryLabel, {"KORVIA B", "*99#"}, kPhonebook));
    EXPECT_EQ(backend->entries[kEntryLabel].phoneNumber, "*99#");
    EXPECT_EQ(client.SetEntryOptions(kEntryLabel, 0x8, false, "modem", "KORVIA B", kPhonebook), RAS_OK);
    EXPECT_EQ(client.SetEntryOptions(kEntryLabel, 0x10, true, "modem", "KORVIA B", kPhonebook), RAS_OK);
    EXPECT_EQ(backend->entries[kEntryLabel].options, 0x11u);

    RasEntry props;
    EXPECT_EQ(client.GetEntryProperties(kPhonebook, props, "Missing"), RAS_ERR_ENTRY_NOT_FOUND);
    EXPECT_FALSE(client.SetEntryDevice("Missing", {"x", "y"}, kPhonebook));
}

TEST_F(ClientTest, OnlyTheFirstDialErrorIsKept)
{
    ASSERT_EQ(client.Dial(kEntryLabel, "#777", "u", "p", "", kPhonebook), RAS_OK);
    EXPECT_EQ(client.Handle(), 77u);
    EXPECT_EQ(CRasClient::DialError(), 0);
    backend->notifier(0, 0);
    backend->notifier(RAS_ERR_AUTHENTICATION, 3);
    backend->notifier(RAS_ERR_REMOTE_DISCONNECT, 9);
    EXPECT_EQ(CRasClient::DialError(), RAS_ERR_AUTHENTICATION);
    EXPECT_EQ(CRasClient::DialExtendedError(), 3);
    std::string text;
    EXPECT_EQ(client.GetErrorText(CRasClient::DialError(), CRasClient::DialExtendedError(), text), RAS_OK);
    EXPECT_EQ(text, "error 691 Extended Error Code: 3");
    EXPECT_EQ(client.GetErrorText(0, 0, text), RAS_ERR_NO_ERROR_TEXT);
    EXPECT_EQ(text, "Fail to get error string");
    // The next dial starts clean.
    client.Dial(kEntryLabel, "#777", "u", "p", "", kPhonebook);
    CRasClient::ClearDialError();
    EXPECT_EQ(CRasClient::DialError(), 0);
}

TEST_F(ClientTest, StatisticsWithoutTheirEntryPointsCallNothing)
{
    backend->stats = false;
    RasStats s;
    EXPECT_FALSE(client.GetStatistics(&s)); // no handle yet
    client.SetHandle(5);
    EXPECT_FALSE(client.GetStatistics(&s));
    EXPECT_FALSE(client.ClearStatistics());
    EXPECT_TRUE(client.HangUp(kEntryLabel));
    EXPECT_EQ(backend->statCalls + backend->clearCalls, 0);
    EXPECT_EQ(client.Handle(), 0u);

    backend->stats = true;
    client.SetHandle(5);
    EXPECT_FALSE(client.GetStatistics(nullptr));
    EXPECT_TRUE(client.GetStatistics(&s));
    EXPECT_EQ(s.bytesRcved, 5u);
    EXPECT_TRUE(client.HangUp(kEntryLabel)); // clears first
    EXPECT_EQ(backend->clearCalls, 1);
}

TEST_F(ClientTest, HangUpWithoutAHandleLooksTheConnectionUp)
{
    EXPECT_FALSE(client.HangUp(kEntryLabel));
    backend->conns = {{21, kEntryLabel, "modem", "x"}};
    EXPECT_TRUE(client.HangUp(kEntryLabel));
    EXPECT_EQ(backend->hangUps, 1);
}

TEST(DialState, StatesMapToTextsAndTheEndIsConnectedOrDisconnected)
{
    const char* text = nullptr;
    bool connected = true;
    EXPECT_EQ(DialStateText(0, text, connected), 0);
    EXPECT_STREQ(text, "Opening\nthe port...");
    EXPECT_FALSE(connected);
    EXPECT_EQ(DialStateText(21, text, connected), 0);
    EXPECT_STREQ(text, "Logging on to the network...");
    EXPECT_EQ(DialStateText(22, text, connected), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(DialStateText(0x1002, text, connected), 0);
    EXPECT_EQ(DialStateText(RASCS_Connected, text, connected), 1);
    EXPECT_TRUE(connected);
    EXPECT_STREQ(text, "Connection\nSuccess\nPlease wait...");
    EXPECT_EQ(DialStateText(RASCS_Disconnected, text, connected), 1);
    EXPECT_FALSE(connected);
    EXPECT_EQ(DialStateText(999, text, connected), 0);
}
