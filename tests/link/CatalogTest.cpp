// The DIAG catalog: exact request bytes, bounded reply readers, clamped
// lengths and the simulator-side encoders agreeing with the readers.
#include "link/DiagCatalog.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"

#include <gtest/gtest.h>

#include <cstring>
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

// Replies written out byte by byte from the record tables, with the offsets
// as plain numbers: a reader (or the simulator's encoder) that uses a wrong
// offset fails here even when both sides agree with each other.
namespace {

struct At {
    size_t offset;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Fixture(size_t size, std::initializer_list<At> parts)
{
    std::vector<uint8_t> out(size, 0);
    for (const auto& p : parts) {
        EXPECT_LE(p.offset + p.bytes.size(), size);
        std::copy(p.bytes.begin(), p.bytes.end(), out.begin() + ptrdiff_t(p.offset));
    }
    return out;
}

std::vector<uint8_t> Text(const char* t) { return std::vector<uint8_t>(t, t + std::strlen(t)); }

} // namespace

TEST(DiagCatalogFixtures, StandardAndNvReplies)
{
    // version: build date at 1..11, software version at 39..46, hardware at 50
    const auto ver = Fixture(52, {{0, {0x00}}, {1, Text("Mar 14 2008")}, {12, Text("xxxxxxxx")},
                                  {39, Text("K3.07.2B")}, {47, {0x55, 0x55, 0x55}}, {50, {0x34, 0x12}}});
    VersionReply v;
    ASSERT_TRUE(ParseVersionReply(ver.data(), ver.size(), v));
    EXPECT_EQ(v.buildDate, "Mar 14 2008");
    EXPECT_EQ(v.swVersion, "K3.07.2B");
    EXPECT_EQ(v.hwVersion, 0x1234);
    EXPECT_EQ(EncodeVersionReply({"Mar 14 2008", "K3.07.2B", 0x1234}),
              Fixture(52, {{0, {0x00}}, {1, Text("Mar 14 2008")}, {39, Text("K3.07.2B")}, {50, {0x34, 0x12}}}));

    // status request: ESN 32-bit at 4, MIN1 32-bit at 14, MIN2 16-bit at 20
    const auto esn = Fixture(22, {{0, {0x0C}}, {4, {0x78, 0x56, 0x34, 0x12}}, {8, {0xEE, 0xEE}},
                                  {14, {0x21, 0x43, 0x65, 0x00}}, {20, {0x99, 0x01}}});
    EsnMinReply e;
    ASSERT_TRUE(ParseEsnMinReply(esn.data(), esn.size(), e));
    EXPECT_EQ(e.esn, 0x12345678u);
    EXPECT_EQ(e.min1, 0x00654321u);
    EXPECT_EQ(e.min2, 0x0199);
    EXPECT_EQ(EncodeEsnMinReply({0x12345678, 0x00654321, 0x0199}),
              Fixture(22, {{0, {0x0C}}, {4, {0x78, 0x56, 0x34, 0x12}}, {14, {0x21, 0x43, 0x65, 0x00}},
                           {20, {0x99, 0x01}}}));

    // NV reads: 0xD5, wrapped 0x0026, item, data from 7
    const auto pref = Fixture(24, {{0, {0xD5, 0x26, 0x00, 0x0A, 0x00}}, {7, {0x01, 0x04, 0x00}}});
    uint16_t mode = 0;
    ASSERT_TRUE(ParseNvPrefMode(pref.data(), pref.size(), mode));
    EXPECT_EQ(mode, 4);
    EXPECT_EQ(EncodeNvReadReply(10, {0x01, 0x04, 0x00}), pref);
    const auto hyb = Fixture(24, {{0, {0xD5, 0x26, 0x00, 0x32, 0x02}}, {7, {0x01}}, {8, {0x07}}});
    uint8_t hybrid = 0;
    ASSERT_TRUE(ParseNvHybridPref(hyb.data(), hyb.size(), hybrid));
    EXPECT_EQ(hybrid, 1);
    const auto dir = Fixture(24, {{0, {0xD5, 0x26, 0x00, 0xD7, 0x00}}, {8, {0x0A}}, {9, Text("0105551234")}});
    std::string digits;
    ASSERT_TRUE(ParseNvDirNumber(dir.data(), dir.size(), digits));
    EXPECT_EQ(digits, "0105551234");

    // a reply for another item or another wrapped command is not the one asked for
    uint8_t h2 = 0;
    EXPECT_FALSE(ParseNvHybridPref(pref.data(), pref.size(), h2)) << "item 10 taken as item 562";
    EXPECT_FALSE(ParseNvPrefMode(hyb.data(), hyb.size(), mode));
    EXPECT_FALSE(ParseNvDirNumber(pref.data(), pref.size(), digits));
    auto wrapped = hyb;
    wrapped[1] = 0x27;
    EXPECT_FALSE(ParseNvHybridPref(wrapped.data(), wrapped.size(), h2));
}

TEST(DiagCatalogFixtures, GeneralReplies)
{
    // service: mode 5, diversity 6, ASCII 7, Unicode 8, callback 9, volumes 10 and 11
    const auto svc = Fixture(12, {{0, {0xCF, 0x00, 0x00, 0x00, 0x00, 0x82, 0x01, 0xA0, 0x46, 0x20, 0x03, 0x04}}});
    ServiceReply sv;
    ASSERT_TRUE(ParseServiceReply(svc.data(), svc.size(), sv));
    EXPECT_EQ(sv.serviceMode, 0x82);
    EXPECT_EQ(sv.rxDiversity, 1);
    EXPECT_EQ(sv.asciiMax, 0xA0);
    EXPECT_EQ(sv.unicodeMax, 0x46);
    EXPECT_EQ(sv.callbackMax, 0x20);
    EXPECT_EQ(sv.inCallVolume, 3);
    EXPECT_EQ(sv.idleVolume, 4);

    // status record, short layout (26 bytes)
    const auto sh = Fixture(26, {{0, {0xCF, 0x01, 0x00, 0x00, 0x00}}, {5, {0x04}}, {6, {0x01}}, {7, {0x02, 0x01}},
                                 {9, {0x86}}, {10, {0x21}}, {11, {0x83, 0x02}}, {13, {0x01}}, {14, {0x55}},
                                 {15, {0x46}}, {16, {0x04}}, {17, {0x01}}, {18, {0x02, 0x01}}, {20, {0x01}},
                                 {21, {0x01}}, {22, {0xEE, 0xEE, 0xEE}}, {25, {0x01}}});
    StatusRecord st;
    ASSERT_TRUE(ParseStatusRecord(sh.data(), sh.size(), false, st));
    EXPECT_EQ(st.sysMode, 4);
    EXPECT_EQ(st.hybridPref, 1);
    EXPECT_EQ(st.rfMode, 0x0102);
    EXPECT_EQ(st.state, 0x86);
    EXPECT_EQ(st.soMode, 0x21);
    EXPECT_EQ(st.currChan, 0x0283);
    EXPECT_EQ(st.bandClass, 1);
    EXPECT_EQ(st.rx1xRssi, 0x55);
    EXPECT_EQ(st.rxHdrRssi, 0x46);
    EXPECT_EQ(st.curSysmode, 4);
    EXPECT_EQ(st.incomingCallIndicate, 1);
    EXPECT_EQ(st.newSmsCnt, 0x0102);
    EXPECT_EQ(st.roaming, 1);
    EXPECT_EQ(st.smsFull, 1);
    EXPECT_EQ(st.rxDiversity, 1);
    auto shEncoded = sh;
    shEncoded[22] = shEncoded[23] = shEncoded[24] = 0;
    EXPECT_EQ(EncodeStatusRecord(st, false), shEncoded);

    // long layout: signed 32-bit signals at 14 and 18, then 22, 23, 24, 26, 27, 30
    const auto lg = Fixture(31, {{0, {0xCF, 0x01, 0x00, 0x00, 0x00}}, {5, {0x02}}, {9, {0x83}},
                                 {14, {0xAB, 0xFF, 0xFF, 0xFF}}, {18, {0xBA, 0xFF, 0xFF, 0xFF}}, {22, {0x02}},
                                 {23, {0x03}}, {24, {0x05, 0x00}}, {26, {0x01}}, {27, {0x01}}, {30, {0x01}}});
    StatusRecord sl;
    ASSERT_TRUE(ParseStatusRecord(lg.data(), lg.size(), true, sl));
    EXPECT_EQ(sl.sysMode, 2);
    EXPECT_EQ(sl.state, 0x83);
    EXPECT_EQ(sl.rx1xRssi, -85);
    EXPECT_EQ(sl.rxHdrRssi, -70);
    EXPECT_EQ(sl.curSysmode, 2);
    EXPECT_EQ(sl.incomingCallIndicate, 3);
    EXPECT_EQ(sl.newSmsCnt, 5);
    EXPECT_EQ(sl.roaming, 1);
    EXPECT_EQ(sl.smsFull, 1);
    EXPECT_EQ(sl.rxDiversity, 1);
    EXPECT_EQ(EncodeStatusRecord(sl, true), lg);
    EXPECT_FALSE(ParseStatusRecord(sh.data(), sh.size(), true, sl)) << "short record read as long";

    // caller id (270 bytes)
    const auto cid = Fixture(270, {{0, {0xCF, 0x02, 0x00}}, {7, {0x00}}, {9, {0x0A}}, {10, Text("0105551234")},
                                   {75, Text("Alice")}, {139, Text("0209876543")}, {203, {0x01}},
                                   {204, Text("Bob")}, {268, {0x01}}, {269, {0x02}}});
    CallerIdRecord c;
    ASSERT_TRUE(ParseCallerIdRecord(cid.data(), cid.size(), c));
    EXPECT_EQ(c.presentation, 0);
    EXPECT_EQ(c.numberLength, 10);
    EXPECT_EQ(c.number, "0105551234");
    EXPECT_EQ(c.name, "Alice");
    EXPECT_EQ(c.secondNumber, "0209876543");
    EXPECT_EQ(c.secondIndication, 1);
    EXPECT_EQ(c.secondName, "Bob");
    EXPECT_EQ(c.secondIndication2, 1);
    EXPECT_EQ(c.secondPresentation, 2);

    // result of CM_SYS_SEL at 3; 1x rate at 5; HDR rates 5..12; versions 5, 7, 9
    const auto sel = Fixture(5, {{0, {0xCF, 0x04, 0x00, 0x07, 0x00}}});
    uint16_t result = 0;
    ASSERT_TRUE(ParseCmSysSelReply(sel.data(), sel.size(), result));
    EXPECT_EQ(result, 7);
    const auto drc1 = Fixture(7, {{0, {0xCF, 0x05, 0x00, 0x00, 0x00, 0x2C, 0x01}}});
    uint16_t rate = 0;
    ASSERT_TRUE(Parse1xDrcReply(drc1.data(), drc1.size(), rate));
    EXPECT_EQ(rate, 300);
    const auto hdr = Fixture(13, {{0, {0xCF, 0x07, 0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}}});
    std::array<uint8_t, 8> rates{};
    ASSERT_TRUE(ParseHdrDrcReply(hdr.data(), hdr.size(), rates));
    EXPECT_EQ(rates, (std::array<uint8_t, 8>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}));
    const auto iv = Fixture(11, {{0, {0xCF, 0x0A, 0x00, 0x00, 0x00, 0x03, 0x00, 0x07, 0x00, 0x05, 0x02}}});
    InfVerReply inf;
    ASSERT_TRUE(ParseInfVerReply(iv.data(), iv.size(), inf));
    EXPECT_EQ(inf.major, 3);
    EXPECT_EQ(inf.minor, 7);
    EXPECT_EQ(inf.modemVersion, 0x0205);

