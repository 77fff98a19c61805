// The message and phonebook engines against the in-process simulator: a full
// card phonebook (250 entries) read into the table, and the first load of
// 198 messages (list and read pass). Each comes with the same exchanges made
// bare, without the table, so that the difference is our own cost beyond the
// modem's answer time. The pause setting between exchanges is 0 here.
#include "contacts/PbookEngine.h"
#include "data/DataConstants.h"
#include "data/DbPath.h"
#include "engine/CommPortLink.h"
#include "host/HeadlessHost.h"
#include "link/CommPort.h"
#include "messaging/SmsEngine.h"
#include "sim/ModemSimulator.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

using namespace kv;

namespace {

struct Bed {
    std::string dir;
    std::unique_ptr<sim::ModemSimulator> sim;
    CCommPort port;
    std::unique_ptr<CCommPortLink> link;
    std::unique_ptr<CHeadlessHost> host;
    std::unique_ptr<CDmEngine> engine; // never started: the link is ours alone
    std::unique_ptr<CAppDatabase> db;

    Bed()
    {
        char tmpl[] = "/tmp/kvbenchXXXXXX";
        dir = mkdtemp(tmpl);
        setenv("KORVIANET_CONFIG_DIR", dir.c_str(), 1);
        std::ofstream(dir + "/syskor.ini") << "[sysinf]\nslps=0\n";
        std::ifstream in(TemplateDatabaseCandidates().front(), std::ios::binary); // the template
        std::stringstream ss;
        ss << in.rdbuf();
        std::ofstream(dir + "/WVL.MDB", std::ios::binary) << ss.str();
        sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.demoState = false;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        sim->WithModel([](sim::ModemModel& m) {
            m.pbRuim.capacity = 250;
            for (uint32_t i = 1; i <= 250; ++i)
                m.pbRuim.entries[i] = {"619555" + std::to_string(1000 + i), "Contact " + std::to_string(i)};
            m.memory.capacity = 200;
            for (uint16_t s = 0; s < 198; ++s) {
                sim::SimSms msg;
                msg.slot = s;
                msg.tag = 1;
                msg.time = 1000u + s;
                msg.number = "8585550100";
                msg.text = "Message number " + std::to_string(s) + " with an ordinary length of text.";
                m.memory.slots[s] = msg;
            }
        });
        sim->Start();
        port.SetDevicePath(sim->SlavePath());
        link = std::make_unique<CCommPortLink>(port);
        host = std::make_unique<CHeadlessHost>();
        engine = std::make_unique<CDmEngine>(*host, *link);
        link->Open(1, 115200);
        db = std::make_unique<CAppDatabase>(dir + "/WVL.MDB");
    }
    ~Bed()
    {
        link->Close();
        sim->Stop();
        std::system(("rm -rf " + dir).c_str());
    }
};

Bed& TheBed()
{
    static Bed bed;
    return bed;
}

void BM_PhonebookRead250(benchmark::State& state)
{
    Bed& b = TheBed();
    CPbookEngine pb(*b.engine, *b.db);
    b.host->State().m_wPbRuimUsed = 250;
    for (auto _ : state) {
        b.engine->Exchange(BuildPbInfoReq(kPbStorageRuim)); // the modem's read starts over
        if (pb.SubRead(kPbWordRuim) != DM_PBOOK_READ)
            state.SkipWithError("read failed");
    }
}
BENCHMARK(BM_PhonebookRead250)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PhonebookRead250_ExchangesOnly(benchmark::State& state)
{
    Bed& b = TheBed();
    for (auto _ : state) {
        b.engine->Exchange(BuildPbInfoReq(kPbStorageRuim));
        for (int pos = 0; pos < 250; pos += 10) {
            DiagRequest req;
            BuildPbReadReq(kPbWordRuim, 10, req);
            PbReadReply r;
            if (b.engine->Exchange(req) != 0 || !ParsePbReadReply(b.engine->Reply(), b.engine->ReplyLength(), 10, r))
                state.SkipWithError("exchange failed");
        }
    }
}
BENCHMARK(BM_PhonebookRead250_ExchangesOnly)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SmsFirstLoad198(benchmark::State& state)
{
    Bed& b = TheBed();
    CSmsShared shared;
    CSmsEngine sms(*b.engine, *b.db, shared);
    for (auto _ : state) {
        state.PauseTiming();
        b.db->CloseSmsCursor();
        { // an empty mirror, as after a fresh start
            CDaoSmsDb s(b.dir + "/WVL.MDB");
            s.Open();
            if (s.GetRecordCount() > 0)
                for (s.MoveFirst(); !s.IsEOF(); s.MoveNext())
                    s.Delete();
            s.Close();
        }
        b.db->OpenSmsCursor();
        state.ResumeTiming();
        if (sms.SubList(kSmsStorageMemory) != DM_SMS_LIST || sms.SubRead() != DM_SMS_READ)
            state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_SmsFirstLoad198)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SmsFirstLoad198_ExchangesOnly(benchmark::State& state)
{
    Bed& b = TheBed();
    for (auto _ : state) {
        SmsListReply list;
        b.engine->Exchange(BuildSmsListReq(kSmsStorageMemory));
        ParseSmsListReply(b.engine->Reply(), b.engine->ReplyLength(), list);
        for (const SmsListEntry& e : list.entries) {
            SmsReadReply r;
            if (b.engine->Exchange(BuildSmsReadReq(e.slot, kSmsStorageMemory)) != 0
                || !ParseSmsReadReply(b.engine->Reply(), b.engine->ReplyLength(), r))
                state.SkipWithError("exchange failed");
        }
    }
}
BENCHMARK(BM_SmsFirstLoad198_ExchangesOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

// The list alone (one exchange, 198 new rows).
void BM_SmsList198(benchmark::State& state)
{
    Bed& b = TheBed();
    CSmsShared shared;
    CSmsEngine sms(*b.engine, *b.db, shared);
    for (auto _ : state) {
        state.PauseTiming();
        b.db->CloseSmsCursor();
        {
            CDaoSmsDb s(b.dir + "/WVL.MDB");
            s.Open();
            if (s.GetRecordCount() > 0)
                for (s.MoveFirst(); !s.IsEOF(); s.MoveNext())
                    s.Delete();
            s.Close();
        }
        b.db->OpenSmsCursor();
        state.ResumeTiming();
        if (sms.SubList(kSmsStorageMemory) != DM_SMS_LIST)
            state.SkipWithError("list failed");
    }
}
BENCHMARK(BM_SmsList198)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
