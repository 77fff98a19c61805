// "pb": the modem's phonebooks headless: list, add and delete entries of
// the memory or the card phonebook.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "contacts/PbCoding.h"
#include "contacts/PhoneBookRules.h"
#include "contacts/PhoneBookTexts.h"
#include "data/DataConstants.h"
#include "engine/DmCodes.h"
#include "owner/PbOutcome.h"

#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: pb list [memory|ruim] | pb search memory|ruim [--column all|index|name|phone] TEXT\n"
    "       | pb add memory|ruim [--index N] NAME NUMBER | pb modify memory|ruim INDEX NAME NUMBER\n"
    "       | pb delete memory|ruim INDEX";

int StorageType(const std::string& word) { return kv::PbStorageType(word); }

const char* StorageWord(int type) { return type == kv::kPbookRuim ? "ruim" : "memory"; }

std::string NameProblem(const std::string& name, int type, int pbLen) { return kv::PbNameProblem(name, type, pbLen); }

kvcli::DialRules NumberRules(int type) { return kv::PbNumberRules(type); }

int Capacity(kv::CMessagingSession& s, int type)
{
    const kv::ModemState& st = s.Host().State();
    return type == kv::kPbookRuim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();
}

int Used(kv::CMessagingSession& s, int type)
{
    const kv::ModemState& st = s.Host().State();
    return type == kv::kPbookRuim ? st.m_wPbRuimUsed.load() : st.m_wPbMemoryUsed.load();
}

// The entries of a search in the local mirror (no modem needed), as the
// phonebook page finds them.
int Search(const std::vector<std::string>& args)
{
    const int type = StorageType(args[1]);
    int column = kv::pbpage::COL_ALL;
    size_t i = 2;
    if (i < args.size() && args[i] == "--column") {
        if (i + 1 >= args.size())
            return kvcli::UsageError("--column needs all, index, name or phone");
        const std::string& c = args[i + 1];
        column = c == "all"     ? kv::pbpage::COL_ALL
                 : c == "index" ? kv::pbpage::COL_INDEX
                 : c == "name"  ? kv::pbpage::COL_NAME
                 : c == "phone" ? kv::pbpage::COL_PHONE
                                : -1;
        if (column < 0)
            return kvcli::UsageError("--column: '" + kvcli::Shown(c) + "' is not all, index, name or phone");
        i += 2;
    }
    if (!type || args.size() != i + 1)
        return kvcli::UsageError(kUsage);
    const auto query = kv::PbSearchQuery(type, column, args[i]);
    if (!query)
        return kvcli::UsageError("TEXT: searching a column other than all needs a text");
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase db(dbPath);
    kv::CDaoPbookDb& pb = db.Pbook();
    kvcli::Json entries = kvcli::Json::array();
    std::string text;
    try {
        pb.Open(*query);
        for (; !pb.IsEOF(); pb.MoveNext()) {
            entries.push_back({{"storage", StorageWord(type)},
                               {"index", int(pb.m_index)},
                               {"number", kvcli::Utf8Text(pb.m_phone_number)},
                               {"name", kvcli::Utf8Text(pb.m_name)}});
            text += std::string(StorageWord(type)) + "\t" + std::to_string(pb.m_index) + "\t"
                    + kvcli::Shown(pb.m_phone_number) + "\t" + kvcli::Shown(kvcli::Utf8Text(pb.m_name)) + "\n";
        }
        pb.Close();
    } catch (const kv::CDaoException& e) {
        if (pb.IsOpen())
            pb.Close();
        return kvcli::Fail(kvcli::kExitFailure, "cannot search: " + kvcli::Shown(e.Description()));
    }
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"entries", entries}});
    else
        std::fputs(text.c_str(), stdout);
    return kvcli::kExitOk;
}

