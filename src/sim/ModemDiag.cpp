// The simulated modem's DIAG answers: one unframed request in, one unframed
// reply out, built with the catalog's record encoders so that the offsets
// have one definition. A request the modem does not know gets the standard
// "bad command" reply, a request too short for its fields "bad length",
// exactly what a real modem sends back and what never matches a request.
#include "sim/ModemModel.h"

#include "link/DiagCatalog.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"

#include <algorithm>
#include <cstring>

namespace kv::sim {

namespace {

std::vector<uint8_t> ErrorReply(uint8_t code, const uint8_t* req, size_t len)
{
    std::vector<uint8_t> out;
    out.reserve(1 + len);
    out.push_back(code);
    out.insert(out.end(), req, req + std::min<size_t>(len, 64));
    return out;
}

// A code field: its characters up to the first 0xFF or zero, at most 8.
std::string CodeField(const uint8_t* p)
{
    std::string s;
    for (size_t i = 0; i < ruim_layout::kCodeLen && p[i] != ruim_layout::kCodeFill && p[i] != 0; ++i)
        s += char(p[i]);
    return s;
}

// Card status words of ISO/IEC 7816.
constexpr uint8_t kSwOk = 0x90;
constexpr uint8_t kSwChv = 0x98;
constexpr uint8_t kSwChvWrong = 0x04;      // wrong code, attempts left
constexpr uint8_t kSwChvContradiction = 0x08; // e.g. verify while the PIN is disabled
constexpr uint8_t kSwChvBlocked = 0x40;
constexpr uint8_t kSwTechnical = 0x6F;

// Card states and PIN states of the card status reply.
constexpr uint8_t kUimNoCard = 0, kUimInvalid = 1, kUimValid = 2;
constexpr uint8_t kLockNone = 0, kLockDisabled = 1, kLockEnabled = 2, kLockVerified = 3,
                  kLockBlocked = 4;

uint8_t LockState(const SimCard& c)
{
    if (c.state != CardState::Valid)
        return kLockNone;
    if (!c.pinEnabled)
        return kLockDisabled;
    if (c.Blocked())
        return kLockBlocked;
    return c.pinVerified ? kLockVerified : kLockEnabled;
}

// NV read status of an item the modem does not keep.
constexpr uint8_t kNvNotActive = 5;
constexpr size_t kNvStatus = 5;

} // namespace

std::vector<uint8_t> ModemModel::HandleDiag(const uint8_t* req, size_t len, int64_t nowMs)
{
    if (req == nullptr || len == 0)
        return {};
    Advance(nowMs);
    const uint8_t cmd = req[0];
    const bool vendor = cmd == KVA_CMD_GENERAL || cmd == KVA_CMD_SMS || cmd == KVA_CMD_PBOOK
        || cmd == KVA_CMD_RUIM;
    if (vendor && len < kVendorHeaderLength)
        return ErrorReply(kDiagBadLen, req, len);
    const uint16_t sub = vendor ? GetU16(req, kVendorSubOffset) : 0;
    const DiagRequestInfo* info = FindRequestInfo(cmd, sub);
    if (info && info->requestLength > 0 && len < size_t(info->requestLength))
        return ErrorReply(kDiagBadLen, req, len);

    switch (cmd) {
    case DIAG_VERNO_F:
        return EncodeVersionReply(VersionReply{buildDate, swVersion, hwVersion});
    case DIAG_STATUS_F: {
        EsnMinReply r;
        r.esn = esn;
        MinFromMdn(r.min1, r.min2);
        return EncodeEsnMinReply(r);
    }
    case DIAG_HS_KEY_REQ:
        if (len < 3)
            return ErrorReply(kDiagBadLen, req, len);
        call.Key(req[2], nowMs);
        return std::vector<uint8_t>(req, req + 3);
    case DIAG_ORIG_REQ: {
        if (len < size_t(orig_layout::kLength))
            return ErrorReply(kDiagBadLen, req, len);
        size_t n = std::min<size_t>(req[orig_layout::kDigitCount], orig_layout::kDigitsLen);
        std::string digits(reinterpret_cast<const char*>(req + orig_layout::kDigits), n);
        digits.resize(std::strlen(digits.c_str()));
        call.Originate(digits, inService && prefMode != 10, nowMs);
        return std::vector<uint8_t>(req, req + orig_layout::kLength);
    }
    case DIAG_EXT_REQ:
        return NvRead(req, len);
    case KVA_CMD_GENERAL:
        return General(req, len, sub, nowMs);
    case KVA_CMD_RUIM:
        return Ruim(req, len, sub);
    case KVA_CMD_SMS:
        return Sms(req, len, sub, nowMs);
    case KVA_CMD_PBOOK:
        return Pbook(req, len, sub);
    default:
        return ErrorReply(kDiagBadCmd, req, len);
    }
}

std::vector<uint8_t> ModemModel::NvRead(const uint8_t* req, size_t len)
{
    if (len < nv_layout::kItem + 2)
        return ErrorReply(kDiagBadLen, req, len);
    if (GetU16(req, nv_layout::kWrapped) != DIAG_NV_READ_REQ)
        return ErrorReply(kDiagBadCmd, req, len);
    const uint16_t item = GetU16(req, nv_layout::kItem);
    std::vector<uint8_t> data;
    switch (item) {
    case NV_PREF_MODE_I:
        data = {0, uint8_t(prefMode), uint8_t(prefMode >> 8)}; // NAM, mode
        break;
    case NV_HYBRID_PREF_I:
        data = {hybridPref};
        break;
    case NV_DIR_NUMBER_I: {
        std::string digits = mdn.substr(0, nv_layout::kDirDigitsMax);
        data.assign(2 + digits.size(), 0); // NAM, length, digits
        data[1] = uint8_t(digits.size());
        std::copy(digits.begin(), digits.end(), data.begin() + 2);
        break;
    }
    default: {
        auto out = EncodeNvReadReply(item, {});
        out[kNvStatus] = kNvNotActive;
        return out;
    }
    }
    return EncodeNvReadReply(item, data);
}

std::vector<uint8_t> ModemModel::StatusRecord()
{
    kv::StatusRecord s;
    const bool evdoOnly = prefMode == 10;
    const bool hybrid = !evdoOnly && prefMode != 9 && hybridPref != 0;
    s.sysMode = !inService ? sys_mode::kNone : evdoOnly ? sys_mode::kEvdo : sys_mode::k1x;
    s.hybridPref = hybrid ? 1 : 0;
    s.state = call.State(inService);
    s.soMode = s.state == kCallConv ? 3 : 0;
    s.currChan = currChan;
    s.bandClass = bandClass;
    const int32_t none = 99; // the "no signal" value
    int32_t r1x = inService && !evdoOnly ? rssi1x : none;
    int32_t rdo = inService && (evdoOnly || hybrid) ? rssiEvdo : none;
    if (longStatus) {
        s.rx1xRssi = r1x;
        s.rxHdrRssi = rdo;
    } else {
        // The short record carries the magnitude of the dBm value.
        s.rx1xRssi = r1x == none ? none : std::clamp(-r1x, 0, 255);
        s.rxHdrRssi = rdo == none ? none : std::clamp(-rdo, 0, 255);
    }
    s.curSysmode = !inService ? 0 : (evdoOnly || hybrid) ? 4 : 2;
    s.incomingCallIndicate = call.TakeIndication();
    call.StatusReported();
    s.newSmsCnt = NewSmsCount();
    s.roaming = roaming;
    s.smsFull = (storageFull || memory.FreeSlot() < 0) ? 1 : 0;
    s.rxDiversity = rxDiversity;
    return EncodeStatusRecord(s, longStatus);
}

std::vector<uint8_t> ModemModel::CallerId() const
{
    CallerIdRecord r;
    const CallParty& p = call.LastCaller();
    r.presentation = p.presentation;
    if (p.presentation != kPresentRestricted && p.presentation != kPresentUnavailable) {
        r.number = p.number;
        r.name = p.name;
    }
    if (const CallParty* w = call.Waiting()) {
        r.secondNumber = w->presentation == kPresentAllowed ? w->number : "";
        r.secondName = w->presentation == kPresentAllowed ? w->name : "";
        r.secondIndication = 1;
        r.secondIndication2 = 1;
        r.secondPresentation = w->presentation;
    }
    return EncodeCallerIdRecord(r);
}

std::vector<uint8_t> ModemModel::General(const uint8_t* req, size_t len, uint16_t sub, int64_t)
{
    switch (sub) {
    case KVA_SUB_SERVICE: {
        ServiceReply r;
        r.serviceMode = uint8_t((longStatus ? kServiceModeLongStatus : 0) | 0x02);
        r.rxDiversity = rxDiversity;
        r.asciiMax = asciiMax;
        r.unicodeMax = unicodeMax;
        r.callbackMax = callbackMax;
        r.inCallVolume = inCallVolume;
        r.idleVolume = idleVolume;
        return EncodeServiceReply(r);
    }
    case KVA_SUB_STATUS:
        return StatusRecord();
    case KVA_SUB_CALLER_ID:
        return CallerId();
    case KVA_SUB_CM_SYS_SEL: {
        uint16_t mode = GetU16(req, 3);
        uint16_t hyb = GetU16(req, 5);
        if (mode == 0xFFFF || hyb > 1)
            return EncodeVendorResultReply(KVA_CMD_GENERAL, sub, kResBadParam);
        prefMode = mode;
        hybridPref = uint8_t(hyb);
        return EncodeVendorResultReply(KVA_CMD_GENERAL, sub, kResOk);
    }
    case KVA_SUB_1X_DRC:
        return Encode1xDrcReply(inService ? rate1x : 0);
    case KVA_SUB_HDR_DRC:
        return EncodeHdrDrcReply(inService ? hdrRates : std::array<uint8_t, 8>{});
    case KVA_SUB_EAR_LEVEL: {
        uint8_t in = req[3], idle = req[4];
        if (in >= 1 && in <= 4)
            inCallVolume = in;
        if (idle >= 1 && idle <= 4)
            idleVolume = idle;
        return EncodeVendorResultReply(KVA_CMD_GENERAL, sub, kResOk);
    }
    case KVA_SUB_INF_VER:
        return EncodeInfVerReply(InfVerReply{infVerMajor, infVerMinor, modemVersion});
    case KVA_SUB_BATT_INFO: {
        BattInfo b;
        b.chgVal = chgVal;
        b.battVal = battVal;
        b.bar = battBars;
        return EncodeBattInfo(b);
    }
    case KVA_SUB_GET_INFO: {
        auto out = EncodeGetInfoReply(infoText);
        out[5] = 1; // information type: the product text
        return out;
    }
    default:
        return ErrorReply(kDiagBadParm, req, len);
    }
}

std::vector<uint8_t> ModemModel::Ruim(const uint8_t* req, size_t len, uint16_t sub)
{
    if (sub == KVA_SUB_RUIM_STATUS) {
        RuimStatus s;
        s.connected = card.state == CardState::Valid ? 1 : 0;
        s.uimState = card.state == CardState::Valid ? kUimValid
            : card.state == CardState::Invalid      ? kUimInvalid
                                                    : kUimNoCard;
        s.lockState = LockState(card);
        s.retryCnt = card.state != CardState::Valid ? 0 : card.Blocked() ? card.pukRetries : card.pinRetries;
        return EncodeRuimStatus(s);
    }
    if (sub != KVA_SUB_RUIM_VERIFY_CHV && sub != KVA_SUB_RUIM_UNBLOCK_CHV)
        return ErrorReply(kDiagBadParm, req, len);

    RuimChvReply r;
    if (card.state != CardState::Valid) {
        r.sw1 = kSwTechnical;
        r.sw2 = 0;
        return EncodeRuimChvReply(sub, r);
    }
    const std::string code = CodeField(req + ruim_layout::kCode1);
    if (sub == KVA_SUB_RUIM_VERIFY_CHV) {
        if (!card.pinEnabled) {
            r.sw1 = kSwChv;
            r.sw2 = kSwChvContradiction;
        } else if (card.Blocked()) {
            r.sw1 = kSwChv;
            r.sw2 = kSwChvBlocked;
        } else if (code == card.pin) {
            card.pinVerified = true;
            card.pinRetries = SimCard::kPinTries;
            r.sw1 = kSwOk;
        } else {
            --card.pinRetries;
            card.pinVerified = false;
            r.sw1 = kSwChv;
            r.sw2 = card.pinRetries == 0 ? kSwChvBlocked : kSwChvWrong;
        }
        r.numOfRetries = card.pinRetries;
    } else {
        const std::string newPin = CodeField(req + ruim_layout::kCode2);
        if (card.pukRetries == 0) {
            r.sw1 = kSwChv;
            r.sw2 = kSwChvBlocked;
        } else if (code == card.puk && !newPin.empty()) {
            card.pin = newPin;
            card.pinEnabled = true;
            card.pinVerified = true;
            card.pinRetries = SimCard::kPinTries;
            card.pukRetries = SimCard::kPukTries;
            r.sw1 = kSwOk;
        } else {
            --card.pukRetries;
            r.sw1 = kSwChv;
            r.sw2 = card.pukRetries == 0 ? kSwChvBlocked : kSwChvWrong;
        }
        r.numOfRetries = card.pukRetries;
    }
    r.status = LockState(card);
    return EncodeRuimChvReply(sub, r);
}

std::vector<uint8_t> ModemModel::Sms(const uint8_t* req, size_t len, uint16_t sub, int64_t nowMs)
{
    auto result = [&](uint16_t res) { return EncodeVendorResultReply(KVA_CMD_SMS, sub, res); };
    // The store a slot request names, checking that the card is readable.
    auto storeAt = [&](uint32_t storage, uint16_t& err) -> SmsStore* {
        SmsStore* s = Store(storage);
        err = s == nullptr ? kResBadParam : (s == &ruim && !card.Usable()) ? kResCardAbsent : kResOk;
        return err == kResOk ? s : nullptr;
    };

    switch (sub) {
    case KVA_SUB_SMS_SEND: {
        SmsOutgoing m;
        if (!ParseSmsSendReq(req, len, m))
            return ErrorReply(kDiagBadLen, req, len);
        if (!inService || prefMode == 10)
            return result(kResNoService);
        sent.push_back(SentSms{m.destination, m.callback, m.encoding, m.text});
        sendPending = true;
        closeFlag = 0;
        report = nextReport;
        reportAt = nowMs + reportDelayMs;
        return result(kResOk);
    }
    case KVA_SUB_SMS_WRITE: {
        SmsOutgoing m;
        uint32_t storage = 0, tag = 0;
        if (!ParseSmsWriteReq(req, len, m, storage, tag))
            return ErrorReply(kDiagBadLen, req, len);
        uint16_t err;
        SmsStore* s = storeAt(storage, err);
        if (!s)
            return result(err);
        int slot = s->FreeSlot();
        if (slot < 0)
            return result(s == &memory ? kResMemoryFull : kResRuimFull);
        SimSms msg;
        msg.slot = uint16_t(slot);
        msg.tag = (tag == kTagOutbox || tag == kTagOutboxSent) ? tag : kTagOutbox;
        msg.time = CdmaTimeNow();
        msg.encoding = m.encoding;
        msg.number = m.destination;
        msg.callback = m.callback;
        msg.text = m.text;
        s->slots[msg.slot] = msg;
        auto out = result(kResOk);
        out.resize(9, 0);
        PutU32(out.data(), kVendorDataOffset, uint32_t(slot)); // where it went
        return out;
    }
    case KVA_SUB_SMS_REMOVEAT:
    case KVA_SUB_SMS_REMOVEALL: {
        uint16_t err;
        SmsStore* s = storeAt(GetU32(req, sms_slot_layout::kStorage), err);
        if (!s)
            return result(err);
        return result(s->slots.erase(uint16_t(GetU32(req, sms_slot_layout::kSlot))) ? kResOk : kResNoEntry);
    }
    case KVA_SUB_SMS_GET_LIST: {
        const uint32_t storage = GetU32(req, sms_list_layout::kRequestStorage);
        uint16_t err;
        SmsStore* s = storeAt(storage, err);
        SmsListReply r;
        r.storage = storage;
        r.voiceIndex = -1;
        for (const auto& [slot, m] : memory.slots)
            if (m.teleservice == kTeleserviceVmn95) {
                r.voiceIndex = slot;
                r.voiceActive = m.voiceCount > 0 ? 1 : 0;
            }
        if (!s) {
            r.result = err;
            return EncodeSmsListReply(r);
        }
        for (const auto& [slot, m] : s->slots) {
            if (r.entries.size() >= sms_list_layout::kMaxEntries)
                break;
            r.entries.push_back(SmsListEntry{slot, m.tag});
        }
        r.numEntries = int32_t(r.entries.size());
        return EncodeSmsListReply(r);
    }
    case KVA_SUB_SMS_SETTAG: {
        uint16_t err;
        SmsStore* s = storeAt(GetU32(req, sms_slot_layout::kStorage), err);
        if (!s)
            return result(err);
        auto it = s->slots.find(uint16_t(GetU32(req, sms_slot_layout::kSlot)));
        if (it == s->slots.end())
            return result(kResNoEntry);
        uint32_t tag = GetU32(req, sms_slot_layout::kNewTag);
        if (tag < kTagRead || tag > kTagOutboxSent)
            return result(kResBadParam);
        it->second.tag = tag;
        return result(kResOk);
    }
    case KVA_SUB_SMS_READ: {
        uint16_t err;
        SmsStore* s = storeAt(GetU32(req, sms_slot_layout::kStorage), err);
        SmsReadReply r;
        auto it = s ? s->slots.find(uint16_t(GetU32(req, sms_slot_layout::kSlot))) : decltype(memory.slots.end()){};
        if (!s || it == s->slots.end()) {
            r.result = s ? kResNoEntry : err;
            return EncodeSmsReadReply(r);
        }
        const SimSms& m = it->second;
        r.teleserviceType = m.teleservice;
        r.timeStamp = m.time;
        r.encoding = m.encoding;
        r.voiceMailCount = m.voiceCount;
        r.callback = m.callback.empty() ? m.number : m.callback;
        r.data = m.text;
        return EncodeSmsReadReply(r);
    }
    case KVA_SUB_SMS_INSPECTED: {
        SmsInspectReply r;
        r.closeFlag = sendPending ? 0 : 1;
        r.report = report;
        return EncodeSmsInspectReply(r);
    }
    case KVA_SUB_INFO: {
        SmsInfoReply r;
        r.inited = smsInited && card.Usable() ? 1 : 0;
        r.smsMaxSlot = uint8_t(std::min<uint16_t>(ruim.capacity, 255));
        return EncodeSmsInfoReply(r);
    }
    default:
        return ErrorReply(kDiagBadParm, req, len);
    }
}

std::vector<uint8_t> ModemModel::Pbook(const uint8_t* req, size_t len, uint16_t sub)
{
    using namespace pb_layout;
    auto result = [&](uint16_t res) { return EncodeVendorResultReply(KVA_CMD_PBOOK, sub, res); };
    auto bookAt = [&](uint8_t code, uint16_t& err) -> Phonebook* {
        Phonebook* b = Book(code);
        err = b == nullptr ? kResBadParam : (b == &pbRuim && !card.Usable()) ? kResCardAbsent : kResOk;
        return err == kResOk ? b : nullptr;
    };

    switch (sub) {
    case KVA_SUB_PB_INIT: {
        uint16_t err;
        Phonebook* b = bookAt(req[kReqStorage], err);
        PbInfoReply r;
        if (!b) {
            r.result = err;
            return EncodePbInfoReply(r);
        }
        if (pbRewindOnInfo)
            b->cursor = 0; // a new read pass starts after the information request
        r.maxRecord = b->reportCapacity >= 0 ? uint16_t(b->reportCapacity) : b->capacity;
        r.recordInUse = b->reportInUse >= 0 ? uint16_t(b->reportInUse) : uint16_t(b->entries.size());
        r.pbLen = b->nameLen;
        return EncodePbInfoReply(r);
    }
    case KVA_SUB_PB_READ: {
        const uint16_t word = GetU16(req, kReadStorageWord);
        const uint8_t code = word == kPbWordRuim ? kPbStorageRuim : word == kPbWordMemory ? kPbStorageMemory : 0;
        uint16_t err;
        Phonebook* b = bookAt(code, err);
        const size_t count = req[kReadCount];
        PbReadReply r;
        if (!b || count == 0 || count > kMaxReadCount) {
            r.result = b ? kResBadParam : err;
            return EncodePbReadReply(r);
        }
        auto it = b->entries.begin();
        std::advance(it, std::min(b->cursor, b->entries.size()));
        for (size_t i = 0; i < count; ++i) {
            PbRecord rec;
            if (it == b->entries.end()) {
                rec.storage = 1; // read_status: no entry
            } else {
                rec.storage = 0;
                rec.index = it->first;
                rec.number = it->second.number.substr(0, kNumberMax);
                rec.numberLength = uint8_t(rec.number.size());
                const std::string& name = it->second.name;
                std::copy_n(name.begin(), std::min(name.size(), kNameMax), rec.name.begin());
                ++it;
            }
            r.records.push_back(rec);
        }
        b->cursor += count;
        if (!pbRewindOnInfo && b->cursor >= b->entries.size())
            b->cursor = 0; // after the last entry the next read starts over
        if (b->loseReads > 0) {
            if (b->answerBeforeLoss > 0) {
                --b->answerBeforeLoss;
            } else {
                --b->loseReads;
                return {}; // taken, but the answer never comes
            }
        }
        return EncodePbReadReply(r);
    }
    case KVA_SUB_PB_WRITE: {
        PbRecord rec;
        if (!ParsePbWriteReq(req, len, rec))
            return ErrorReply(kDiagBadLen, req, len);
        uint16_t err;
        Phonebook* b = bookAt(rec.storage, err);
        if (!b)
            return result(err);
        if (b->refuseWrites > 0) {
            if (b->writesBeforeRefusal > 0) {
                --b->writesBeforeRefusal;
            } else {
                --b->refuseWrites;
                return result(kResFailed);
            }
        }
        uint32_t index = rec.index;
        if (index == 0 || index == 0xFFFFFFFFu) { // no index given: the first free one
            index = 1;
            while (index <= b->capacity && b->entries.count(index))
                ++index;
        }
        if (index > b->capacity)
            return result(kResBadParam);
        if (!b->entries.count(index) && b->entries.size() >= b->capacity)
            return result(kResFailed);
        // The name as written, cut to the phonebook's name field.
        size_t n = std::min({size_t(rec.nameLength), kNameMax, size_t(b->nameLen)});
        std::string name(reinterpret_cast<const char*>(rec.name.data()), n);
        while (!name.empty() && name.back() == '\0')
            name.pop_back();
        b->entries[index] = PbEntry{rec.number, name};
        return result(kResOk);
    }
    case KVA_SUB_PB_DEL: {
        uint16_t err;
        Phonebook* b = bookAt(req[kDelStorage], err);
        if (!b)
            return result(err);
        const bool erased = b->entries.erase(GetU32(req, kDelIndex)) > 0;
        if (b->loseDeletes > 0) {
            --b->loseDeletes;
            return {}; // carried out, but the answer never comes
        }
        return result(erased ? kResOk : kResNoEntry);
    }
    case KVA_SUB_PB_DEL_ALL: {
        uint16_t err;
        Phonebook* b = bookAt(req[kDelStorage], err);
        if (!b)
            return result(err);
        b->entries.clear();
        b->cursor = 0;
        return result(kResOk);
    }
    default:
        return ErrorReply(kDiagBadParm, req, len);
    }
}

} // namespace kv::sim
