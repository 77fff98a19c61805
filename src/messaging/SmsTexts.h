// Texts and values of the SMS engine: message boxes, notices, log names and
// the outcomes it posts to the SMS page.
#pragma once

#include <cstdint>

namespace kv::smstext {

// Message boxes (caption "Korvianet", error icon).
inline constexpr const char* kMemoryOutboxFull = "Modem's Memory is full of message in the OutBox.";
inline constexpr const char* kRuimOutboxFull = "RUIM Card's Memory is full of message in the OutBox.";
inline constexpr const char* kTextTooLong =
    "The status of the modem is in no service area.\nCannot send the message(s).";
// The timed notice of a full message store.
inline constexpr const char* kStorageFull =
    "Not enough space to store new message\nPlease delete the old messege.";

// Sub-request names logged first.
inline constexpr const char* kLogSend = "Dm Sub DM_SMS_SEND: ";
inline constexpr const char* kLogRead = "Dm Sub DM_SMS_READ:";
inline constexpr const char* kLogSetTag = "Dm Sub DM_SMS_SETTAG:";
inline constexpr const char* kLogWrite = "Dm Sub DM_SMS_WRITE: ";
inline constexpr const char* kLogRemoveAll = "Dm Sub DM_SMS_REMOVEALL: //";
inline constexpr const char* kLogVoiceNum = "Dm Sub DM_SMS_VOICENUM: ";
inline constexpr const char* kLogRemoveAt = "Dm Sub DM_SMS_REMOVEAT:";
inline constexpr const char* kLogGetVoice = "Dm Sub DM_SMS_GETVOICE:";

} // namespace kv::smstext

namespace kv {

// Outcomes in lParam of UM_SMS_SEND_STATUS (0, outcome).
inline constexpr intptr_t kSmsOutcomeDelivered = 0;
inline constexpr intptr_t kSmsOutcomeBusy = 402;
inline constexpr intptr_t kSmsOutcomeRefused = 0x7FF0;

// The last call state of an idle modem: the only state a message is sent in.
inline constexpr uint8_t kCallStateIdle = 0x82;

// SMS indicator values (indicator 1043).
inline constexpr int kSmsIndNone = 0, kSmsIndNew = 1, kSmsIndVoiceOne = 2, kSmsIndVoiceMany = 3;

// SMS page state words the engine looks at.
inline constexpr uint16_t kSmsPageHome = 0;
inline constexpr uint16_t kSmsPageInboxList = 0x201;

// Remove-all list kinds.
inline constexpr uint32_t kSmsListInbox = 1, kSmsListOutbox = 2;

// Bytes of the conversion buffer a message body is converted into.
inline constexpr size_t kSmsConvertBuffer = 512;

} // namespace kv