int List(kv::CMessagingSession& s, int only)
{
    kv::CDaoPbookDb& pb = s.Db().Pbook();
    kvcli::Json entries = kvcli::Json::array();
    std::string text;
    try {
        for (int type : {kv::kPbookRuim, kv::kPbookMemory}) {
            if (only && only != type)
                continue;
            pb.Open(kv::CDaoPbookDb::QueryStorage(type));
            for (; !pb.IsEOF(); pb.MoveNext()) {
                entries.push_back({{"storage", StorageWord(type)},
                                   {"index", int(pb.m_index)},
                                   {"number", kvcli::Utf8Text(pb.m_phone_number)},
                                   {"name", kvcli::Utf8Text(pb.m_name)}});
                text += std::string(StorageWord(type)) + "\t" + std::to_string(pb.m_index) + "\t"
                        + kvcli::Shown(pb.m_phone_number) + "\t" + kvcli::Shown(kvcli::Utf8Text(pb.m_name)) + "\n";
            }
            pb.Close();
        }
    } catch (const kv::CDaoException& e) {
        if (pb.IsOpen())
            pb.Close();
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    if (kvcli::JsonMode()) {
        kvcli::Json doc;
        for (int type : {kv::kPbookRuim, kv::kPbookMemory})
            if (!only || only == type)
                doc[StorageWord(type)] = {{"used", Used(s, type)}, {"capacity", Capacity(s, type)}};
        doc["entries"] = entries;
        kvcli::PrintJson(doc);
    } else {
        std::fputs(text.c_str(), stdout);
    }
    return kvcli::kExitOk;
}

// The first index from 1 that the table does not use for that phonebook.
// False after a database error (error set): a guess could overwrite an
// entry on the modem.
bool FreeIndex(kv::CMessagingSession& s, int type, int& index, std::string& error)
{
    kv::CDaoPbookDb& pb = s.Db().Pbook();
    std::set<int> used;
    try {
        pb.Open(kv::CDaoPbookDb::QueryStorage(type));
        for (; !pb.IsEOF(); pb.MoveNext())
            used.insert(pb.m_index);
        pb.Close();
    } catch (const kv::CDaoException& e) {
        if (pb.IsOpen())
            pb.Close();
        error = e.Description();
        return false;
    }
    index = 1;
    while (used.count(index))
        ++index;
    return true;
}

// The outcome of a change on the modem, each failure named for what it is.
int Report(const kv::CPbookEngine::Change& c, const char* what, int type, int index)
{
    const kv::PbOutcome o = kv::PbChangeOutcome(c, what, type, index);
    switch (o.kind) {
    case kv::PbOutcome::Refused: return kvcli::UsageError(o.text);
    case kv::PbOutcome::Database:
    case kv::PbOutcome::Failed: return kvcli::Fail(kvcli::kExitFailure, o.text);
    case kv::PbOutcome::Result: return kvcli::Fail(kvcli::ExitForResult(o.result), o.text);
    case kv::PbOutcome::Ok: break;
    }
    const std::string entry = std::string(StorageWord(type)) + " entry " + std::to_string(index);
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"storage", StorageWord(type)}, {"index", index}, {"result", what}});
    else
        std::printf("%s %s\n", what, entry.c_str());
    return kvcli::kExitOk;
}

// ---- through the owner of the modem on the session bus ----

int ListThroughOwner(kvcli::OwnerBus& bus, int only)
{
    kvcli::Json doc, entries = kvcli::Json::array();
    std::string text;
    for (int type : {kv::kPbookRuim, kv::kPbookMemory}) {
        if (only && only != type)
            continue;
        kvcli::BusMessage reply;
        if (const int st = bus.Call("ListPhonebook", kvcli::kBusCallMs * 6, reply, "s", StorageWord(type));
            st != kvcli::kExitOk)
            return st;
        if (sd_bus_message_enter_container(reply.get(), 'a', "(suss)") < 0)
            return kvcli::Fail(kvcli::kExitFailure, "the owner of the modem sent a phonebook that cannot be read");
        const char *storage = nullptr, *number = nullptr, *name = nullptr;
        uint32_t index = 0;
        while (sd_bus_message_read(reply.get(), "(suss)", &storage, &index, &number, &name) > 0) {
            entries.push_back({{"storage", StorageWord(type)},
                               {"index", int(index)},
                               {"number", kvcli::Utf8Text(number ? number : "")},
                               {"name", kvcli::Utf8Text(name ? name : "")}});
            text += std::string(StorageWord(type)) + "\t" + std::to_string(index) + "\t"
                    + kvcli::Shown(number ? number : "") + "\t" + kvcli::Shown(kvcli::Utf8Text(name ? name : "")) + "\n";
        }
        int32_t used = -1, capacity = -1;
        if (sd_bus_message_exit_container(reply.get()) < 0 || sd_bus_message_read(reply.get(), "ii", &used, &capacity) < 0)
            return kvcli::Fail(kvcli::kExitFailure, "the owner of the modem sent a phonebook that cannot be read");
        doc[StorageWord(type)] = {{"used", used}, {"capacity", capacity}};
    }
    if (kvcli::JsonMode()) {
        doc["entries"] = entries;
        kvcli::PrintJson(doc);
    } else {
        std::fputs(text.c_str(), stdout);
    }
    return kvcli::kExitOk;
}

