// The DIAG catalog: exact request bytes, bounded reply readers, clamped
// lengths and the simulator-side encoders agreeing with the readers.
#include "link/DiagCatalog.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kv;

namespace {

std::vector<uint8_t> Req(const DiagRequest& r)
{
    return std::vector<uint8_t>(r.bytes.begin(), r.bytes.begin() + r.length);
}

} // namespace

TEST(DiagCatalogRequests, ExactBytesOfTheKnownRecords)
{
    // a 10-digit call: 0x35, 10, digits, 22 zero bytes, 0x0B 0x00
    auto orig = Req(BuildOrigReq("0123456789"));
    ASSERT_EQ(orig.size(), 36u);
    EXPECT_EQ(orig[0], 0x35);
    EXPECT_EQ(orig[1], 10);
    EXPECT_EQ(std::string(orig.begin() + 2, orig.begin() + 12), "0123456789");
    for (size_t i = 12; i < 34; ++i)
        EXPECT_EQ(orig[i], 0) << i;
    EXPECT_EQ(orig[34], 0x0B);
    EXPECT_EQ(orig[35], 0x00);

    EXPECT_EQ(Req(BuildCmSysSelReq(4, 1)), (std::vector<uint8_t>{0xCF, 0x04, 0x00, 0x04, 0x00, 0x01, 0x00}));

    EXPECT_EQ(Req(BuildRuimVerifyReq("1234")),
              (std::vector<uint8_t>{0xD2, 0x01, 0x00, '1', '2', '3', '4', 0xFF, 0xFF, 0xFF, 0xFF}));
    auto unblock = Req(BuildRuimUnblockReq("", "9352"));
    ASSERT_EQ(unblock.size(), 19u);
    for (size_t i = 3; i < 11; ++i)
        EXPECT_EQ(unblock[i], 0xFF);
    EXPECT_EQ(unblock[11], '9');
    EXPECT_EQ(unblock[15], 0xFF);
    EXPECT_EQ(BuildRuimStatusReq().timeoutMs, 60000u);

    auto nv = Req(BuildNvReadReq(NV_PREF_MODE_I));
    ASSERT_EQ(nv.size(), 24u);
    EXPECT_EQ(std::vector<uint8_t>(nv.begin(), nv.begin() + 6),
              (std::vector<uint8_t>{0xD5, 0x26, 0x00, 0x0A, 0x00, 0x00}));

    EXPECT_EQ(Req(BuildHsKeyReq(0, 0x51)), (std::vector<uint8_t>{0x20, 0x00, 0x51}));
    EXPECT_EQ(Req(BuildBattInfoReq()), (std::vector<uint8_t>{0xCF, 0x0B, 0x00}));
    EXPECT_EQ(Req(BuildEarLevelReq(3, 2)), (std::vector<uint8_t>{0xCF, 0x09, 0x00, 3, 2}));
}

