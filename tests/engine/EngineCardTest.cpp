// The card check of the start-up chain: PIN enabled, wrong PIN, blocked PIN,
// no card, a card that never becomes ready, and the PIN dialog ended by a
// stopping engine.
#include "EngineFixture.h"

#include "engine/DmTexts.h"
#include "engine/StatusIds.h"

using namespace kv;
using kvtest::EngineTest;

namespace {

// A PIN dialog that answers with the given codes, one per showing.
CHeadlessHost::PinProvider Answers(std::vector<std::pair<std::string, std::string>> codes,
                                   std::vector<int>* modes = nullptr)
{
    auto left = std::make_shared<std::vector<std::pair<std::string, std::string>>>(std::move(codes));
    return [left, modes](int mode, const std::function<bool()>&) {
        if (modes)
            modes->push_back(mode);
        if (left->empty())
            return PinResult::Cancel;
        auto [first, second] = left->front();
        left->erase(left->begin());
        if (mode == PIN_MODE_UNBLOCK) {
            WriteProfileString("chv1_temp", "num", first, kMainIni);
            WriteProfileString("chv1", "num", second, kMainIni);
        } else {
            WriteProfileString("chv1", "num", first, kMainIni);
        }
        return PinResult::Ok;
    };
}

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Without a usable card the window offers the dial pad (emergency calls)
// and nothing else of its page buttons; the activation button it enables
// stays hidden as it was.
void ExpectOnlyTheDialPadButtonShown(const CHeadlessHost& host)
{
    EXPECT_TRUE(host.ControlShown(IDC_DIAL_TOGGLE));
    EXPECT_TRUE(host.ControlEnabled(IDC_DIAL_TOGGLE));
    for (int id : {IDC_SMS_TOGGLE, IDC_PHONEBOOK, IDC_VOLUME_DOWN, IDC_VOLUME_UP, IDC_ACTIVATION})
        EXPECT_FALSE(host.ControlShown(id)) << id;
}

} // namespace

using CardCheck = EngineTest;

TEST_F(CardCheck, EnabledPinIsAskedVerifiedAndTheChainGoesOn)
{
    modem.With([](auto& m) { m.lockState = 2; });
    std::vector<int> modes;
    host.SetPinProvider(Answers({{"1234", ""}}, &modes));
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_EQ(modes, std::vector<int>{PIN_MODE_ENTER});
    // The verify request carries the 4 characters and four 0xFF.
    std::vector<uint8_t> verify;
    for (const auto& r : modem.RawRequests())
        if (r[0] == 0xD2 && r[1] == 0x01)
            verify = r;
    EXPECT_EQ(verify, (std::vector<uint8_t>{0xD2, 0x01, 0x00, '1', '2', '3', '4', 0xFF, 0xFF, 0xFF,
                                            0xFF}));
    EXPECT_TRUE(Contains(host.MessageBoxes(), dmtext::kPinOk));
    EXPECT_EQ(Ini("chv_enable"), "1");
    EXPECT_EQ(Ini("chv1_cnt"), "3");
    EXPECT_EQ(modem.Count("RUIM"), 2u);
    EXPECT_EQ(modem.Count("SMSINFO"), 1u);
    EXPECT_EQ(St().m_nModalView.load(), MODAL_NONE);
    EXPECT_TRUE(log.Has("sw1=0x90, sw2=0x00, status=0x00, number=0x03"));
}

TEST_F(CardCheck, AWrongPinShowsItsTextAndTheDialogAgain)
{
    modem.With([](auto& m) { m.lockState = 2; });
    host.SetPinProvider(Answers({{"0000", ""}, {"1234", ""}}));
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_EQ(host.PinDialogsShown(), 2);
    EXPECT_TRUE(Contains(host.MessageBoxes(), dmtext::kPinWrongLeft));
    EXPECT_TRUE(Contains(host.MessageBoxes(), dmtext::kPinOk));
}

