// "pb": the modem's phonebooks headless: list, add and delete entries of
// the memory or the card phonebook.
#include "cli/CliCommand.h"
#include "cli/CliPort.h"
#include "contacts/PbCoding.h"
#include "data/DataConstants.h"
#include "engine/PortOpenText.h"
#include "log/DebugLog.h"
#include "messaging/MessagingSession.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: pb list [memory|ruim] | pb add memory|ruim [--index N] NAME NUMBER | pb delete memory|ruim INDEX";

int StorageType(const std::string& word)
{
    return word == "memory" ? kv::kPbookMemory : word == "ruim" ? kv::kPbookRuim : 0;
}

// Why the last Open failed: no database, or no modem.
int g_openFailure = kvcli::kExitNoDevice;

std::unique_ptr<kv::CMessagingSession> Open(const kvcli::GlobalOptions& opts)
{
    if (opts.verbose)
        kv::EnableDiagnosticSink(stderr);
    kv::CMessagingSession::Options o;
    if (!kvcli::PrepareDatabase(o.dbPath)) {
        g_openFailure = kvcli::kExitFailure;
        return nullptr;
    }
    g_openFailure = kvcli::kExitNoDevice;
    o.device = opts.device;
    o.readPhonebooks = true; // both phonebooks are read during the start-up
    auto s = std::make_unique<kv::CMessagingSession>(o);
    if (!s->Start()) {
        if (!kv::PortOpenAdvice(s->PortOpenError()).empty())
            kvcli::ReportPortNotOpened(s->PortOpenError(), opts.device.empty() ? "COM port" : opts.device);
        else
            std::fprintf(stderr, "korvianet-cli: the modem did not start (no modem or no answer)\n");
        return nullptr;
    }
    return s;
}

int List(kv::CMessagingSession& s, int only)
{
    kv::CDaoPbookDb& pb = s.Db().Pbook();
    try {
        for (int type : {kv::kPbookRuim, kv::kPbookMemory}) {
            if (only && only != type)
                continue;
            pb.Open(kv::CDaoPbookDb::QueryStorage(type));
            for (; !pb.IsEOF(); pb.MoveNext())
                std::printf("%s\t%d\t%s\t%s\n", type == kv::kPbookRuim ? "ruim" : "memory", int(pb.m_index),
                            pb.m_phone_number.c_str(), pb.m_name.c_str());
            pb.Close();
        }
    } catch (const kv::CDaoException& e) {
        if (pb.IsOpen())
            pb.Close();
        std::fprintf(stderr, "korvianet-cli: %s\n", e.Description().c_str());
        return kvcli::kExitFailure;
    }
    return kvcli::kExitOk;
}

int Report(const kv::CPbookEngine::Change& c, const char* what)
{
    if (!c.refusal.empty()) {
        std::fprintf(stderr, "korvianet-cli: %s\n", c.refusal.c_str());
        return kvcli::kExitUsage;
    }
    if (!c.ok()) {
        std::fprintf(stderr, "korvianet-cli: the modem refused the %s (0x%04x)\n", what, unsigned(c.result));
        return kvcli::kExitFailure;
    }
    return kvcli::kExitOk;
}

int RunPb(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (args.empty())
        return kvcli::UsageError(kUsage);
    const std::string& sub = args[0];
    if (sub == "list" && args.size() <= 2) {
        const int only = args.size() == 2 ? StorageType(args[1]) : 0;
        if (args.size() == 2 && !only)
            return kvcli::UsageError(kUsage);
        auto s = Open(opts);
        return s ? List(*s, only) : g_openFailure;
    }
    if (sub == "add" && args.size() >= 4) {
        const int type = StorageType(args[1]);
        int index = 0;
        size_t i = 2;
        if (args[i] == "--index" && i + 1 < args.size()) {
            index = std::atoi(args[i + 1].c_str());
            i += 2;
            if (index <= 0)
                return kvcli::UsageError("--index needs a positive number");
        }
        if (!type || args.size() != i + 2)
            return kvcli::UsageError(kUsage);
        const kv::DialCheck dc = kv::CheckDialString(args[i + 1]);
        if (dc != kv::DialCheck::Ok) {
            std::fprintf(stderr, "korvianet-cli: %s %s\n", kv::DialCheckText(dc), args[i + 1].c_str());
            return kvcli::kExitUsage;
        }
        auto s = Open(opts);
        if (!s)
            return g_openFailure;
        const auto c = s->Pbook().WriteEntry(type, index, args[i], args[i + 1]);
        return Report(c, "entry");
    }
    if (sub == "delete" && args.size() == 3) {
        const int type = StorageType(args[1]);
        char* end = nullptr;
        const long index = std::strtol(args[2].c_str(), &end, 10);
        if (!type || !end || *end || index <= 0)
            return kvcli::UsageError(kUsage);
        auto s = Open(opts);
        if (!s)
            return g_openFailure;
        return Report(s->Pbook().DeleteEntry(type, int(index)), "deletion");
    }
    return kvcli::UsageError(kUsage);
}

} // namespace

KV_CLI_COMMAND("pb", "pb list [memory|ruim] | pb add memory|ruim [--index N] NAME NUMBER | pb delete memory|ruim INDEX",
               "list the phonebooks read from the modem, add an entry (the first free index unless given)\n"
               "      or delete one, on the modem and in the local mirror",
               RunPb);