TEST(DiagCatalogRequests, SmsAndPhonebookRequestsHaveTheirLengthsAndTimeouts)
{
    SmsOutgoing m;
    m.destination = "5551234";
    m.callback = "5550000";
    m.text = "hello";
    DiagRequest send;
    ASSERT_TRUE(BuildSmsSendReq(m, send));
    EXPECT_EQ(send.length, 310);
    EXPECT_EQ(send.timeoutMs, 15000u);
    EXPECT_EQ(send.bytes[5], 7);
    EXPECT_EQ(send.bytes[6], 7);
    EXPECT_EQ(GetU16(send.Data(), 7), 5);
    EXPECT_EQ(send.bytes[81], 'h');

    DiagRequest write;
    ASSERT_TRUE(BuildSmsWriteReq(m, kSmsStorageRuim, write));
    EXPECT_EQ(write.length, 322);
    EXPECT_EQ(GetU32(write.Data(), 7), 3u);
    EXPECT_EQ(GetU32(write.Data(), 11), 5u);
    EXPECT_EQ(write.bytes[93], 'h');

    // encoding 4: twice the 16-bit units up to the first zero unit
    m.encoding = kSmsEncodingUnicode;
    m.text = std::string("\x00\x41\x00\x42\x00\x00\x00\x43", 8);
    EXPECT_EQ(SmsTextLength(kSmsEncodingUnicode, m.text), 4u);
    m.text = std::string(230, 'x');
    m.encoding = kSmsEncodingAscii;
    EXPECT_FALSE(BuildSmsSendReq(m, send)) << "text above 229 bytes";

    EXPECT_EQ(BuildSmsListReq(6).length, 7);
    EXPECT_EQ(BuildSmsListReq(6).timeoutMs, 5000u);
    EXPECT_EQ(BuildSmsSetTagReq(3, 6).length, 15);
    EXPECT_EQ(GetU32(BuildSmsSetTagReq(3, 6).Data(), 11), 1u);
    EXPECT_EQ(BuildSmsRemoveReq(3, 6, true).SubCommand(), KVA_SUB_SMS_REMOVEALL);
    EXPECT_EQ(BuildSmsReadReq(3, 6).length, 11);

    auto info = Req(BuildPbInfoReq(kPbStorageRuim));
    EXPECT_EQ(info, (std::vector<uint8_t>{0xD1, 0x00, 0x00, 0x01, 0x01, 0xFF}));
    DiagRequest read;
    EXPECT_FALSE(BuildPbReadReq(kPbWordRuim, 11, read));
    ASSERT_TRUE(BuildPbReadReq(kPbWordRuim, 10, read));
    EXPECT_EQ(Req(read), (std::vector<uint8_t>{0xD1, 0x02, 0x00, 0x01, 0xFF, 10}));
    EXPECT_EQ(BuildPbDelReq(9, 7).length, 8);
    EXPECT_EQ(BuildPbDelAllReq(9).timeoutMs, 10000u);
}

TEST(DiagCatalogRequests, PhonebookNamesAreCodedAsStoredOnTheCard)
{
    PbRecord rec;
    EncodePbName("Bob", rec);
    EXPECT_EQ(rec.nameLength, 3);
    EncodePbName("\xC7\xD1\xB1\xDB", rec);
    EXPECT_EQ(rec.nameLength, 5);
    EXPECT_EQ(rec.name[0], 0x80);
    EXPECT_EQ(rec.name[1], 0xC7);
    EncodePbName("\xC7\xD1\xB1", rec);
    EXPECT_EQ(rec.nameLength, 5);

    rec.storage = kPbStorageMemory;
    rec.index = 0x01020304;
    rec.number = "0105551234";
    rec.numberLength = 10;
    EncodePbName("Bob", rec);
    DiagRequest w;
    ASSERT_TRUE(BuildPbWriteReq(rec, w));
    EXPECT_EQ(w.length, 45);
    EXPECT_EQ(w.bytes[3], 9);
    EXPECT_EQ(GetU32(w.Data(), 4), 0x01020304u);
    EXPECT_EQ(w.bytes[8], 10);
    EXPECT_EQ(w.bytes[41], 3);
    EXPECT_EQ(w.bytes[42], 'B');
    PbRecord back;
    ASSERT_TRUE(ParsePbWriteReq(w.Data(), size_t(w.length), back));
    EXPECT_EQ(back.number, "0105551234");
    EXPECT_EQ(back.nameLength, 3);
}

