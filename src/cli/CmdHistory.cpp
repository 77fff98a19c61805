// "history": the call history of the local database, newest first.
#include "cli/CliCommand.h"
#include "data/AppDatabase.h"

#include <cstdio>

namespace {

const char* KindName(int kind)
{
    switch (kind) {
    case 1: return "outgoing";
    case 2: return "answered";
    case 3: return "missed";
    default: return "?";
    }
}

int RunHistory(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.size() > 2 || (args.size() == 1) || (args.size() == 2 && args[0] != "--search"))
        return kvcli::UsageError("usage: history [--search TEXT]");
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase app(dbPath);
    kv::CDaoVcallDb& vc = app.Vcall();
    try {
        vc.Open(args.empty() ? kv::CDaoVcallDb::QueryNewestFirst() : kv::CDaoVcallDb::SearchAll(args[1]));
        int n = 0;
        for (; !vc.IsEOF(); vc.MoveNext(), ++n)
            std::printf("%d\t%s\t%s\t%s\t%s\t%s\n", int(vc.m_index), KindName(vc.m_storage_type),
                        vc.m_phone_number.c_str(), vc.m_name.c_str(), vc.m_time.c_str(), vc.m_call_time.c_str());
        vc.Close();
        if (n == 0)
            std::printf("no calls\n");
    } catch (const kv::CDaoException& e) {
        if (vc.IsOpen())
            vc.Close();
        std::fprintf(stderr, "korvianet-cli: %s\n", e.Description().c_str());
        return kvcli::kExitFailure;
    }
    return kvcli::kExitOk;
}

} // namespace

KV_CLI_COMMAND("history", "history [--search TEXT]",
               "list the call history (number, name, start, duration), newest first, or the calls whose\n"
               "      number or name contains TEXT",
               RunHistory);
