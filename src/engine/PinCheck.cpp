// The PIN-check state (see PinCheck.h).
#include "engine/PinCheck.h"

#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

namespace kv {

bool PinCheckOn(const ModemState& st)
{
    switch (st.m_ucPinCheck.load()) {
    case PINCHECK_ON: return true;
    case PINCHECK_OFF: return false;
    default: return GetProfileInt(kSecChvEnable, kKeyNum, 0, kIniDialer) != 0;
    }
}

void NotePinCheck(ModemState& st, bool on)
{
    st.m_ucPinCheck = on ? PINCHECK_ON : PINCHECK_OFF;
    WriteProfileString(kSecChvEnable, kKeyNum, on ? "1" : "0", kIniDialer);
}

} // namespace kv
