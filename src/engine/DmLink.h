// The DIAG link as the DM engine uses it: open, close and one transaction at
// a time. CCommPortLink (engine/CommPortLink.h) puts it over the serial
// port; tests can put it over a scripted peer.
#pragma once

#include "link/DiagCatalog.h"

#include <cstddef>
#include <cstdint>

namespace kv {

// DiagResult values: 0 answered, 1 not written, 2 nothing read, 3 time-out,
// 4 no matching answer. Callers only test for non-zero.
enum : int { DIAG_OK = 0, DIAG_NOT_WRITTEN = 1, DIAG_NOTHING_READ = 2, DIAG_TIMEOUT = 3,
             DIAG_NO_MATCH = 4 };

class IDmLink {
public:
    virtual ~IDmLink() = default;

    // Applies the line settings (0x7E event character, 8N1) with the baud
    // rate and opens COM port comPort. True when the port is open.
    virtual bool Open(int comPort, uint32_t baud) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The line hung up while open (the device was pulled out): every
    // transaction fails at once until the link is closed.
    virtual bool HungUp() const { return false; }
    // The errno that made the last Open fail (see CCommPort::OpenError);
    // 0 when not known.
    virtual int OpenError() const { return 0; }
    // Wakes a transaction that is waiting for its answer: it fails at once
    // (a stop does not wait out the exchange's time-out). Any thread.
    virtual void CancelWait() {}
    // One DIAG transaction. On DIAG_OK, reply holds replyLength bytes.
    virtual int Transact(const DiagRequest& request, uint8_t* reply, size_t replySize,
                         size_t& replyLength) = 0;
};

} // namespace kv