int Done(const char* what, int type, int index)
{
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"storage", StorageWord(type)}, {"index", index}, {"result", what}});
    else
        std::printf("%s %s entry %d\n", what, StorageWord(type), index);
    return kvcli::kExitOk;
}

int AddThroughOwner(kvcli::OwnerBus& bus, int type, int index, const std::string& name, const std::string& number)
{
    kvcli::BusMessage reply;
    if (const int st = bus.Call("AddPhonebookEntry", kvcli::kBusCallMs * 3, reply, "siss", StorageWord(type),
                                int32_t(index ? index : -1), name.c_str(), number.c_str());
        st != kvcli::kExitOk)
        return st;
    uint32_t added = 0;
    if (sd_bus_message_read(reply.get(), "u", &added) < 0)
        return kvcli::Fail(kvcli::kExitFailure, "the owner of the modem did not say where it stored the entry");
    return Done("stored", type, int(added));
}

int Add(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    const int type = StorageType(args[1]);
    long long index = 0;
    size_t i = 2;
    if (args[i] == "--index") {
        if (i + 1 >= args.size())
            return kvcli::UsageError("--index needs a number");
        const auto v = kvcli::NumberArg("--index", args[i + 1], 1, 0xFFFF);
        if (!v)
            return kvcli::kExitUsage;
        index = *v;
        i += 2;
    }
    if (!type || args.size() != i + 2)
        return kvcli::UsageError(kUsage);
    const std::string& name = args[i];
    const std::string& number = args[i + 1];
    // The limits known before the modem is asked: its name field is 65
    // bytes unless it says otherwise.
    if (const std::string why = NameProblem(name, type, 65); !why.empty())
        return kvcli::UsageError("NAME: " + why);
    if (const std::string why = kvcli::DialProblem(number, NumberRules(type)); !why.empty())
        return kvcli::UsageError("NUMBER: " + why);
    if (auto bus = kvcli::OwnerBus::Find())
        return AddThroughOwner(*bus, type, int(index), name, number);

    int status = kvcli::kExitOk;
    auto s = kvcli::OpenSession(opts, true, status);
    if (!s)
        return status;
    if (const std::string why = NameProblem(name, type, s->Host().State().m_wPbLen.load()); !why.empty())
        return kvcli::UsageError("NAME: " + why);
    const int capacity = Capacity(*s, type);
    if (index == 0) {
        int free = 0;
        std::string error;
        if (!FreeIndex(*s, type, free, error))
            return kvcli::Fail(kvcli::kExitFailure, "database error while looking for a free index: "
                                                         + kvcli::Shown(error) + " (give --index N)");
        if (capacity > 0 && free > capacity)
            return kvcli::Fail(kvcli::kExitFailure, std::string("the ") + StorageWord(type) + " phonebook is full ("
                                                         + std::to_string(capacity) + " entries)");
        index = free;
    } else if (capacity > 0 && index > capacity) {
        return kvcli::UsageError("--index: " + std::to_string(index) + " is beyond the " + StorageWord(type)
                                 + " phonebook's " + std::to_string(capacity) + " entries");
    }
    const auto c = s->Pbook().WriteEntry(type, int(index), name, number);
    return Report(c, "stored", type, int(index));
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
        if (auto bus = kvcli::OwnerBus::Find())
            return ListThroughOwner(*bus, only);
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, true, status);
        return s ? List(*s, only) : status;
    }
    if (sub == "add" && args.size() >= 4)
        return Add(opts, args);
    if (sub == "search" && args.size() >= 3)
        return Search(args);
    if (sub == "modify" && args.size() == 5) {
        const int type = StorageType(args[1]);
        if (!type)
            return kvcli::UsageError(kUsage);
        const auto index = kvcli::NumberArg("INDEX", args[2], 1, 0xFFFF);
        if (!index)
            return kvcli::kExitUsage;
        if (const std::string why = NameProblem(args[3], type, 65); !why.empty())
            return kvcli::UsageError("NAME: " + why);
        if (const std::string why = kvcli::DialProblem(args[4], NumberRules(type)); !why.empty())
            return kvcli::UsageError("NUMBER: " + why);
        if (auto bus = kvcli::OwnerBus::Find()) {
            kvcli::BusMessage reply;
            const int st = bus->Call("ModifyPhonebookEntry", kvcli::kBusCallMs * 3, reply, "suss", StorageWord(type),
                                     uint32_t(*index), args[3].c_str(), args[4].c_str());
            return st != kvcli::kExitOk ? st : Done("changed", type, int(*index));
        }
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, true, status);
        if (!s)
            return status;
        if (const std::string why = NameProblem(args[3], type, s->Host().State().m_wPbLen.load()); !why.empty())
            return kvcli::UsageError("NAME: " + why);
        const auto c = s->Pbook().ModifyEntry(type, int(*index), args[3], args[4]);
        if (c.refusal == "no such entry")
            return kvcli::Fail(kvcli::kExitFailure, std::string("no ") + StorageWord(type) + " entry "
                                                         + std::to_string(*index) + " (pb add stores a new one)");
        return Report(c, "changed", type, int(*index));
    }
    if (sub == "delete" && args.size() == 3) {
        const int type = StorageType(args[1]);
        if (!type)
            return kvcli::UsageError(kUsage);
        const auto index = kvcli::NumberArg("INDEX", args[2], 1, 0xFFFF);
        if (!index)
            return kvcli::kExitUsage;
        if (auto bus = kvcli::OwnerBus::Find()) {
            kvcli::BusMessage reply;
            const int st = bus->Call("DeletePhonebookEntry", kvcli::kBusCallMs * 3, reply, "su", StorageWord(type),
                                     uint32_t(*index));
            return st != kvcli::kExitOk ? st : Done("deleted", type, int(*index));
        }
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, true, status);
        if (!s)
            return status;
        const int capacity = Capacity(*s, type);
        if (capacity > 0 && *index > capacity)
            return kvcli::UsageError("INDEX: " + std::to_string(*index) + " is beyond the " + StorageWord(type)
                                     + " phonebook's " + std::to_string(capacity) + " entries");
        return Report(s->Pbook().DeleteEntry(type, int(*index)), "deleted", type, int(*index));
    }
    return kvcli::UsageError(kUsage);
}

} // namespace

