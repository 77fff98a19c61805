// The simulated modem's model, request by request, read back with the
// catalog's own readers: what a host sees when it talks to the modem.
#include "link/DiagCatalog.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"
#include "sim/ModemModel.h"

#include <gtest/gtest.h>

using namespace kv;
using namespace kv::sim;

namespace {

class ModelTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Ask(const DiagRequest& r) { return model.HandleDiag(r.Data(), size_t(r.length), now); }

    StatusRecord Status()
    {
        auto reply = Ask(BuildModemStatusReq());
        StatusRecord s;
        EXPECT_TRUE(ParseStatusRecord(reply.data(), reply.size(), model.longStatus, s));
        return s;
    }
    RuimStatus Card()
    {
        auto reply = Ask(BuildRuimStatusReq());
        RuimStatus s;
        EXPECT_TRUE(ParseRuimStatus(reply.data(), reply.size(), s));
        return s;
    }
    RuimChvReply Verify(const std::string& pin)
    {
        auto reply = Ask(BuildRuimVerifyReq(pin));
        RuimChvReply r;
        EXPECT_TRUE(ParseRuimChvReply(reply.data(), reply.size(), KVA_SUB_RUIM_VERIFY_CHV, r));
        return r;
    }
    SmsListReply List(uint32_t storage)
    {
        auto reply = Ask(BuildSmsListReq(storage));
        SmsListReply r;
        EXPECT_TRUE(ParseSmsListReply(reply.data(), reply.size(), r));
        return r;
    }
    uint16_t SmsResult(const DiagRequest& req)
    {
        auto reply = Ask(req);
        uint16_t res = 0xFFFF;
        EXPECT_TRUE(ParseSmsResult(reply.data(), reply.size(), req.SubCommand(), res));
        return res;
    }
    void Key(uint8_t k) { Ask(BuildHsKeyReq(0, k)); }

    ModemModel model;
    int64_t now = 1000;
};

} // namespace

TEST_F(ModelTest, StatusRecordInBothLayoutsCarriesSignalServiceAndMessages)
{
    model.SeedDemo(now);
    StatusRecord s = Status();
    EXPECT_EQ(s.sysMode, 2);
    EXPECT_EQ(s.hybridPref, 1);
    EXPECT_EQ(s.state, kCallIdle);
    EXPECT_EQ(s.rx1xRssi, -79);
    EXPECT_EQ(s.rxHdrRssi, -84);
    EXPECT_EQ(s.newSmsCnt, 2); // one unread in each store

    model.longStatus = false;
    auto service = Ask(BuildServiceReq());
    ServiceReply sr;
    ASSERT_TRUE(ParseServiceReply(service.data(), service.size(), sr));
    EXPECT_EQ(sr.serviceMode & kServiceModeLongStatus, 0);
    s = Status();
    EXPECT_EQ(s.rx1xRssi, 79); // the short record carries the magnitude

    model.prefMode = 10; // EV-DO only: no 1x signal, data on EV-DO
    model.longStatus = true;
    s = Status();
    EXPECT_EQ(s.sysMode, 4);
    EXPECT_EQ(s.rx1xRssi, 99);
    EXPECT_EQ(s.curSysmode, 4);

    model.inService = false;
    EXPECT_EQ(Status().sysMode, 0);
    EXPECT_EQ(Status().state, 0);
}

