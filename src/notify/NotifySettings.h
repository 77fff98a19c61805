// Whether desktop notifications are sent: our own setting in korvianet.ini,
// section "notifications", key "num" (0 off; missing or anything else on).
#pragma once

namespace kvnotify {

bool NotificationsOn();
// False when the settings file cannot be written.
bool SetNotificationsOn(bool on);

} // namespace kvnotify