// Every reader: the full reply parses, every truncation of it fails (or, for
// replies whose header alone may carry a failure, parses only the result)
// and a reply echoing another sub-command fails.
TEST(DiagCatalogReplies, EveryReaderRefusesShortAndForeignReplies)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> reply;
        std::function<bool(const uint8_t*, size_t)> parse;
        size_t minOk = 0; // shortest accepted reply; 0: the full record
    };
    StatusRecord st;
    st.newSmsCnt = 2;
    std::vector<Case> cases = {
        {"version", EncodeVersionReply({"Jan 01 2008", "V1.2.3", 0x0100}),
         [](const uint8_t* p, size_t n) { VersionReply v; return ParseVersionReply(p, n, v); }},
        {"esn", EncodeEsnMinReply({1, 2, 3}),
         [](const uint8_t* p, size_t n) { EsnMinReply v; return ParseEsnMinReply(p, n, v); }},
        {"nv pref", EncodeNvReadReply(10, {0, 4, 0}),
         [](const uint8_t* p, size_t n) { uint16_t v; return ParseNvPrefMode(p, n, v); }, nv_layout::kPrefMode + 2},
        {"nv hybrid", EncodeNvReadReply(562, {1}),
         [](const uint8_t* p, size_t n) { uint8_t v; return ParseNvHybridPref(p, n, v); }, nv_layout::kHybridPref + 1},
        {"nv dir", EncodeNvReadReply(215, {0, 3, '1', '2', '3'}),
         [](const uint8_t* p, size_t n) { std::string v; return ParseNvDirNumber(p, n, v); }, nv_layout::kDirDigits},
        {"service", EncodeServiceReply({}),
         [](const uint8_t* p, size_t n) { ServiceReply v; return ParseServiceReply(p, n, v); }},
        {"status short", EncodeStatusRecord(st, false),
         [](const uint8_t* p, size_t n) { StatusRecord v; return ParseStatusRecord(p, n, false, v); }},
        {"status long", EncodeStatusRecord(st, true),
         [](const uint8_t* p, size_t n) { StatusRecord v; return ParseStatusRecord(p, n, true, v); }},
        {"caller id", EncodeCallerIdRecord({}),
         [](const uint8_t* p, size_t n) { CallerIdRecord v; return ParseCallerIdRecord(p, n, v); }},
        {"cm sys sel", EncodeVendorResultReply(KVA_CMD_GENERAL, KVA_SUB_CM_SYS_SEL, 0),
         [](const uint8_t* p, size_t n) { uint16_t v; return ParseCmSysSelReply(p, n, v); }},
        {"1x drc", Encode1xDrcReply(300),
         [](const uint8_t* p, size_t n) { uint16_t v; return Parse1xDrcReply(p, n, v); }},
        {"hdr drc", EncodeHdrDrcReply({}),
         [](const uint8_t* p, size_t n) { std::array<uint8_t, 8> v; return ParseHdrDrcReply(p, n, v); }},
        {"inf ver", EncodeInfVerReply({}),
         [](const uint8_t* p, size_t n) { InfVerReply v; return ParseInfVerReply(p, n, v); }},
        {"batt", EncodeBattInfo({}),
         [](const uint8_t* p, size_t n) { BattInfo v; return ParseBattInfo(p, n, v); }},
        {"get info", EncodeGetInfoReply("hello"),
         [](const uint8_t* p, size_t n) { GetInfoReply v; return ParseGetInfoReply(p, n, v); }, getinfo_layout::kText},
        {"ruim status", EncodeRuimStatus({}),
         [](const uint8_t* p, size_t n) { RuimStatus v; return ParseRuimStatus(p, n, v); }},
        {"ruim verify", EncodeRuimChvReply(KVA_SUB_RUIM_VERIFY_CHV, {}),
         [](const uint8_t* p, size_t n) { RuimChvReply v; return ParseRuimChvReply(p, n, KVA_SUB_RUIM_VERIFY_CHV, v); }},
        {"sms list", EncodeSmsListReply({}),
         [](const uint8_t* p, size_t n) { SmsListReply v; return ParseSmsListReply(p, n, v); }, sms_list_layout::kEntries},
        {"sms read", EncodeSmsReadReply({}),
         [](const uint8_t* p, size_t n) { SmsReadReply v; return ParseSmsReadReply(p, n, v); }, sms_read_layout::kData},
        {"sms inspect", EncodeSmsInspectReply({}),
         [](const uint8_t* p, size_t n) { SmsInspectReply v; return ParseSmsInspectReply(p, n, v); }},
        {"sms info", EncodeSmsInfoReply({}),
         [](const uint8_t* p, size_t n) { SmsInfoReply v; return ParseSmsInfoReply(p, n, v); }},
        {"sms result", EncodeVendorResultReply(KVA_CMD_SMS, KVA_SUB_SMS_SEND, 0),
         [](const uint8_t* p, size_t n) { uint16_t v; return ParseSmsResult(p, n, KVA_SUB_SMS_SEND, v); }},
        {"pb info", EncodePbInfoReply({}),
         [](const uint8_t* p, size_t n) { PbInfoReply v; return ParsePbInfoReply(p, n, v); }},
        {"pb read", EncodePbReadReply({0, std::vector<PbRecord>(3)}),
         [](const uint8_t* p, size_t n) { PbReadReply v; return ParsePbReadReply(p, n, 3, v); }},
        {"pb result", EncodeVendorResultReply(KVA_CMD_PBOOK, KVA_SUB_PB_DEL, 0),
         [](const uint8_t* p, size_t n) { uint16_t v; return ParsePbResult(p, n, KVA_SUB_PB_DEL, v); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.parse(c.reply.data(), c.reply.size()));
        EXPECT_FALSE(c.parse(nullptr, 0));
        // Exact-size heap copies, so a read past the end shows under ASan.
        for (size_t n = 0; n < c.reply.size(); ++n) {
            std::unique_ptr<uint8_t[]> cut(new uint8_t[n ? n : 1]);
            std::copy_n(c.reply.begin(), n, cut.get());
            // variable tails (texts, data, entries) are clamped to what arrived
            EXPECT_EQ(c.parse(cut.get(), n), c.minOk != 0 && n >= c.minOk) << "length " << n;
        }
        auto foreign = c.reply;
        if (foreign[0] >= 0xCF && foreign[0] <= 0xD2) {
            foreign[1] ^= 0x40;
            EXPECT_FALSE(c.parse(foreign.data(), foreign.size())) << "sub-command not echoed";
        }
    }
}

