#include "notify/NotifySettings.h"

#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

namespace kvnotify {

bool NotificationsOn() { return kv::GetProfileInt(kv::kSecNotifications, kv::kKeyNum, 1, kv::kIniOurs) != 0; }

bool SetNotificationsOn(bool on)
{
    return kv::WriteProfileString(kv::kSecNotifications, kv::kKeyNum, on ? "1" : "0", kv::kIniOurs);
}

} // namespace kvnotify
