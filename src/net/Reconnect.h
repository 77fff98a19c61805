// Dialling again after a lost link. The connection manager reconnects
// nothing by itself unless the user asked for it ("Reconnect when the link
// drops", our own setting, off by default): then a link that was lost
// without the user's Disconnect is dialled again after 5, 10, 30 and 60 s,
// then every 60 s, at most 10 times; each pause counts from the loss or from
// the end of the attempt before. Disconnect, Net Connect and Exit end the
// plan; an attempt that connects ends it too (a later loss starts it over).
//
// The plan is a small clock-driven state machine with the time passed in, so
// its schedule is tested without waiting; the manager asks it on its monitor
// thread and the UI thread stops it, hence the lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kvnet {

// Our own setting: korvianet.ini, section "reconnect", key "num" (1 on).
bool ReconnectSettingOn();
// KORVIANET_RECONNECT_DELAYS_MS: the pauses as comma-separated milliseconds
// (tests shorten them); empty when unset or not such a list.
inline constexpr const char* kReconnectDelaysEnv = "KORVIANET_RECONNECT_DELAYS_MS";
std::vector<int64_t> ReconnectDelaysFromEnv();

class CReconnectPlan {
public:
    static constexpr int kMaxAttempts = 10;
    static std::vector<int64_t> DefaultDelaysMs() { return {5000, 10000, 30000, 60000}; }

    explicit CReconnectPlan(std::vector<int64_t> delaysMs = DefaultDelaysMs());

    // Pauses before the attempts; the last one repeats. Empty: the default.
    void SetDelays(std::vector<int64_t> delaysMs);
    // The pause before attempt n (1-based).
    int64_t DelayBefore(int attempt) const;

    // The link went down without the user's Disconnect: the plan starts from
    // its first attempt, the pause counting from now. Ignored after the user
    // stopped (until the user connects again).
    void LinkLost(int64_t now);
    // The attempt under way (if any) ended without a connection at now.
    // After the last attempt the plan gives up.
    void AttemptFailed(int64_t now);
    // The attempt under way connected: the plan is done.
    void Connected();
    // The user's Disconnect or Exit: no attempt until the user connects.
    void UserStopped();
    // The user's own Net Connect: a plan in progress gives way to it.
    void UserConnected();

    // The attempt (1..kMaxAttempts) that is due at now, 0 when none; a due
    // attempt is taken (under way) by this call.
    int TakeDue(int64_t now);

    bool Armed() const;
    bool UnderWay() const;
    // Attempts started since the last loss.
    int Attempts() const;
    // The last attempt failed: true until the next loss or connect.
    bool GaveUp() const;

    // The message line's text of attempt n.
    static std::string AttemptText(int attempt);
    static std::string GaveUpText();

private:
    mutable std::mutex m_lock;
    std::vector<int64_t> m_delays;
    bool m_armed = false;
    bool m_underWay = false;
    bool m_stopped = false;
    bool m_gaveUp = false;
    int m_attempts = 0;
    int64_t m_since = 0;
};

} // namespace kvnet
