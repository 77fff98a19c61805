// The SMS page's shared fields and the pure conversions of the SMS engine.
#include "messaging/SmsShared.h"

#include "messaging/SmsTexts.h"

#include <algorithm>

namespace kv {

void CSmsShared::Reset()
{
    m_nMemoryCount = 0;
    m_nRuimCount = 0;
    m_nVoiceSlot = -1;
    m_nVoiceCount = 0;
    m_sendRecord = SmsOutgoing{};
    m_sendRecord.encoding = 255;
}

void CSmsShared::SetSendRecord(const std::string& destination, const std::string& callback,
                               const std::string& text)
{
    m_sendRecord = SmsOutgoing{};
    m_sendRecord.destination = destination;
    m_sendRecord.callback = callback;
    m_sendRecord.text = text;
    m_sendRecord.encoding = ChooseSmsEncoding(text);
}

int CSmsShared::VoiceCountShown() const { return std::max(0, int(m_nVoiceCount.load())); }

uint8_t ChooseSmsEncoding(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return kSmsEncodingCodePage;
    return kSmsEncodingAscii;
}

std::string ConvertSmsData(uint8_t encoding, const std::string& data)
{
    if (encoding != kSmsEncodingIa5)
        return data.substr(0, kSmsConvertBuffer);
    std::string out;
    out.reserve(std::min(data.size() * 2, kSmsConvertBuffer));
    for (char ch : data) {
        if (ch == '$')
            out += "kz";
        else if (ch == '~')
            out += ' ';
        else
            out += ch;
        if (out.size() >= kSmsConvertBuffer)
            break;
    }
    out.resize(std::min(out.size(), kSmsConvertBuffer));
    return out;
}

uint8_t StoredSmsEncoding(uint8_t encoding)
{
    return encoding == kSmsEncodingUnicode ? kSmsEncodingAscii : encoding;
}

int SmsIndicatorValue(int count, int voiceCount, bool voiceJustRemoved)
{
    if (voiceCount >= 1 && count == 1)
        return kSmsIndVoiceOne;
    if (voiceCount >= 1 && count >= 2)
        return kSmsIndVoiceMany;
    if (voiceCount <= 0 && count >= 1 && !voiceJustRemoved)
        return kSmsIndNew;
    return -1;
}

} // namespace kv