TEST_F(ModelTest, IdentityNumbersAndNvItemsDecodeAsTheHostExpects)
{
    auto v = Ask(BuildVersionReq());
    VersionReply ver;
    ASSERT_TRUE(ParseVersionReply(v.data(), v.size(), ver));
    EXPECT_EQ(ver.swVersion, model.swVersion);
    EXPECT_EQ(ver.buildDate, model.buildDate);

    model.mdn = "9692344678";
    auto e = Ask(BuildStatusReq());
    EsnMinReply em;
    ASSERT_TRUE(ParseEsnMinReply(e.data(), e.size(), em));
    EXPECT_EQ(em.esn, model.esn);
    EXPECT_EQ(em.min2, 858);                           // "969"
    EXPECT_EQ(em.min1, 123u * 16384 + 4 * 1024 + 567); // "234", '4', "678"

    auto n10 = Ask(BuildNvReadReq(NV_PREF_MODE_I));
    uint16_t mode = 0;
    ASSERT_TRUE(ParseNvPrefMode(n10.data(), n10.size(), mode));
    EXPECT_EQ(mode, 4);
    auto n562 = Ask(BuildNvReadReq(NV_HYBRID_PREF_I));
    uint8_t hybrid = 9;
    ASSERT_TRUE(ParseNvHybridPref(n562.data(), n562.size(), hybrid));
    EXPECT_EQ(hybrid, 1);
    auto n215 = Ask(BuildNvReadReq(NV_DIR_NUMBER_I));
    std::string dir;
    ASSERT_TRUE(ParseNvDirNumber(n215.data(), n215.size(), dir));
    EXPECT_EQ(dir, "9692344678");

    // System selection is remembered and read back through the NV item.
    auto sel = Ask(BuildCmSysSelReq(10, 0));
    uint16_t result = 1;
    ASSERT_TRUE(ParseCmSysSelReply(sel.data(), sel.size(), result));
    EXPECT_EQ(result, 0);
    n10 = Ask(BuildNvReadReq(NV_PREF_MODE_I));
    ASSERT_TRUE(ParseNvPrefMode(n10.data(), n10.size(), mode));
    EXPECT_EQ(mode, 10);
}

TEST_F(ModelTest, UnknownOrShortRequestsGetStandardErrorReplies)
{
    const uint8_t unknown[] = {0x7B, 1, 2};
    auto r = model.HandleDiag(unknown, sizeof unknown, now);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r[0], kDiagBadCmd);
    const uint8_t shortRead[] = {KVA_CMD_SMS, 6, 0, 1};
    r = model.HandleDiag(shortRead, sizeof shortRead, now);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r[0], kDiagBadLen);
    const uint8_t oneByte[] = {KVA_CMD_GENERAL};
    EXPECT_EQ(model.HandleDiag(oneByte, 1, now)[0], kDiagBadLen);
}

TEST_F(ModelTest, PinIsVerifiedBlockedAndUnblockedWithCardStatusWords)
{
    model.SetPinLocked(true);
    RuimStatus c = Card();
    EXPECT_EQ(c.connected, 1);
    EXPECT_EQ(c.uimState, 2);
    EXPECT_EQ(c.lockState, 2);
    EXPECT_EQ(c.retryCnt, 3);
    EXPECT_EQ(List(kSmsStorageRuim).result, kResCardAbsent); // the card's data is locked

    RuimChvReply r = Verify("0000");
    EXPECT_EQ(r.sw1, 0x98);
    EXPECT_EQ(r.sw2, 0x04);
    EXPECT_EQ(r.numOfRetries, 2);
    Verify("0000");
    r = Verify("0000");
    EXPECT_EQ(r.sw2, 0x40);
    c = Card();
    EXPECT_EQ(c.lockState, 4);
    EXPECT_EQ(c.retryCnt, 10); // unblock attempts
    EXPECT_EQ(Verify("1234").sw2, 0x40); // even the right PIN is refused now

    auto u = Ask(BuildRuimUnblockReq("12345678", "4321"));
    RuimChvReply ur;
    ASSERT_TRUE(ParseRuimChvReply(u.data(), u.size(), KVA_SUB_RUIM_UNBLOCK_CHV, ur));
    EXPECT_EQ(ur.sw1, 0x90);
    EXPECT_EQ(Card().lockState, 3);
    EXPECT_EQ(List(kSmsStorageRuim).result, 0);
    EXPECT_EQ(model.card.pin, "4321");

    model.SetPinLocked(false);
    EXPECT_EQ(Verify("4321").sw2, 0x08); // nothing to verify while the PIN is off

    model.SetCardAbsent();
    c = Card();
    EXPECT_EQ(c.connected, 0);
    EXPECT_EQ(c.uimState, 0);
}

