// DM command codes and sub-request results. One 16-bit code space serves as
// the engine's command queue entries, its state word (m_nPortState) and the
// request codes of DmSubRequest.
#pragma once

#include <cstdint>

namespace kv {

enum DmCode : uint16_t {
    DM_GET_INFO = 0x0001,
    DM_IN_CALL = 0x0002,
    DM_OUT_CALL = 0x0003,
    DM_KEY_PRESS = 0x0004,
    DM_STOP_WORK = 0x0005,
    DM_EAR_LEVEL = 0x0006,
    DM_UI_ENABLE = 0x0009,
    DM_SMS_SEND = 0x0010,
    DM_SMS_READ = 0x0011,
    DM_SMS_LIST = 0x0012,
    DM_SMS_SETTAG = 0x0013,
    DM_SMS_WRITE = 0x0014,
    DM_SMS_REMOVEAT = 0x0015,
    DM_SMS_REMOVEALL = 0x0016,
    DM_SMS_INSPECTED = 0x0017,
    DM_SMS_VOICENUM = 0x0018,
    DM_SMS_GETVOICE = 0x0019,
    DM_SMS_INFO2 = 0x001A,
    DM_PREF_CM_SYS_SEL = 0x0050,
    DM_PREF_HDR_DRC = 0x0052,
    DM_PREF_1X_DRC = 0x0054,
    DM_PBOOK_READ = 0x0090,
    DM_PBOOK_WRITE = 0x0091,
    DM_PBOOK_DEL = 0x0092,
    DM_PBOOK_DELALL = 0x0093,
    DM_PBOOK_INFO = 0x0094,
    DM_GET_SERVICE = 0x8001,
    DM_PARKED = 0x8005,
    DM_PREF_READ = 0x8007,
    DM_RUIM_STATUS = 0x800A,
    DM_RUIM_VERIFY = 0x800B,
    DM_RUIM_UNBLOCK = 0x800E,
    DM_STOPPED = 0xFFF0,
    DM_END_WORK = 0xFFF1,
    DM_DEVICE_NULL = 0xFFF2,
};

// Results of DmSubRequest and DmResetFunc other than the request's own code.
enum DmResult : uint16_t {
    DM_RESULT_EXCHANGE_FAILED = 0x7001, // the DIAG transaction failed
    DM_RESULT_MODEM_REFUSED = 0x7002,   // the modem answered with a non-zero result
    DM_RESULT_DB_ERROR = 0x7003,        // a database error interrupted the work
    DM_RESULT_NO_MESSAGES = 0x7004,     // a list reply named no messages
    DM_RESULT_BUSY = 0x7005,            // another sub-request of this thread is still under way: not now
    DM_RESULT_RESET_DONE = 0x7008,      // DmResetFunc ran its exchange
    DM_RESULT_BAD_ARGUMENT = 0x700A,    // missing argument, storage code or stored value
    DM_RESULT_ENGINE_STOPPED = 0x7FF0,  // the engine ended while the caller waited
};

// UI phase values (ModemState::m_wUiPhase).
enum : uint16_t {
    UI_PHASE_IDLE = 0xFFF0,
    UI_PHASE_STARTUP = 0x7FF3,
    UI_PHASE_INCOMING = 2,
    UI_PHASE_OUTGOING = 3,
};

// Device kinds found by port discovery: NV items are read only from kind 2.
enum : int { DEVICE_KIND_NONE = 0, DEVICE_KIND_NV = 2 };

} // namespace kv
