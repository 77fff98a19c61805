// The phonebook page's search on 10,000 entries as the user sees it: from
// the click on Search to the list painted with the result, on the offscreen
// platform; and opening the page on the same table.
#include "contacts/PhoneBookView.h"
#include "contacts/PhoneBookTexts.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "data/DaoPbookDb.h"
#include "data/DbPath.h"
#include "messaging/MessagingSession.h"

#include <QApplication>
#include <QComboBox>
#include <QTableWidget>
#include <QTest>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace kv::pbpage;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_pbpage";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// A copy of the built database with 10,000 Memory entries.
const std::string& BenchDb()
{
    static std::string path = [] {
        char tmpl[] = "/tmp/kvpbpageXXXXXX";
        std::string dir = mkdtemp(tmpl);
        setenv("KORVIANET_CONFIG_DIR", dir.c_str(), 1);
        std::string p = dir + "/WVL.MDB";
        std::ifstream in(kv::TemplateDatabaseCandidates().front(), std::ios::binary);
        std::ofstream out(p, std::ios::binary);
        out << in.rdbuf();
        out.close();
        kv::CDaoPbookDb pb(p);
        pb.BeginTrans();
        pb.Open(kv::CDaoPbookDb::QueryEntry(-1, 1));
        for (int i = 1; i <= 10000; ++i) {
            pb.AddNew();
            pb.m_storage_type = 1;
            pb.m_index = i;
            pb.m_name = "Contact " + std::to_string(i * 7919 % 10007);
            pb.m_phone_number = "1555" + std::to_string(1000000 + i * 31 % 9000000);
            pb.Update();
        }
        pb.CommitTrans();
        return p;
    }();
    return path;
}

struct Page {
    Page()
    {
        App();
        kv::CMessagingSession::Options o;
        o.dbPath = BenchDb();
        session = std::make_unique<kv::CMessagingSession>(o);
        session->Host().State().m_wPbMemoryMax = 10000;
        kvpb::PhoneBookEnv env;
        env.engine = &session->Engine();
        env.db = &session->Db();
        env.pbook = &session->Pbook();
        view = std::make_unique<kvpb::CPhoneBookView>(std::move(env), PAGE_MEMORY, -1);
        view->SetPrompt([](const QString&, kv::MsgIcon, bool) { return 0; });
        view->show();
        QApplication::processEvents();
    }
    std::unique_ptr<kv::CMessagingSession> session;
    std::unique_ptr<kvpb::CPhoneBookView> view;
};

// Click on Search → the list painted with the result.
void ClickSearch(benchmark::State& state, int column, const char* text, int expectRows)
{
    Page p;
    p.view->Column()->setCurrentIndex(column);
    p.view->Field(IDC_PB_SEARCH_TEXT)->SetText(QString::fromLatin1(text));
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        QTest::mouseClick(p.view->Button(IDC_PB_SEARCH), Qt::LeftButton);
        p.view->List()->viewport()->repaint();
        QApplication::processEvents();
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (expectRows >= 0 && p.view->List()->rowCount() != expectRows)
            state.SkipWithError("unexpected result size");
    }
    state.counters["rows"] = p.view->List()->rowCount();
}

void BM_PageSearchAllRows(benchmark::State& state) { ClickSearch(state, COL_ALL, "", 10000); }
void BM_PageSearchNameFew(benchmark::State& state) { ClickSearch(state, COL_NAME, "Contact 999", 11); }
void BM_PageSearchPhoneSome(benchmark::State& state) { ClickSearch(state, COL_PHONE, "555100", -1); }

// Opening the page: the Memory page listed and painted.
void BM_PageOpen(benchmark::State& state)
{
    Page warm; // the database copy and the application exist
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Page p;
        p.view->List()->viewport()->repaint();
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}

} // namespace

BENCHMARK(BM_PageSearchAllRows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PageSearchNameFew)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PageSearchPhoneSome)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PageOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