TEST_F(CardCheck, BlockedPinAsksForTheUnblockCode)
{
    modem.With([](auto& m) { m.lockState = 4; m.pukRetry = 10; });
    std::vector<int> modes;
    host.SetPinProvider(Answers({{"12345678", "4321"}}, &modes));
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_EQ(modes, std::vector<int>{PIN_MODE_UNBLOCK});
    EXPECT_EQ(Ini("chv1_pukcnt"), "3"); // written from the reply after the unblock
    std::vector<uint8_t> unblock;
    for (const auto& r : modem.RawRequests())
        if (r[0] == 0xD2 && r[1] == 0x05)
            unblock = r;
    ASSERT_EQ(unblock.size(), 19u);
    EXPECT_EQ(std::string(unblock.begin() + 3, unblock.begin() + 11), "12345678");
    EXPECT_EQ(std::vector<uint8_t>(unblock.begin() + 11, unblock.end()),
              (std::vector<uint8_t>{'4', '3', '2', '1', 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(Contains(host.MessageBoxes(), dmtext::kUnblockOk));
}

TEST_F(CardCheck, UnblockWithEmptyCodeAndNoAttemptsLeft)
{
    // No unblock code stored: eight 0xFF.
    modem.With([](auto& m) { m.lockState = 4; m.pukRetry = 1; });
    host.SetPinProvider([](int, const std::function<bool()>&) { return PinResult::Ok; });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return modem.Count("UNBLOCK") >= 1 && modem.Count("RUIM") >= 2; }));
    std::vector<uint8_t> unblock;
    for (const auto& r : modem.RawRequests())
        if (r[0] == 0xD2 && r[1] == 0x05)
            unblock = r;
    EXPECT_EQ(std::vector<uint8_t>(unblock.begin() + 3, unblock.begin() + 11),
              std::vector<uint8_t>(8, 0xFF));
    EXPECT_TRUE(RunUntil([&] { return Contains(host.MessageBoxes(), dmtext::kUnblockBlocked); }));
    // With no attempts left the card is given up on: no dialog any more.
    const int dialogs = host.PinDialogsShown();
    EXPECT_TRUE(RunUntil([&] { return Contains(host.MessageBoxes(), dmtext::kUnblockCodeBlocked); }));
    EXPECT_EQ(host.PinDialogsShown(), dialogs);
}

TEST_F(CardCheck, CancelledPinLeavesEmergencyCallsOnly)
{
    modem.With([](auto& m) { m.lockState = 2; });
    host.SetPinProvider([](int, const std::function<bool()>&) { return PinResult::Cancel; });
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_TRUE(St().m_ucCardFlags.load() & CARDF_PIN_CANCELLED);
    EXPECT_EQ(St().m_nActiveView.load(), VIEW_DIAL_PAD);
    EXPECT_EQ(modem.Count("VERIFY"), 0u);
    EXPECT_EQ(modem.Count("RUIM"), 1u);
    for (int id : kPinCancelControls)
        EXPECT_TRUE(host.ControlEnabled(id));
    // The dial pad is offered for emergency calls; the activation button the
    // set enables stays hidden.
    EXPECT_TRUE(host.ControlShown(IDC_DIAL_TOGGLE));
    EXPECT_FALSE(host.ControlShown(IDC_ACTIVATION));
    EXPECT_TRUE(RunUntil([&] { return host.MessageLine() == "\nEmergency Call\nWithout PIN"; }));
}

TEST_F(CardCheck, TheEmergencyNoticeOutlastsTheStartUpProgress)
{
    // The card's SMS storage never becomes ready: the chain keeps asking and
    // would show its growing "**" after each answer.
    modem.With([](auto& m) { m.lockState = 2; m.smsInited = 0; });
    host.SetPinProvider([](int, const std::function<bool()>&) { return PinResult::Cancel; });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return host.MessageLine() == statustext::kNoPinEmergency; }));
    const size_t asked = modem.Count("SMSINFO");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("SMSINFO") >= asked + 3; }));
    EXPECT_EQ(host.MessageLine(), statustext::kNoPinEmergency);
}

TEST_F(CardCheck, CancelledUnblockClosesTheProgram)
{
    modem.With([](auto& m) { m.lockState = 4; });
    host.SetPinProvider([](int, const std::function<bool()>&) { return PinResult::Cancel; });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return host.CloseRequested(); }));
    EXPECT_FALSE(engine.ThreadRunning());
    EXPECT_EQ(PortState(), DM_STOPPED);
}

TEST_F(CardCheck, APinDialogEndedByTheStoppingEngineIsNoCancel)
{
    modem.With([](auto& m) { m.lockState = 4; });
    std::atomic<bool> open{false};
    host.SetPinProvider([&](int, const std::function<bool()>& ended) {
        open = true;
        while (!ended())
            SleepMs(5);
        return PinResult::Cancel; // what closing the dialog would report
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return open.load(); }));
    engine.StopDmEngine();
    EXPECT_FALSE(engine.ThreadRunning());
    EXPECT_FALSE(host.TimerActive(TIMER_CLOSE_PROGRAM));
    host.RunUntil([] { return false; }, 400);
    EXPECT_FALSE(host.CloseRequested());
}

TEST_F(CardCheck, NoCardMeansPollingWithoutTheCard)
{
    modem.With([](auto& m) { m.connected = 0; m.uimState = 0; });
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_TRUE(log.Has("CARD_NO_CARD "));
    EXPECT_TRUE(St().m_ucCardFlags.load() & CARDF_NO_CARD);
    EXPECT_EQ(modem.Count("RUIM"), 1u);
    EXPECT_EQ(modem.Count("SMSINFO"), 0u);
    for (int id : kNoCardControls)
        EXPECT_TRUE(host.ControlEnabled(id));
    ExpectOnlyTheDialPadButtonShown(host);
    EXPECT_EQ(St().m_ucCardRetry.load(), 1);
}

