// The DIAG frame and transaction as operations of CCommPort: encode the
// request into the transmit frame buffer, write it, wait for the reader's
// flag event, read what arrived once, split it at 0x7E and keep the first
// good frame whose command byte matches the request's.
#include "link/CommPort.h"

#include "link/DiagFrame.h"
#include "log/DebugLog.h"

#include <algorithm>
#include <cstring>

namespace kv {

void CCommPort::EncodeFrame(const uint8_t* data, int length)
{
    m_nTxFrameLength = 0;
    if (data == nullptr || length < 0)
        return;
    const size_t n = size_t(length);
    if (DiagFrameWorstCase(n) <= m_txFrame.size()) {
        m_nTxFrameLength = int(EncodeDiagFrameInto(data, n, m_txFrame.data()));
        return;
    }
    // Only a long body full of flag bytes can outgrow the buffer: build it
    // aside and keep it when it fits after all.
    std::vector<uint8_t> frame(DiagFrameWorstCase(n));
    frame.resize(EncodeDiagFrameInto(data, n, frame.data()));
    if (frame.size() > m_txFrame.size()) {
        DEBUG_LOG(LEVEL_ST, "frame of %d bytes too long error", length);
        return; // nothing to send: Transact reports it as not written
    }
    std::copy(frame.begin(), frame.end(), m_txFrame.begin());
    m_nTxFrameLength = int(frame.size());
}

int CCommPort::DecodeFrame(const uint8_t* piece, int length)
{
    size_t outLen = 0;
    const bool good = piece != nullptr && length > 0
        && DecodeDiagPiece(piece, size_t(length), m_payload.data(), m_payload.size(), outLen);
    m_nPayloadLength = int(outLen);
    return good ? 1 : 0;
}

uint8_t CCommPort::Transact(const uint8_t* request, uint8_t* response, size_t responseSize, int length,
                            uint32_t timeoutMs)
{
    if (!m_bOpen.load() || request == nullptr || length <= 0 || response == nullptr || responseSize == 0)
        return kDiagNotWritten;
    std::lock_guard exchange(m_exchange);

    response[0] = 0xFF; // a missing answer never looks like a match
    m_nLastResponseLength = 0;
    // A cancel is for the transaction under way only: none is carried in,
    // none is left behind for the AT path's writes.
    m_bCancelWait.store(false);
    m_bInTransact.store(true);
    struct UnderWay {
        CCommPort& port;
        ~UnderWay()
        {
            port.m_bInTransact.store(false);
            port.m_bCancelWait.store(false);
        }
    } underWay{*this};
    m_evRxReady.Reset();
    // What ends the wait other than an answer, 0 when nothing did. Checked
    // after the reset too, so a close or cancel that came before it is not
    // lost.
    auto interrupted = [this]() -> uint8_t {
        if (m_bHungUp.load() || !m_bOpen.load())
            return kDiagNothingRead; // the port hung up or was closed
        if (m_bCancelWait.load())
            return kDiagTimedOut;    // the wait was cut short by a stop
        return 0;
    };

    if (m_bHungUp.load() || !m_bOpen.load())
        return kDiagNotWritten; // the device is gone or the port closed: nothing to wait for

    EncodeFrame(request, length);
    if (m_nTxFrameLength == 0 || WriteBytes(m_txFrame.data(), m_nTxFrameLength) == 0)
        return kDiagNotWritten;

    const int slps = SharedTransactPause().Milliseconds();
    if (slps > 0)
        SleepMs(slps);

    if (const uint8_t rc = interrupted())
        return rc;
    if (!m_evRxReady.Wait(int64_t(timeoutMs))) {
        const uint8_t rc = interrupted();
        return rc ? rc : kDiagTimedOut;
    }
    if (const uint8_t rc = interrupted())
        return rc;
    SleepMs(kRxSettleMs);

    std::vector<uint8_t> rx(kRxBufferSize, 0);
    const int got = ReadAvailable(rx.data(), int(rx.size()));
    if (got <= 0)
        return kDiagNothingRead;

    // Every 0x7E ends a piece; bytes after the last one are dropped. Pieces
    // that are not the answer (event reports, log packets, late answers to
    // earlier requests, answers to another sub-command or NV item, pieces
    // too long for the payload buffer) are skipped.
    size_t payloadLen = 0;
    const bool found = FindDiagAnswer(rx.data(), size_t(got), request,
                                      AnswerEchoLength(request, size_t(length)), m_payload.data(),
                                      m_payload.size(), payloadLen);
    m_nPayloadLength = int(payloadLen);
    bool answered = false;
    if (found) {
        const size_t n = std::min(payloadLen, responseSize);
        if (n < payloadLen)
            DEBUG_LOG(LEVEL_ST, "response of %zu bytes cut to %zu error", payloadLen, responseSize);
        std::memcpy(response, m_payload.data(), n);
        m_nLastResponseLength = n;
        answered = response[0] == request[0];
    }

    m_pevRelease->Set();
    return answered ? kDiagAnswered : kDiagNoMatch;
}

} // namespace kv
