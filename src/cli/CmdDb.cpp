// "db": look at the local database the program uses (path, sanity, call
// history, caller-name lookup).
#include "cli/CliCommand.h"
#include "data/AppDatabase.h"

#include <cstdio>

namespace {

int CountOf(kv::CDaoRecordset& rs)
{
    rs.Open();
    int n = static_cast<int>(rs.GetRecordCount());
    rs.Close();
    return n;
}

int RunDb(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.empty())
        return kvcli::UsageError("usage: db path | db check | db history | db lookup NUMBER");
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase app(dbPath);
    const std::string& sub = args[0];
    if (sub == "path" && args.size() == 1) {
        std::printf("%s\n", app.Path().c_str());
        return kvcli::kExitOk;
    }
    try {
        if (sub == "check" && args.size() == 1) {
            std::printf("file: %s\n", app.Path().c_str());
            std::printf("phonebook rows: %d\n", CountOf(app.Pbook()));
            std::printf("message rows: %d\n", CountOf(app.Sms()));
            std::printf("call records: %d\n", CountOf(app.Vcall()));
            return kvcli::kExitOk;
        }
        if (sub == "history" && args.size() == 1) {
            kv::CDaoVcallDb& vc = app.Vcall();
            for (vc.Open(kv::CDaoVcallDb::QueryNewestFirst()); !vc.IsEOF(); vc.MoveNext())
                std::printf("%04d %d %s %s %s %s\n", vc.m_index, vc.m_storage_type, vc.m_time.c_str(),
                            vc.m_call_time.c_str(), vc.m_phone_number.c_str(), vc.m_name.c_str());
            vc.Close();
            return kvcli::kExitOk;
        }
        if (sub == "lookup" && args.size() == 2) {
            std::printf("%s\n", app.LookupNameByNumber(args[1]).c_str());
            return kvcli::kExitOk;
        }
    } catch (const kv::CDaoException& e) {
        std::fprintf(stderr, "korvianet-cli: %s\n", e.Description().c_str());
        return kvcli::kExitFailure;
    }
    return kvcli::UsageError("usage: db path | db check | db history | db lookup NUMBER");
}

} // namespace

KV_CLI_COMMAND("db", "db path | db check | db history | db lookup NUMBER",
               "show the database file in use ($KORVIANET_DB overrides), count its rows, list the call\n"
               "history newest first, or look up the phonebook name of a number",
               RunDb);