TEST_F(ModelTest, MessagesAreListedReadTaggedStoredAndRemoved)
{
    model.SeedDemo(now);
    SmsListReply mem = List(kSmsStorageMemory);
    ASSERT_EQ(mem.numEntries, 4);
    EXPECT_EQ(mem.voiceIndex, -1);
    EXPECT_EQ(List(kSmsStorageRuim).numEntries, 2);

    auto read = Ask(BuildSmsReadReq(2, kSmsStorageMemory));
    SmsReadReply rr;
    ASSERT_TRUE(ParseSmsReadReply(read.data(), read.size(), rr));
    EXPECT_EQ(rr.result, 0);
    EXPECT_EQ(rr.callback, "7605550111");
    EXPECT_EQ(rr.data, "Your package has shipped. Track it online.");
    EXPECT_EQ(rr.teleserviceType, kTeleserviceCmt95);

    const uint16_t before = model.NewSmsCount();
    EXPECT_EQ(SmsResult(BuildSmsSetTagReq(2, kSmsStorageMemory)), 0);
    EXPECT_EQ(model.NewSmsCount(), before - 1);

    SmsOutgoing out{kSmsEncodingAscii, "6195550199", "", "On my way"};
    DiagRequest w;
    ASSERT_TRUE(BuildSmsWriteReq(out, kSmsStorageRuim, w));
    EXPECT_EQ(SmsResult(w), 0);
    EXPECT_EQ(model.ruim.slots.at(2).tag, kTagOutbox);
    EXPECT_EQ(model.ruim.slots.at(2).text, "On my way");

    EXPECT_EQ(SmsResult(BuildSmsRemoveReq(0, kSmsStorageMemory)), 0);
    EXPECT_NE(SmsResult(BuildSmsRemoveReq(0, kSmsStorageMemory)), 0); // already gone
    auto gone = Ask(BuildSmsReadReq(0, kSmsStorageMemory));
    ASSERT_TRUE(ParseSmsReadReply(gone.data(), gone.size(), rr));
    EXPECT_NE(rr.result, 0);

    // A full store refuses the outbox write with its own result code.
    model.ruim.capacity = uint16_t(model.ruim.slots.size());
    EXPECT_EQ(SmsResult(w), kResRuimFull);
    model.memory.capacity = 10;
    while (model.ReceiveSms("1", "filler", kSmsStorageMemory, now)) {
    }
    EXPECT_EQ(model.memory.slots.size(), 10u);
    ASSERT_TRUE(BuildSmsWriteReq(out, kSmsStorageMemory, w));
    EXPECT_EQ(SmsResult(w), kResMemoryFull);
    EXPECT_EQ(Status().smsFull, 1);
}

TEST_F(ModelTest, SentMessageGetsItsDeliveryReportLater)
{
    SmsOutgoing out{kSmsEncodingAscii, "6195550199", "8585550123", "Hello"};
    DiagRequest send;
    ASSERT_TRUE(BuildSmsSendReq(out, send));
    EXPECT_EQ(SmsResult(send), 0);
    ASSERT_EQ(model.sent.size(), 1u);
    EXPECT_EQ(model.sent[0].text, "Hello");

    auto inspect = [&] {
        auto r = Ask(BuildSmsInspectReq());
        SmsInspectReply ir;
        EXPECT_TRUE(ParseSmsInspectReply(r.data(), r.size(), ir));
        return ir;
    };
    EXPECT_EQ(inspect().closeFlag, 0); // still with the network
    now += model.reportDelayMs;
    SmsInspectReply done = inspect();
    EXPECT_NE(done.closeFlag, 0);
    EXPECT_EQ(done.report, 0);

    model.nextReport = 7;
    model.inService = false;
    EXPECT_EQ(SmsResult(send), kResNoService);
    model.inService = true;
    EXPECT_EQ(SmsResult(send), 0);
    now += model.reportDelayMs;
    EXPECT_EQ(inspect().report, 7);
}

TEST_F(ModelTest, MessageToOwnNumberComesBackAsNew)
{
    SmsOutgoing out{kSmsEncodingAscii, model.mdn, "", "loop"};
    DiagRequest send;
    ASSERT_TRUE(BuildSmsSendReq(out, send));
    EXPECT_EQ(SmsResult(send), 0);
    now += model.reportDelayMs;
    EXPECT_EQ(Status().newSmsCnt, 1);
    EXPECT_EQ(List(kSmsStorageMemory).numEntries, 1);
}

