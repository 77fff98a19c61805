// "config get|set": read and write a settings key, as the program does.
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "notify/NotifySettings.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "usage/UsageSettings.h"

#include <cstdio>

namespace {

int RunConfig(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    // Only the settings folder's own files: a FILE with a '/' would let a
    // script write anywhere the user can.
    if (args.size() >= 2 && (args[0] == "get" || args[0] == "set")
        && (args[1].empty() || args[1].find('/') != std::string::npos))
        return kvcli::UsageError("FILE must be a bare file name in the settings folder, e.g. teal_dialer.ini");
    if (args.size() == 4 && args[0] == "get") {
        const std::string value = kv::GetProfileString(args[2], args[3], "", 4096, args[1]);
        if (kvcli::JsonMode())
            kvcli::PrintJson({{"file", args[1]}, {"section", args[2]}, {"key", args[3]},
                              {"value", kvcli::Utf8Text(value)}});
        else
            std::printf("%s\n", kvcli::Shown(value).c_str());
        return kvcli::kExitOk;
    }
    if (args.size() == 5 && args[0] == "set") {
        if (!kv::WriteProfileString(args[2], args[3], args[4], args[1]))
            return kvcli::Fail(kvcli::kExitFailure, "cannot write " + kvcli::Shown(kv::ProfilePath(args[1])));
        return kvcli::kExitOk;
    }
    // The data plan, checked as the settings page checks it.
    if (!args.empty() && args[0] == "usage") {
        if (args.size() == 3) {
            std::string why;
            if (!kvusage::SetUsageSetting(args[1], args[2], &why))
                return why.rfind("cannot write", 0) == 0 ? kvcli::Fail(kvcli::kExitFailure, why)
                                                         : kvcli::UsageError(kvcli::ShownMessage(args[1] + ": " + why));
            return kvcli::kExitOk;
        }
        if (args.size() != 1)
            return kvcli::UsageError("usage: config usage [NAME VALUE]");
        const kvusage::UsageSettings u = kvusage::ReadUsageSettings();
        kvcli::Json doc = kvcli::Json::object();
        for (const std::string& name : kvusage::UsageSettingNames()) {
            if (kvcli::JsonMode())
                doc[name] = kvusage::UsageSettingText(u, name);
            else
                std::printf("%s: %s\n", name.c_str(), kvusage::UsageSettingText(u, name).c_str());
        }
        if (kvcli::JsonMode())
            kvcli::PrintJson(doc);
        return kvcli::kExitOk;
    }
    // The desktop notifications of the window and of "run".
    if (!args.empty() && args[0] == "notifications") {
        if (args.size() == 1) {
            const char* state = kvnotify::NotificationsOn() ? "on" : "off";
            if (kvcli::JsonMode())
                kvcli::PrintJson({{"notifications", state}});
            else
                std::printf("%s\n", state);
            return kvcli::kExitOk;
        }
        if (args.size() == 2 && (args[1] == "on" || args[1] == "off")) {
            if (!kvnotify::SetNotificationsOn(args[1] == "on"))
                return kvcli::Fail(kvcli::kExitFailure, "cannot write " + kvcli::Shown(kv::ProfilePath(kv::kIniOurs)));
            return kvcli::kExitOk;
        }
        return kvcli::UsageError("usage: config notifications [on|off]");
    }
    if (args.size() == 1 && args[0] == "dir") {
        if (kvcli::JsonMode())
            kvcli::PrintJson({{"dir", kvcli::Utf8Text(kv::SettingsDir())}});
        else
            std::printf("%s\n", kvcli::Shown(kv::SettingsDir()).c_str());
        return kvcli::kExitOk;
    }
    return kvcli::UsageError("usage: config get FILE SECTION KEY | config set FILE SECTION KEY VALUE | config dir | "
                             "config usage [NAME VALUE] | config notifications [on|off]");
}

} // namespace

KV_CLI_COMMAND("config", "config get FILE SECTION KEY | config set FILE SECTION KEY VALUE | config dir | config usage [NAME VALUE] | config notifications [on|off]",
               "read or write one settings key (FILE is e.g. teal_dialer.ini); show the settings folder;\n"
               "      show or set the data plan: cycle-day (1-28), quota-kind (off, download, upload, both),\n"
               "      quota-mb, quota-warn (percentages, e.g. 80,100), quota-hangup (on, off);\n"
               "      show or set whether desktop notifications are sent (on by default)",
               RunConfig,
               "  config get: {\"file\": TEXT, \"section\": TEXT, \"key\": TEXT, \"value\": TEXT}\n"
               "  config dir: {\"dir\": TEXT}\n"
               "  config usage: {\"cycle-day\": TEXT, \"quota-kind\": TEXT, \"quota-mb\": TEXT, \"quota-warn\": TEXT,\n"
               "                 \"quota-hangup\": TEXT}\n"
               "  config notifications: {\"notifications\": \"on\" | \"off\"}\n"
               "  config set: {\"ok\": true}");
