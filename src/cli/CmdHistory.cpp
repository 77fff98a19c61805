// "history": the call history of the local database, newest first.
#include "cli/CliCalls.h"
#include "cli/CliCommand.h"
#include "data/AppDatabase.h"

namespace {

int RunHistory(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.size() > 2 || (args.size() == 1) || (args.size() == 2 && args[0] != "--search"))
        return kvcli::UsageError("usage: history [--search TEXT]");
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase app(dbPath);
    return kvcli::PrintCalls(app,
                             args.empty() ? kv::CDaoVcallDb::QueryNewestFirst() : kv::CDaoVcallDb::SearchAll(args[1]),
                             kvcli::CallLayout::Tabbed, true);
}

} // namespace

KV_CLI_COMMAND("history", "history [--search TEXT]",
               "list the call history (number, name, start, duration), newest first, or the calls whose\n"
               "      number or name contains TEXT",
               RunHistory, kvcli::kCallsJsonHelp);