TEST(DiagCatalogReplies, FailureResultsNeedOnlyTheHeader)
{
    const auto r = EncodeVendorResultReply(KVA_CMD_SMS, KVA_SUB_SMS_READ, 1);
    SmsReadReply read;
    ASSERT_TRUE(ParseSmsReadReply(r.data(), r.size(), read));
    EXPECT_EQ(read.result, 1);
    const auto l = EncodeVendorResultReply(KVA_CMD_SMS, KVA_SUB_SMS_GET_LIST, 2);
    SmsListReply list;
    ASSERT_TRUE(ParseSmsListReply(l.data(), l.size(), list));
    EXPECT_EQ(list.result, 2);
    EXPECT_TRUE(list.entries.empty());
}

TEST(DiagCatalogReplies, LengthsCarriedInRepliesAreClampedToTheirFields)
{
    // SMS read: callback and data lengths beyond their fields
    SmsReadReply in;
    in.callback = std::string(72, '5');
    in.data = std::string(229, 'd');
    in.encoding = 4;
    auto r = EncodeSmsReadReply(in);
    r[16] = 250;
    PutU16(r.data(), 18, 0xFFFF);
    SmsReadReply out;
    ASSERT_TRUE(ParseSmsReadReply(r.data(), r.size(), out));
    EXPECT_EQ(out.callback.size(), 72u);
    EXPECT_EQ(out.data.size(), 229u);
    EXPECT_EQ(out.dataLengthReported, 0xFFFF);
    // a data length that runs past a shortened reply stops at its end
    ASSERT_TRUE(ParseSmsReadReply(r.data(), 100, out));
    EXPECT_EQ(out.data.size(), 8u);

    // SMS list: 1000 entries claimed, 3 present
    SmsListReply list;
    list.numEntries = 1000;
    list.voiceIndex = -1;
    list.entries = {{1, 2}, {2, 2}, {7, 1}};
    auto lr = EncodeSmsListReply(list);
    SmsListReply lout;
    ASSERT_TRUE(ParseSmsListReply(lr.data(), lr.size(), lout));
    EXPECT_EQ(lout.numEntries, 1000);
    EXPECT_EQ(lout.entries.size(), 198u);
    EXPECT_EQ(lout.voiceIndex, -1);
    EXPECT_EQ(lout.entries[2].slot, 7);
    ASSERT_TRUE(ParseSmsListReply(lr.data(), 21 + 8 * 3 + 4, lout));
    EXPECT_EQ(lout.entries.size(), 3u);
    PutU32(lr.data(), 5, uint32_t(-5));
    ASSERT_TRUE(ParseSmsListReply(lr.data(), lr.size(), lout));
    EXPECT_TRUE(lout.entries.empty());

    // caller id number length
    CallerIdRecord cid;
    cid.number = "0105551234";
    auto c = EncodeCallerIdRecord(cid);
    c[9] = 255;
    CallerIdRecord cout;
    ASSERT_TRUE(ParseCallerIdRecord(c.data(), c.size(), cout));
    EXPECT_EQ(cout.numberLength, 63);
    EXPECT_EQ(cout.number, "0105551234");

    // directory number length
    auto nv = EncodeNvReadReply(215, {0, 200, '1', '2'});
    std::string dir;
    uint8_t reported = 0;
    ASSERT_TRUE(ParseNvDirNumber(nv.data(), nv.size(), dir, &reported));
    EXPECT_EQ(reported, 200);
    EXPECT_EQ(dir.size(), 15u);

    // info text
    auto gi = EncodeGetInfoReply(std::string(64, 'i'));
    gi[6] = 200;
    GetInfoReply g;
    ASSERT_TRUE(ParseGetInfoReply(gi.data(), gi.size(), g));
    EXPECT_EQ(g.text.size(), 64u);

    // phonebook record lengths
    PbReadReply pr;
    pr.records.resize(1);
    pr.records[0].number = "123";
    pr.records[0].numberLength = 3;
    auto pbr = EncodePbReadReply(pr);
    pbr[5 + 5] = 200;
    pbr[5 + 38] = 200;
    PbReadReply pout;
    ASSERT_TRUE(ParsePbReadReply(pbr.data(), pbr.size(), 1, pout));
    EXPECT_EQ(pout.records[0].numberLength, 32);
    EXPECT_EQ(pout.records[0].number.size(), 32u);
    EXPECT_EQ(pout.records[0].nameLength, 65);
    EXPECT_FALSE(ParsePbReadReply(pbr.data(), pbr.size(), 2, pout)) << "a short batch fails";
}