TEST_F(CardCheck, ACardStillInitialisingIsCheckedAgainUntilValid)
{
    modem.With([](auto& m) { m.uimState = 3; m.lockState = 3; });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return modem.Count("RUIM") >= 3; }));
    EXPECT_EQ(modem.Count("SMSINFO"), 0u);
    modem.With([](auto& m) { m.uimState = 2; });
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 1; }));
    EXPECT_EQ(modem.Count("SMSINFO"), 1u);

    // Not initialised with the PIN disabled: no longer a dead end.
    engine.StopDmEngine();
    modem.With([](auto& m) { m.uimState = 3; m.lockState = 1; });
    const size_t ruim = modem.Count("RUIM");
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return modem.Count("RUIM") >= ruim + 3; }));
}

TEST_F(CardCheck, ACardThatNeverBecomesReadyIsGivenUp)
{
    engine.SetRetryWindowMs(1200);
    modem.With([](auto& m) { m.uimState = 4; });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 1; }, 15000));
    EXPECT_GT(modem.Count("RUIM"), 2u);
    EXPECT_TRUE(St().m_ucCardFlags.load() & CARDF_NOT_READY);
    EXPECT_TRUE(host.ControlEnabled(IDC_DIAL_TOGGLE));
    const size_t ruim = modem.Count("RUIM");
    const size_t status = modem.Count("STATUS");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= status + 2; }));
    EXPECT_EQ(modem.Count("RUIM"), ruim);
}

TEST_F(CardCheck, AnInvalidCardCountsItsRetriesAndIsGivenUp)
{
    engine.SetRetryWindowMs(8000);
    modem.With([](auto& m) { m.connected = 0; m.uimState = 1; });
    ASSERT_TRUE(engine.UserDmRestart());
    St().m_dwWait = 1;
    ASSERT_TRUE(RunUntil([&] { return Contains(host.MessageBoxes(), dmtext::kInsertCardAndRestart); },
                         15000));
    EXPECT_EQ(host.MessageLine().find("Invalid") != std::string::npos ||
                  host.MessageLine() == dmtext::kCardNotReady,
              true);
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 1; }, 15000));
    EXPECT_TRUE(St().m_ucCardFlags.load() & CARDF_NOT_READY);
    St().m_dwWait = 200;
}

TEST_F(CardCheck, StatusWordsOfAVerifyOrUnblockChooseTheirText)
{
    ASSERT_TRUE(modem.Open(1, 115200));
    struct Case {
        uint8_t sw1, sw2;
        uint16_t type;
        const char* text; // nullptr: no message box
    };
    const Case cases[] = {
        {0x6F, 0x00, KVA_SUB_RUIM_VERIFY_CHV, nullptr},
        {0x6F, 0x00, KVA_SUB_RUIM_UNBLOCK_CHV, nullptr},
        {0x98, 0x40, KVA_SUB_RUIM_VERIFY_CHV, "Unsuccessful PIN verification, no attempt left (PIN blocked)"},
        {0x98, 0x40, KVA_SUB_RUIM_UNBLOCK_CHV,
         "Unsuccessful Unblock Pin verification, no attempt left (Unblock Pin blocked)"},
        {0x98, 0x08, KVA_SUB_RUIM_VERIFY_CHV, "RUIM Card is disabled."},
        {0x98, 0x08, KVA_SUB_RUIM_UNBLOCK_CHV, "RUIM Card is disabled."},
        {0x98, 0x33, KVA_SUB_RUIM_VERIFY_CHV, nullptr},
    };
    uint8_t retries = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw1) + "/" + std::to_string(c.sw2) + " type " + std::to_string(c.type));
        ++retries;
        modem.With([&](auto& m) {
            m.forcedSw = c.sw1 << 8 | c.sw2;
            m.forcedRetries = retries;
        });
        const size_t boxes = host.MessageBoxes().size();
        EXPECT_EQ(engine.DmSubRequest(DM_RUIM_VERIFY, c.type, true), DM_RUIM_VERIFY);
        const auto after = host.MessageBoxes();
        if (!c.text) {
            EXPECT_EQ(after.size(), boxes);
        } else {
            ASSERT_EQ(after.size(), boxes + 1);
            EXPECT_EQ(after.back(), c.text);
        }
        // The attempt count is written whatever the words.
        EXPECT_EQ(Ini(c.type == KVA_SUB_RUIM_UNBLOCK_CHV ? "chv1_pukcnt" : "chv1_cnt"), std::to_string(retries));
    }
    char line[80];
    std::snprintf(line, sizeof line, "sw1=0x6f, sw2=0x00, status=0x00, number=0x%02x", 2);
    EXPECT_TRUE(log.Has(line));
    modem.Close();
}