    // battery (19 bytes): chg_val 5, batt_val 7, bars 9..17
    const auto bat = Fixture(19, {{0, {0xCF, 0x0B, 0x00, 0x00, 0x00, 0x04, 0x00, 0x3C, 0x0F, 0xAC, 0x0D, 0x10,
                                       0x0E, 0x74, 0x0E, 0xD8, 0x0E, 0x3C, 0x0F}}});
    BattInfo b;
    ASSERT_TRUE(ParseBattInfo(bat.data(), bat.size(), b));
    EXPECT_EQ(b.chgVal, 4);
    EXPECT_EQ(b.battVal, 3900);
    EXPECT_EQ(b.bar, (std::array<uint16_t, 5>{3500, 3600, 3700, 3800, 3900}));
    EXPECT_EQ(EncodeBattInfo(b), bat);

    // info text: length at 6, text at 7
    const auto gi = Fixture(12, {{0, {0xCF, 0x11, 0x00, 0x00, 0x00, 0xEE, 0x05}}, {7, Text("K3X 1")}});
    GetInfoReply g;
    ASSERT_TRUE(ParseGetInfoReply(gi.data(), gi.size(), g));
    EXPECT_EQ(g.reportedLength, 5);
    EXPECT_EQ(g.text, "K3X 1");
}