TEST_F(ModelTest, VoiceMailNotificationIsNamedByTheList)
{
    ASSERT_TRUE(model.SetVoiceMail(3, now));
    SmsListReply l = List(kSmsStorageMemory);
    ASSERT_GE(l.voiceIndex, 0);
    EXPECT_EQ(l.voiceActive, 1u);
    auto r = Ask(BuildSmsReadReq(uint32_t(l.voiceIndex), kSmsStorageMemory));
    SmsReadReply rr;
    ASSERT_TRUE(ParseSmsReadReply(r.data(), r.size(), rr));
    EXPECT_EQ(rr.voiceMailCount, 3);
    EXPECT_EQ(rr.teleserviceType, kTeleserviceVmn95);
}

TEST_F(ModelTest, PhonebookIsReadInBatchesFromTheStartOfEachPass)
{
    for (uint32_t i = 1; i <= 25; ++i)
        model.pbRuim.entries[i] = PbEntry{"555" + std::to_string(i), "N" + std::to_string(i)};
    auto info = Ask(BuildPbInfoReq(kPbStorageRuim));
    PbInfoReply ir;
    ASSERT_TRUE(ParsePbInfoReply(info.data(), info.size(), ir));
    EXPECT_EQ(ir.recordInUse, 25);
    EXPECT_EQ(ir.maxRecord, model.pbRuim.capacity);

    std::vector<uint32_t> seen;
    for (uint8_t batch : {10, 10, 5}) {
        DiagRequest req;
        ASSERT_TRUE(BuildPbReadReq(kPbWordRuim, batch, req));
        auto r = Ask(req);
        PbReadReply rr;
        ASSERT_TRUE(ParsePbReadReply(r.data(), r.size(), batch, rr));
        for (const PbRecord& rec : rr.records) {
            EXPECT_EQ(rec.storage, 0);
            seen.push_back(rec.index);
        }
    }
    ASSERT_EQ(seen.size(), 25u);
    EXPECT_EQ(seen.front(), 1u);
    EXPECT_EQ(seen.back(), 25u);

    // Past the end the entries are marked absent; a new info request restarts.
    DiagRequest more;
    ASSERT_TRUE(BuildPbReadReq(kPbWordRuim, 1, more));
    auto r = Ask(more);
    PbReadReply rr;
    ASSERT_TRUE(ParsePbReadReply(r.data(), r.size(), 1, rr));
    EXPECT_NE(rr.records[0].storage, 0);
    Ask(BuildPbInfoReq(kPbStorageRuim));
    r = Ask(more);
    ASSERT_TRUE(ParsePbReadReply(r.data(), r.size(), 1, rr));
    EXPECT_EQ(rr.records[0].index, 1u);
}