TEST(DiagCatalogReplies, StatusRecordLayoutsPutFieldsAtTheirOffsets)
{
    StatusRecord s;
    s.sysMode = 4;
    s.state = 134;
    s.rx1xRssi = -85;
    s.rxHdrRssi = -70;
    s.curSysmode = 4;
    s.incomingCallIndicate = 1;
    s.newSmsCnt = 0x0102;
    s.roaming = 1;
    s.smsFull = 1;
    s.rxDiversity = 1;
    auto lng = EncodeStatusRecord(s, true);
    ASSERT_EQ(lng.size(), 31u);
    EXPECT_EQ(int32_t(GetU32(lng.data(), 14)), -85);
    EXPECT_EQ(GetU16(lng.data(), 24), 0x0102);
    EXPECT_EQ(lng[30], 1);
    StatusRecord back;
    ASSERT_TRUE(ParseStatusRecord(lng.data(), lng.size(), true, back));
    EXPECT_EQ(back.rx1xRssi, -85);
    EXPECT_EQ(back.rxHdrRssi, -70);
    EXPECT_EQ(back.newSmsCnt, 0x0102);

    s.rx1xRssi = 85;
    auto sh = EncodeStatusRecord(s, false);
    ASSERT_EQ(sh.size(), 26u);
    EXPECT_EQ(sh[14], 85);
    EXPECT_EQ(GetU16(sh.data(), 18), 0x0102);
    EXPECT_EQ(sh[25], 1);
    EXPECT_FALSE(ParseStatusRecord(sh.data(), sh.size(), true, back)) << "short record read as long";
}

TEST(DiagCatalogTable, EveryBuiltRequestMatchesItsTableEntry)
{
    const std::vector<DiagRequest> reqs = {
        BuildVersionReq(), BuildStatusReq(), BuildHsKeyReq(0, '1'), BuildOrigReq("911"),
        BuildNvReadReq(562), BuildServiceReq(), BuildModemStatusReq(), BuildCallerIdReq(),
        BuildCmSysSelReq(1, 1), Build1xDrcReq(), BuildHdrDrcReq(), BuildEarLevelReq(1, 1),
        BuildInfVerReq(), BuildBattInfoReq(), BuildGetInfoReq(), BuildRuimStatusReq(),
        BuildRuimVerifyReq("1"), BuildRuimUnblockReq("1", "2"), BuildSmsListReq(5),
        BuildSmsRemoveReq(1, 5), BuildSmsRemoveReq(1, 5, true), BuildSmsSetTagReq(1, 5),
        BuildSmsReadReq(1, 5), BuildSmsInspectReq(), BuildSmsInfoReq(), BuildPbInfoReq(9),
        BuildPbDelReq(9, 1), BuildPbDelAllReq(1)};
    for (const auto& r : reqs) {
        const DiagRequestInfo* info = FindRequestInfo(r.Data(), size_t(r.length));
        ASSERT_NE(info, nullptr) << int(r.Command());
        EXPECT_EQ(info->requestLength, r.length) << info->name;
        EXPECT_EQ(info->timeoutMs, r.timeoutMs) << info->name;
    }
    EXPECT_EQ(FindRequestInfo(KVA_CMD_GENERAL, 3), nullptr);
}
