// "db": look at the local database the program uses (path, sanity, call
// history, caller-name lookup).
#include "cli/CliCalls.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "data/AppDatabase.h"

#include <cstdio>

namespace {

constexpr const char* kUsage = "usage: db path | db check | db history | db lookup NUMBER";

int CountOf(kv::CDaoRecordset& rs)
{
    rs.Open();
    int n = static_cast<int>(rs.GetRecordCount());
    rs.Close();
    return n;
}

// The first phonebook name of a number; a database error is thrown, not
// taken for "no such number".
bool LookupName(kv::CAppDatabase& app, const std::string& number, std::string& name)
{
    kv::CDaoPbookDb& pb = app.Pbook();
    pb.Open(kv::CDaoPbookDb::QueryNumber(number));
    const bool found = !pb.IsEOF();
    if (found)
        name = pb.m_name;
    pb.Close();
    return found;
}

int RunDb(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.empty())
        return kvcli::UsageError(kUsage);
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase app(dbPath);
    const std::string& sub = args[0];
    if (sub == "path" && args.size() == 1) {
        if (kvcli::JsonMode())
            kvcli::PrintJson({{"path", kvcli::Utf8Text(app.Path())}});
        else
            std::printf("%s\n", kvcli::Shown(app.Path()).c_str());
        return kvcli::kExitOk;
    }
    if (sub == "history" && args.size() == 1)
        return kvcli::PrintCalls(app, kv::CDaoVcallDb::QueryNewestFirst(), kvcli::CallLayout::Compact, false);
    try {
        if (sub == "check" && args.size() == 1) {
            const int pb = CountOf(app.Pbook()), sms = CountOf(app.Sms()), calls = CountOf(app.Vcall());
            if (kvcli::JsonMode()) {
                kvcli::PrintJson({{"file", kvcli::Utf8Text(app.Path())},
                                  {"phonebook_rows", pb},
                                  {"message_rows", sms},
                                  {"call_records", calls}});
            } else {
                std::printf("file: %s\n", kvcli::Shown(app.Path()).c_str());
                std::printf("phonebook rows: %d\nmessage rows: %d\ncall records: %d\n", pb, sms, calls);
            }
            return kvcli::kExitOk;
        }
        if (sub == "lookup" && args.size() == 2) {
            std::string name;
            const bool found = LookupName(app, args[1], name);
            if (kvcli::JsonMode()) {
                kvcli::PrintJson({{"number", kvcli::Utf8Text(args[1])},
                                  {"found", found},
                                  {"name", found ? kvcli::Json(kvcli::Utf8Text(name)) : kvcli::Json(nullptr)}});
            } else {
                std::printf("%s\n", kvcli::Shown(kvcli::Utf8Text(name)).c_str());
            }
            return kvcli::kExitOk;
        }
    } catch (const kv::CDaoException& e) {
        for (kv::CDaoRecordset* rs : {static_cast<kv::CDaoRecordset*>(&app.Pbook()),
                                      static_cast<kv::CDaoRecordset*>(&app.Sms()),
                                      static_cast<kv::CDaoRecordset*>(&app.Vcall())})
            if (rs->IsOpen())
                rs->Close();
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    return kvcli::UsageError(kUsage);
}

} // namespace

KV_CLI_COMMAND("db", "db path | db check | db history | db lookup NUMBER",
               "show the database file in use ($KORVIANET_DB overrides), count its rows, list the call\n"
               "      history newest first, or look up the phonebook name of a number (an empty line when\n"
               "      none has it); a database that cannot be read exits 1 with the database's error text",
               RunDb,
               "  db path:    {\"path\": TEXT}\n"
               "  db check:   {\"file\": TEXT, \"phonebook_rows\": N, \"message_rows\": N, \"call_records\": N}\n"
               "  db lookup:  {\"number\": TEXT, \"found\": true|false, \"name\": TEXT|null}\n"
               "  db history:\n"
               "  {\"calls\": [{\"index\": N, \"kind\": \"outgoing\"|\"answered\"|\"missed\"|\"?\", \"kind_code\": N,\n"
               "              \"number\": TEXT, \"name\": TEXT, \"start\": TEXT, \"duration\": \"HH:MM:SS\"}]}");
