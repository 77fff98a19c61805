// "history": the call history of the local database, newest first.
#include "cli/CliArgs.h"
#include "cli/CliCalls.h"
#include "cli/CliCommand.h"
#include "contacts/PhoneBookRules.h"
#include "data/AppDatabase.h"

#include <cstdio>

namespace {

constexpr const char* kUsage = "usage: history [--search TEXT] | history delete N | history delete-all";

// "delete N" and "delete-all", as the call history page does them.
int Delete(kv::CAppDatabase& app, const std::vector<std::string>& args)
{
    std::string error;
    if (args[0] == "delete-all") {
        if (!kv::DeleteAllCallHistory(app, error))
            return kvcli::Fail(kvcli::kExitFailure, "cannot delete the call history: " + kvcli::Shown(error));
        if (kvcli::JsonMode())
            kvcli::PrintJson(kvcli::Json{{"result", "deleted all"}});
        else
            std::puts("deleted the call history");
        return kvcli::kExitOk;
    }
    const auto n = kvcli::NumberArg("N", args[1], 1, 0x7FFFFFFF);
    if (!n)
        return kvcli::kExitUsage;
    if (!kv::DeleteCallRecord(app, *n, error))
        return kvcli::Fail(kvcli::kExitFailure, "cannot delete call " + std::to_string(*n) + ": "
                                                     + (error.empty() ? std::string("no such call") : kvcli::Shown(error)));
    if (kvcli::JsonMode())
        kvcli::PrintJson(kvcli::Json{{"index", *n}, {"result", "deleted"}});
    else
        std::printf("deleted call %lld\n", *n);
    return kvcli::kExitOk;
}

int RunHistory(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    const bool del = (args.size() == 1 && args[0] == "delete-all") || (args.size() == 2 && args[0] == "delete");
    if (!del && (args.size() > 2 || (args.size() == 1) || (args.size() == 2 && args[0] != "--search")))
        return kvcli::UsageError(kUsage);
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase app(dbPath);
    if (del)
        return Delete(app, args);
    return kvcli::PrintCalls(app,
                             args.empty() ? kv::CDaoVcallDb::QueryNewestFirst() : kv::CDaoVcallDb::SearchAll(args[1]),
                             kvcli::CallLayout::Tabbed, true);
}

} // namespace

KV_CLI_COMMAND("history", "history [--search TEXT] | history delete N | history delete-all",
               "list the call history (number, name, start, duration), newest first, or the calls whose\n"
               "      number or name contains TEXT; delete call number N, or every call (the call numbers\n"
               "      then start again from 1)",
               RunHistory, kvcli::kCallsJsonHelp);
