#include "cli/CliCalls.h"

#include "cli/CliCommand.h"

#include <cstdio>

namespace kvcli {

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

} // namespace

int PrintCalls(kv::CAppDatabase& app, const kv::CDaoQuery& query, CallLayout layout, bool sayNone)
{
    kv::CDaoVcallDb& vc = app.Vcall();
    Json calls = Json::array();
    std::string text;
    try {
        for (vc.Open(query); !vc.IsEOF(); vc.MoveNext()) {
            calls.push_back({{"index", int(vc.m_index)},
                             {"kind", KindName(vc.m_storage_type)},
                             {"kind_code", int(vc.m_storage_type)},
                             {"number", Utf8Text(vc.m_phone_number)},
                             {"name", Utf8Text(vc.m_name)},
                             {"start", Utf8Text(vc.m_time)},
                             {"duration", Utf8Text(vc.m_call_time)}});
            char head[48];
            if (layout == CallLayout::Tabbed) {
                std::snprintf(head, sizeof head, "%d\t%s\t", int(vc.m_index), KindName(vc.m_storage_type));
                text += head + Shown(vc.m_phone_number) + "\t" + Shown(Utf8Text(vc.m_name)) + "\t"
                        + Shown(vc.m_time) + "\t" + Shown(vc.m_call_time) + "\n";
            } else {
                std::snprintf(head, sizeof head, "%04d %d ", int(vc.m_index), int(vc.m_storage_type));
                text += head + Shown(vc.m_time) + " " + Shown(vc.m_call_time) + " " + Shown(vc.m_phone_number)
                        + " " + Shown(Utf8Text(vc.m_name)) + "\n";
            }
        }
        vc.Close();
    } catch (const kv::CDaoException& e) {
        if (vc.IsOpen())
            vc.Close();
        return Fail(kExitFailure, "database error: " + Shown(e.Description()));
    }
    if (JsonMode()) {
        PrintJson({{"calls", calls}});
    } else {
        std::fputs(text.c_str(), stdout);
        if (sayNone && calls.empty())
            std::printf("no calls\n");
    }
    return kExitOk;
}

} // namespace kvcli
