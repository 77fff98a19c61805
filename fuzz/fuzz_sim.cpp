// The simulated modem's request handlers over arbitrary input: a script of
// DIAG requests (raw, or a known command and sub-command with a fuzzed
// body of the request's length), AT command lines, scenario steps and
// clock jumps, all against one model. Besides memory errors it checks what
// a host relies on: an answer carries the request's command byte (or is a
// standard error reply), a vendor answer echoes its sub-command, and a
// successful vendor answer is long enough for the program's reader.
#include "link/DiagCatalog.h"
#include "sim/ModemModel.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kv;
using namespace kv::sim;

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t Byte() { return n ? (--n, *p++) : 0; }
    std::vector<uint8_t> Bytes(size_t want)
    {
        const size_t k = want < n ? want : n;
        std::vector<uint8_t> v(p, p + k);
        p += k;
        n -= k;
        return v;
    }
};

constexpr uint8_t kCommands[] = {DIAG_VERNO_F,  DIAG_STATUS_F,   DIAG_HS_KEY_REQ, DIAG_ORIG_REQ,
                                 DIAG_EXT_REQ,  KVA_CMD_GENERAL, KVA_CMD_SMS,     KVA_CMD_PBOOK,
                                 KVA_CMD_RUIM};
constexpr const char* kAt[] = {"AT+CPIN?", "AT+CSQ", "AT^SYSINFO", "AT+CGDCONT?", "AT+CIMI",
                               "AT+CGMR", "AT^RESET", "AT+CPIN=", "AT+CGDCONT=1,\"IP\",\"",
                               "ATI", "AT+CFUN=", "AT"};

bool IsVendor(uint8_t c)
{
    return c == KVA_CMD_GENERAL || c == KVA_CMD_SMS || c == KVA_CMD_PBOOK || c == KVA_CMD_RUIM;
}

void CheckReply(const std::vector<uint8_t>& req, const std::vector<uint8_t>& reply)
{
    if (reply.empty())
        return;
    const uint8_t c = reply[0];
    if (c == kDiagBadCmd || c == kDiagBadParm || c == kDiagBadLen)
        return;
    if (c != req[0])
        std::abort(); // an answer to some other request
    if (!IsVendor(c) || req.size() < kVendorHeaderLength)
        return;
    if (reply.size() < kVendorReplyHeader)
        std::abort(); // no room for the sub-command and result
    const uint16_t sub = GetU16(req.data(), kVendorSubOffset);
    if (GetU16(reply.data(), kVendorSubOffset) != sub)
        std::abort();
    const DiagRequestInfo* info = FindRequestInfo(c, sub);
    if (info && GetU16(reply.data(), kVendorResultOffset) == 0 && reply.size() < info->minReplyLength)
        std::abort(); // "success" the program's reader would refuse
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    ModemModel model;
    int64_t now = 1000;
    if (in.Byte() & 1)
        model.SeedDemo(now);
    while (in.n > 0) {
        const uint8_t op = in.Byte();
        switch (op % 6) {
        case 0: { // raw request bytes
            std::vector<uint8_t> req = in.Bytes(in.Byte());
            if (req.empty())
                break;
            CheckReply(req, model.HandleDiag(req.data(), req.size(), now));
            break;
        }
        case 1: { // a known command, its sub-command and a fuzzed body
            std::vector<uint8_t> req{kCommands[in.Byte() % sizeof kCommands]};
            if (IsVendor(req[0])) {
                req.push_back(in.Byte() % 20);
                req.push_back(0);
            }
            const uint16_t sub = IsVendor(req[0]) ? req[1] : 0;
            const DiagRequestInfo* info = FindRequestInfo(req[0], sub);
            size_t len = info && info->requestLength > 0 ? size_t(info->requestLength) : in.Byte();
            if (in.Byte() % 8 == 0)
                len = in.Byte(); // sometimes the wrong length
            std::vector<uint8_t> body = in.Bytes(len > req.size() ? len - req.size() : 0);
            req.insert(req.end(), body.begin(), body.end());
            CheckReply(req, model.HandleDiag(req.data(), req.size(), now));
            break;
        }
        case 2: { // an AT line
            std::string line = kAt[in.Byte() % (sizeof kAt / sizeof kAt[0])];
            const std::vector<uint8_t> tail = in.Bytes(in.Byte() % 48);
            line.append(tail.begin(), tail.end());
            (void)model.HandleAt(line, now);
            break;
        }
        case 3: // time passes
            now += int64_t(in.Byte()) * 50;
            model.Advance(now);
            break;
        case 4: { // the network side
            const uint8_t what = in.Byte();
            const std::vector<uint8_t> raw = in.Bytes(in.Byte() % 40);
            const std::string text(raw.begin(), raw.end());
            switch (what % 8) {
            case 0: model.IncomingCall(text, "Caller", uint8_t(what >> 4) % 3, now); break;
            case 1: model.RemoteAnswer(now); break;
            case 2: model.RemoteHangup(now); break;
            case 3: model.ReceiveSms("6195550100", text, what & 0x10 ? 5 : 6, now); break;
            case 4: model.SetVoiceMail(what >> 3, now); break;
            case 5: model.SetCardAbsent(); break;
            case 6: model.SetPinLocked(what & 0x10); break;
            default: model.SetCardPresent(); break;
            }
            break;
        }
        default: // the card and the stores change under the host
            if (op & 0x40)
                model.SetPukLocked();
            else if (op & 0x80)
                model.Clear();
            else
                model.longStatus = !model.longStatus;
            break;
        }
    }
    (void)model.Describe();
    return 0;
}