TEST(DiagCatalogFixtures, CardSmsAndPhonebookReplies)
{
    // card status: connected 5, uim_state 6, lock_state 7, retry_cnt 8
    const auto rs = Fixture(9, {{0, {0xD2, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}}});
    RuimStatus r;
    ASSERT_TRUE(ParseRuimStatus(rs.data(), rs.size(), r));
    EXPECT_EQ(r.connected, 1);
    EXPECT_EQ(r.uimState, 2);
    EXPECT_EQ(r.lockState, 3);
    EXPECT_EQ(r.retryCnt, 4);
    // PIN verify: sw1 5, sw2 6, retries 7, status 8
    const auto chv = Fixture(9, {{0, {0xD2, 0x01, 0x00, 0x00, 0x00, 0x98, 0x04, 0x02, 0x01}}});
    RuimChvReply v;
    ASSERT_TRUE(ParseRuimChvReply(chv.data(), chv.size(), KVA_SUB_RUIM_VERIFY_CHV, v));
    EXPECT_EQ(v.sw1, 0x98);
    EXPECT_EQ(v.sw2, 0x04);
    EXPECT_EQ(v.numOfRetries, 2);
    EXPECT_EQ(v.status, 1);
    EXPECT_FALSE(ParseRuimChvReply(chv.data(), chv.size(), KVA_SUB_RUIM_UNBLOCK_CHV, v));

    // SMS list: num_entries 5, storage 9, voice_index 13, voice_active 17, entries of 8 from 21
    const auto list = Fixture(21 + 16, {{0, {0xD0, 0x04, 0x00, 0x00, 0x00}}, {5, {0x02, 0x00, 0x00, 0x00}},
                                        {9, {0x06, 0x00, 0x00, 0x00}}, {13, {0xFF, 0xFF, 0xFF, 0xFF}},
                                        {17, {0x01, 0x00, 0x00, 0x00}}, {21, {0x03, 0x00, 0xEE, 0xEE, 0x02, 0x00, 0x00, 0x00}},
                                        {29, {0x09, 0x01, 0xEE, 0xEE, 0x01, 0x00, 0x00, 0x00}}});
    SmsListReply l;
    ASSERT_TRUE(ParseSmsListReply(list.data(), list.size(), l));
    EXPECT_EQ(l.numEntries, 2);
    EXPECT_EQ(l.storage, 6u);
    EXPECT_EQ(l.voiceIndex, -1);
    EXPECT_EQ(l.voiceActive, 1u);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].slot, 3);
    EXPECT_EQ(l.entries[0].tag, 2u);
    EXPECT_EQ(l.entries[1].slot, 0x0109);
    EXPECT_EQ(l.entries[1].tag, 1u);

    // SMS read: teleservice 5, time 9, encoding 13, voice-mail count 15,
    // callback length 16, data length 18, callback 20, data 92
    const auto rd = Fixture(321, {{0, {0xD0, 0x06, 0x00, 0x00, 0x00}}, {5, {0x02, 0x10, 0x00, 0x00}},
                                  {9, {0x40, 0xE2, 0x01, 0x00}}, {13, {0x02}}, {14, {0xEE}}, {15, {0x03}},
                                  {16, {0x07}}, {17, {0xEE}}, {18, {0x05, 0x00}}, {20, Text("5551234")},
                                  {92, Text("hello")}});
    SmsReadReply m;
    ASSERT_TRUE(ParseSmsReadReply(rd.data(), rd.size(), m));
    EXPECT_EQ(m.teleserviceType, 0x1002u);
    EXPECT_EQ(m.timeStamp, 123456u);
    EXPECT_EQ(m.encoding, 2);
    EXPECT_EQ(m.voiceMailCount, 3);
    EXPECT_EQ(m.callback, "5551234");
    EXPECT_EQ(m.data, "hello");

    // send status: close flag 5, report 6, tl 8; storage info: inited 5, max slot 6
    const auto ins = Fixture(10, {{0, {0xD0, 0x07, 0x00, 0x00, 0x00, 0x01, 0x22, 0x01, 0x33, 0x00}}});
    SmsInspectReply in;
    ASSERT_TRUE(ParseSmsInspectReply(ins.data(), ins.size(), in));
    EXPECT_EQ(in.closeFlag, 1);
    EXPECT_EQ(in.report, 0x0122);
    EXPECT_EQ(in.tl, 0x33);
    const auto inf = Fixture(7, {{0, {0xD0, 0x08, 0x00, 0x00, 0x00, 0x01, 0x28}}});
    SmsInfoReply si;
    ASSERT_TRUE(ParseSmsInfoReply(inf.data(), inf.size(), si));
    EXPECT_EQ(si.inited, 1);
    EXPECT_EQ(si.smsMaxSlot, 40);

    // phonebook info: max_record 5, record_in_use 7
    const auto pi = Fixture(11, {{0, {0xD1, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x00, 0x0C, 0x00, 0x14, 0x00}}});
    PbInfoReply p;
    ASSERT_TRUE(ParsePbInfoReply(pi.data(), pi.size(), p));
    EXPECT_EQ(p.maxRecord, 250);
    EXPECT_EQ(p.recordInUse, 12);
    // phonebook result at 3
    const auto pr = Fixture(5, {{0, {0xD1, 0x03, 0x00, 0x02, 0x00}}});
    uint16_t res = 0;
    ASSERT_TRUE(ParsePbResult(pr.data(), pr.size(), KVA_SUB_PB_DEL, res));
    EXPECT_EQ(res, 2);
    // phonebook read: records of 104 bytes from 5: status +0, index +1,
    // number length +5, number +6, name +39
    const auto rr = Fixture(5 + 2 * 104, {{0, {0xD1, 0x02, 0x00, 0x00, 0x00}},
                                          {5, {0x00, 0x07, 0x00, 0x00, 0x00, 0x03}}, {11, Text("911")},
                                          {43, {0x03}}, {44, Text("Bob")},
                                          {109, {0x01, 0x08, 0x01, 0x00, 0x00}}});
    PbReadReply rp;
    ASSERT_TRUE(ParsePbReadReply(rr.data(), rr.size(), 2, rp));
    ASSERT_EQ(rp.records.size(), 2u);
    EXPECT_EQ(rp.records[0].storage, 0) << "read_status";
    EXPECT_EQ(rp.records[0].index, 7u);
    EXPECT_EQ(rp.records[0].number, "911");
    EXPECT_EQ(rp.records[0].name[0], 'B');
    EXPECT_EQ(rp.records[0].name[2], 'b');
    EXPECT_EQ(rp.records[1].storage, 1);
    EXPECT_EQ(rp.records[1].index, 0x0108u);
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
