// The data interface's Hayes command interpreter (see DataCallModem.h).
#include "sim/DataCallModem.h"

#include <cctype>

namespace kv::sim {

namespace {

constexpr size_t kMaxLine = 256; // a longer line is thrown away and answered ERROR
constexpr const char* kManufacturer = "KORVIA";
constexpr const char* kModel = "KV-6502 (simulated)";

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The dial strings of a packet data call: CDMA's #777 and the GSM
// *99# forms (*99#, *99***<cid>#).
bool IsDataNumber(const std::string& n)
{
    if (n == "#777" || n == "*99#")
        return true;
    if (n.size() > 7 && n.compare(0, 6, "*99***") == 0 && n.back() == '#') {
        for (size_t i = 6; i + 1 < n.size(); ++i)
            if (!std::isdigit(static_cast<unsigned char>(n[i])))
                return false;
        return true;
    }
    return false;
}

size_t Digits(const std::string& s, size_t i)
{
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

} // namespace

void DataCallModem::Reset()
{
    m_echo = true;
    m_verbose = true;
}

std::string DataCallModem::ResultText(Result r) const
{
    if (!m_verbose)
        return std::to_string(int(r)) + "\r";
    switch (r) {
    case kOk: return "\r\nOK\r\n";
    case kConnect: return "\r\nCONNECT\r\n";
    case kNoCarrier: return "\r\nNO CARRIER\r\n";
    case kError: break;
    }
    return "\r\nERROR\r\n";
}

std::string DataCallModem::InfoText(const std::string& text) const
{
    return m_verbose ? "\r\n" + text + "\r\n" : text + "\r\n";
}

std::string DataCallModem::Feed(const char* data, size_t len)
{
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        if (m_inCall) {
            ++m_callBytes;
            continue;
        }
        const char c = data[i];
        if (m_echo)
            out += c;
        if (c == '\r') {
            std::string line;
            line.swap(m_line);
            out += m_overflow ? ResultText(kError) : Line(line);
            m_overflow = false;
        } else if (c == '\n') {
            // chat and terminals may send CR LF: the LF ends nothing
        } else if (c == '\b' || c == 0x7f) {
            if (!m_line.empty())
                m_line.pop_back();
        } else if (m_line.size() < kMaxLine && !m_overflow) {
            m_line += c;
        } else {
            m_line.clear();
            m_overflow = true;
        }
    }
    return out;
}

std::string DataCallModem::Line(const std::string& raw)
{
    // Blanks are not part of a command; a line without "AT" is not one.
    std::string line;
    for (char c : raw)
        if (c != ' ' && c != '\t')
            line += c;
    if (line.empty())
        return "";
    const std::string up = Upper(line);
    if (up.compare(0, 2, "AT") != 0)
        return ResultText(kError);

    std::string info;
    size_t i = 2;
    while (i < up.size()) {
        const char cmd = up[i++];
        if (cmd == 'D') {
            // The dial takes the rest of the line; T and P only choose the
            // dialling method.
            std::string number = line.substr(i);
            while (!number.empty() && (number[0] == 'T' || number[0] == 't' || number[0] == 'P' || number[0] == 'p'))
                number.erase(0, 1);
            if (!info.empty())
                return info + Dial(number);
            return Dial(number);
        }
        if (cmd == '+' || cmd == '$') {
            // An extended command runs to the next ';'.
            const size_t end = up.find(';', i);
            const std::string name = up.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? up.size() : end + 1;
            if (name == "GMI" || name == "CGMI")
                info += InfoText(kManufacturer);
            else if (name == "GMM" || name == "CGMM")
                info += InfoText(kModel);
            else if (name == "CSQ")
                info += InfoText("+CSQ: 20,99");
            else if (name.empty())
                return ResultText(kError);
            continue;
        }
        if (cmd == '&') {
            if (i >= up.size() || !std::isalpha(static_cast<unsigned char>(up[i])))
                return ResultText(kError);
            i = Digits(up, i + 1);
            continue;
        }
        if (cmd == 'S') {
            // Sn=v, Sn?: the registers are accepted and read as 0.
            const size_t reg = Digits(up, i);
            if (reg == i || reg >= up.size())
                return ResultText(kError);
            if (up[reg] == '?') {
                info += InfoText("000");
                i = reg + 1;
            } else if (up[reg] == '=') {
                i = Digits(up, reg + 1);
            } else {
                return ResultText(kError);
            }
            continue;
        }
        const size_t end = Digits(up, i);
        const std::string arg = up.substr(i, end - i);
        i = end;
        switch (cmd) {
        case 'E':
            m_echo = arg != "0";
            break;
        case 'V':
            m_verbose = arg != "0";
            break;
        case 'Z':
            Reset();
            break;
        case 'I':
            info += InfoText(std::string(kManufacturer) + " " + kModel);
            break;
        case 'H':
        case 'Q':
        case 'X':
        case 'L':
        case 'M':
            break;
        case 'O':
            // Back to a call that is not there.
            return info + ResultText(kNoCarrier);
        default:
            return ResultText(kError);
        }
    }
    return info + ResultText(kOk);
}

std::string DataCallModem::Dial(const std::string& number)
{
    if (number.empty())
        return ResultText(kError);
    if (m_failNextDial || !IsDataNumber(number)) {
        m_failNextDial = false;
        return ResultText(kNoCarrier);
    }
    m_inCall = true;
    ++m_calls;
    return ResultText(kConnect);
}

void DataCallModem::HostHungUp()
{
    m_inCall = false;
    m_line.clear();
    m_overflow = false;
    Reset();
}

std::string DataCallModem::LoseCarrier()
{
    if (!m_inCall) {
        m_failNextDial = true;
        return "";
    }
    m_inCall = false;
    return ResultText(kNoCarrier);
}

} // namespace kv::sim