TEST_F(ModelTest, PhonebookThatDoesNotRewindStartsOverOnlyAfterItsLastEntry)
{
    for (uint32_t i = 1; i <= 12; ++i)
        model.pbRuim.entries[i] = PbEntry{"555" + std::to_string(i), "N" + std::to_string(i)};
    model.pbRewindOnInfo = false;
    auto read = [&](uint8_t n) {
        DiagRequest req;
        EXPECT_TRUE(BuildPbReadReq(kPbWordRuim, n, req));
        auto r = Ask(req);
        PbReadReply rr;
        std::vector<uint32_t> idx;
        if (r.empty())
            return std::vector<uint32_t>{999}; // no answer
        EXPECT_TRUE(ParsePbReadReply(r.data(), r.size(), n, rr));
        for (const PbRecord& rec : rr.records)
            idx.push_back(rec.storage == 0 ? rec.index : 0);
        return idx;
    };
    EXPECT_EQ(read(5), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    Ask(BuildPbInfoReq(kPbStorageRuim)); // no rewind
    EXPECT_EQ(read(5), (std::vector<uint32_t>{6, 7, 8, 9, 10}));
    EXPECT_EQ(read(5), (std::vector<uint32_t>{11, 12, 0, 0, 0}));
    EXPECT_EQ(read(2), (std::vector<uint32_t>{1, 2})) << "after the last entry it starts over";

    // A lost answer still moves the position.
    model.pbRuim.loseReads = 1;
    model.pbRuim.answerBeforeLoss = 1;
    EXPECT_EQ(read(2), (std::vector<uint32_t>{3, 4}));
    EXPECT_EQ(read(2), (std::vector<uint32_t>{999}));
    EXPECT_EQ(read(2), (std::vector<uint32_t>{7, 8}));

    // The information reply can report counts that are not the truth.
    model.pbRuim.reportInUse = 65535;
    model.pbRuim.reportCapacity = 65535;
    auto info = Ask(BuildPbInfoReq(kPbStorageRuim));
    PbInfoReply ir;
    ASSERT_TRUE(ParsePbInfoReply(info.data(), info.size(), ir));
    EXPECT_EQ(ir.recordInUse, 65535);
    EXPECT_EQ(ir.maxRecord, 65535);
}

TEST_F(ModelTest, PhonebookEntriesAreWrittenDeletedAndClearedOnTheModem)
{
    PbRecord rec;
    rec.storage = kPbStorageMemory;
    rec.index = 7;
    rec.number = "+8210555";
    rec.numberLength = uint8_t(rec.number.size());
    EncodePbName("\xC7\xD1\xB1\xDB", rec); // a name with top-bit bytes keeps its marker
    DiagRequest w;
    ASSERT_TRUE(BuildPbWriteReq(rec, w));
    auto reply = Ask(w);
    uint16_t result = 1;
    ASSERT_TRUE(ParsePbResult(reply.data(), reply.size(), KVA_SUB_PB_WRITE, result));
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(model.pbMemory.entries.count(7));
    EXPECT_EQ(model.pbMemory.entries[7].number, "+8210555");
    EXPECT_EQ(model.pbMemory.entries[7].name, "\x80\xC7\xD1\xB1\xDB");

    reply = Ask(BuildPbDelReq(kPbStorageMemory, 7));
    ASSERT_TRUE(ParsePbResult(reply.data(), reply.size(), KVA_SUB_PB_DEL, result));
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(model.pbMemory.entries.count(7));

    model.SeedDemo(now);
    reply = Ask(BuildPbDelAllReq(kPbStorageRuim));
    ASSERT_TRUE(ParsePbResult(reply.data(), reply.size(), KVA_SUB_PB_DEL_ALL, result));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(model.pbRuim.entries.empty());
    EXPECT_FALSE(model.pbMemory.entries.empty());

    model.SetCardAbsent();
    auto info = Ask(BuildPbInfoReq(kPbStorageRuim));
    PbInfoReply ir;
    ASSERT_TRUE(ParsePbInfoReply(info.data(), info.size(), ir));
    EXPECT_NE(ir.result, 0);
}

TEST_F(ModelTest, IncomingCallRingsIsAnsweredAndReleased)
{
    ASSERT_TRUE(model.IncomingCall("6195550199", "Alice", kPresentAllowed, now));
    StatusRecord s = Status();
    EXPECT_EQ(s.incomingCallIndicate, kIndIncoming);
    EXPECT_EQ(s.state, kCallWfa);
    EXPECT_EQ(Status().incomingCallIndicate, kIndNone); // each event is reported once

    auto cid = Ask(BuildCallerIdReq());
    CallerIdRecord c;
    ASSERT_TRUE(ParseCallerIdRecord(cid.data(), cid.size(), c));
    EXPECT_EQ(c.number, "6195550199");
    EXPECT_EQ(c.name, "Alice");
    EXPECT_EQ(c.secondIndication, 0);

    Key(kKeySend);
    EXPECT_EQ(Status().state, kCallConv);
    Key('5');
    Key('#');
    ASSERT_EQ(model.call.Dtmf().size(), 1u);
    EXPECT_EQ(model.call.Dtmf()[0], "5#");

    // A second caller while talking: call waiting, SEND swaps the parties.
    ASSERT_TRUE(model.IncomingCall("4155550178", "Carol", kPresentAllowed, now));
    EXPECT_EQ(Status().incomingCallIndicate, kIndIncoming);
    cid = Ask(BuildCallerIdReq());
    ASSERT_TRUE(ParseCallerIdRecord(cid.data(), cid.size(), c));
    EXPECT_EQ(c.secondNumber, "4155550178");
    EXPECT_NE(c.secondIndication, 0);
    Key(kKeySend);
    EXPECT_EQ(model.call.Active().number, "4155550178");

    Key(kKeyEnd);
    s = Status();
    EXPECT_EQ(s.state, kCallRelease);
    EXPECT_EQ(s.incomingCallIndicate, kIndEnded);
    now += model.call.releaseMs;
    EXPECT_EQ(Status().state, kCallIdle);
}

TEST_F(ModelTest, UnansweredCallBecomesMissedAndRestrictedCallerHasNoNumber)
{
    ASSERT_TRUE(model.IncomingCall("7605550111", "", kPresentAllowed, now));
    Status();
    now += model.call.ringTimeoutMs;
    StatusRecord s = Status();
    EXPECT_EQ(s.incomingCallIndicate, kIndMissed);
    auto cid = Ask(BuildCallerIdReq());
    CallerIdRecord c;
    ASSERT_TRUE(ParseCallerIdRecord(cid.data(), cid.size(), c));
    EXPECT_EQ(c.number, "7605550111"); // the missed caller stays readable

    now += model.call.releaseMs;
    ASSERT_TRUE(model.IncomingCall("", "", kPresentRestricted, now));
    cid = Ask(BuildCallerIdReq());
    ASSERT_TRUE(ParseCallerIdRecord(cid.data(), cid.size(), c));
    EXPECT_EQ(c.presentation, kPresentRestricted);
    EXPECT_EQ(c.number, "");
    EXPECT_TRUE(model.RemoteHangup(now));
    EXPECT_EQ(Status().incomingCallIndicate, kIndMissed);
}

TEST_F(ModelTest, OutgoingCallIsAnsweredByTheFarEndAfterADelay)
{
    Ask(BuildOrigReq("6195550199"));
    StatusRecord s = Status();
    EXPECT_EQ(s.incomingCallIndicate, kIndOriginated);
    EXPECT_EQ(s.state, kCallOrig);
    EXPECT_FALSE(model.IncomingCall("111", "", kPresentAllowed, now)); // busy
    now += model.call.answerDelayMs;
    EXPECT_EQ(Status().state, kCallConv);
    EXPECT_TRUE(model.RemoteHangup(now));
    EXPECT_EQ(Status().incomingCallIndicate, kIndEnded);

    // Without service the call is released at once.
    now += model.call.releaseMs;
    model.inService = false;
    Ask(BuildOrigReq("911"));
    EXPECT_EQ(Status().state, kCallRelease);
}

TEST_F(ModelTest, AtCommandsAnswerSignalIdentityCardAndPinLock)
{
    EXPECT_EQ(model.HandleAt("AT+CSQ", now), "\r\n+CSQ: 17,99\r\n\r\nOK\r\n"); // -79 dBm
    EXPECT_NE(model.HandleAt("AT+CIMI", now).find("+CIMI: 46003"), std::string::npos);
    EXPECT_NE(model.HandleAt("AT+CPIN?", now).find("READY"), std::string::npos);
    EXPECT_NE(model.HandleAt("AT+CGMR", now).find("818"), std::string::npos);
    EXPECT_NE(model.HandleAt("at+cgdcont=1,\"ip\",\"3GNET\"", now).find("OK"), std::string::npos);
    EXPECT_EQ(model.apn, "3GNET");

    EXPECT_NE(model.HandleAt("AT+CLCK=\"SC\",1,\"9999\"", now).find("ERROR"), std::string::npos);
    EXPECT_EQ(model.card.pinRetries, 2);
    EXPECT_NE(model.HandleAt("AT+CLCK=\"SC\",1,\"1234\"", now).find("OK"), std::string::npos);
    EXPECT_TRUE(model.card.pinEnabled);
    EXPECT_NE(model.HandleAt("AT+CPWD=\"SC\",\"1234\",\"5678\"", now).find("OK"), std::string::npos);
    EXPECT_EQ(model.card.pin, "5678");

    model.SetPinLocked(true);
    EXPECT_NE(model.HandleAt("AT+CPIN?", now).find("SIM PIN"), std::string::npos);
    EXPECT_NE(model.HandleAt("AT+CIMI", now).find("ERROR"), std::string::npos);
    model.SetCardAbsent();
    EXPECT_NE(model.HandleAt("AT+CPIN?", now).find("ERROR"), std::string::npos);

    EXPECT_NE(model.HandleAt("AT^RESET", now).find("OK"), std::string::npos);
    EXPECT_TRUE(model.resetRequested);
    EXPECT_EQ(model.HandleAt("AT+BOGUS", now), "\r\nERROR\r\n");
}
