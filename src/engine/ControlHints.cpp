#include "engine/ControlHints.h"

#include "engine/DmCodes.h"
#include "host/HostIds.h"

namespace kv {

bool EngineHasNoModem(const ModemState& st)
{
    const uint16_t s = st.m_nPortState.load();
    return s == DM_STOPPED || s == DM_END_WORK || s == DM_DEVICE_NULL;
}

std::string WhyControlUnavailable(int controlId, const ModemState& st)
{
    // Closing the window and leaving for the tray never wait for the modem.
    if (controlId == IDC_EXIT || controlId == IDC_MINIMIZE)
        return hint::kNotNow;
    if (EngineHasNoModem(st))
        return hint::kNoModem;
    // The start-up chain's own commands (0x8001..0x800F, the parked engine
    // aside) or its phase: the controls wait for it.
    const uint16_t s = st.m_nPortState.load();
    if (st.m_wUiPhase.load() == UI_PHASE_STARTUP || (s >= DM_GET_SERVICE && s <= 0x800F && s != DM_PARKED))
        return hint::kStarting;
    const uint8_t cf = st.m_ucCardFlags.load();
    if (cf & CARDF_PIN_CANCELLED)
        return hint::kNoPin;
    if (cf & CARDF_NO_CARD)
        return hint::kNoCard;
    if (cf != 0)
        return hint::kCardBusy;
    if (controlId == IDC_NET_DISCONNECT)
        return hint::kNotConnected;
    return hint::kNotNow;
}

} // namespace kv