KV_CLI_COMMAND("pb", "pb list [memory|ruim] | pb search memory|ruim [--column all|index|name|phone] TEXT | pb add memory|ruim [--index N] NAME NUMBER | pb modify memory|ruim INDEX NAME NUMBER | pb delete memory|ruim INDEX",
               "list the phonebooks read from the modem, search the local mirror (TEXT matched literally),\n"
               "      add an entry (the first free index unless given), change one (deleted and written again;\n"
               "      the old entry is written back when the new one is refused) or delete one, on the modem\n"
               "      and in the local mirror. NUMBER: digits, *, #, a leading +,\n"
               "      the pause p; at most 30 characters (memory) or 20 (ruim). NAME: not empty, at most 64\n"
               "      bytes (memory) or the card's name field less one (ruim; 30 and fewer characters when\n"
               "      not plain ASCII). N and INDEX: from 1 to the phonebook's capacity",
               RunPb,
               "  pb list:   {\"ruim\": {\"used\": N, \"capacity\": N}, \"memory\": {...},\n"
               "              \"entries\": [{\"storage\": \"ruim\"|\"memory\", \"index\": N, \"number\": TEXT,\n"
               "                           \"name\": TEXT}]}   (only the phonebook asked for, if one was)\n"
               "  pb search: {\"entries\": [...as pb list...]}\n"
               "  pb add / modify / delete: {\"storage\": \"ruim\"|\"memory\", \"index\": N,\n"
               "              \"result\": \"stored\"|\"changed\"|\"deleted\"}");
