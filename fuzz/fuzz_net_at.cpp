// Feeds arbitrary bytes to the AT answer readers and the command builders:
// a cleaned answer holds only AT text and fits its buffer, the values read
// from it fit theirs, and a built command is either refused or one line
// whose quotes hold nothing but validated text.
#include "net/ApnTable.h"
#include "net/AtReply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool OneLine(const std::string& cmd)
{
    return cmd.empty()
        || (std::count(cmd.begin(), cmd.end(), '\r') == 1 && cmd.back() == '\r'
            && cmd.find('\n') == std::string::npos && std::count(cmd.begin(), cmd.end(), '"') % 2 == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string answer = kv::CleanAtAnswer(raw);
    Check(answer.size() < kv::kAtAnswerSize);
    for (unsigned char c : answer)
        Check(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7E));

    Check(kv::SignalValueOf(answer).size() < kv::kSignalValueSize);
    Check(kv::SixAfterColon(answer).size() <= 6);
    Check(kv::CardStateOf(answer).size() <= 6);
    Check(kv::SignalReadingOf(kv::SignalValueOf(answer)).size() <= 10);
    std::string line;
    if (kv::SignalLineText(answer, raw, line))
        Check(line.find("Network Signal:") != std::string::npos);
    const std::string imsi = kv::ImsiDigitsOf(answer);
    Check(imsi.empty() || (imsi.size() >= kv::kImsiMinDigits && imsi.size() <= kv::kImsiMaxDigits));
    if (const kv::ApnRow* row = kv::FindApnRow(imsi))
        Check(imsi.starts_with(row->key) && kv::IsValidApn(row->apn));

    // the input split in two as user text
    const std::string a = raw.substr(0, size / 2), b = raw.substr(size / 2);
    const std::string apnCmd = kv::BuildApnCommand(a);
    Check(OneLine(apnCmd) && apnCmd.empty() == !kv::IsValidApn(a));
    const std::string lock = kv::BuildPinLockCommand(true, a);
    Check(OneLine(lock) && lock.empty() == !kv::IsValidPin(a));
    const std::string change = kv::BuildPinChangeCommand(a, b);
    Check(OneLine(change) && change.empty() == !(kv::IsValidPin(a) && kv::IsValidPin(b)));
    return 0;
}
