// The simulator's pty and its serving thread. The thread owns the pty: it
// reads requests, lets the model answer, writes the answers (with whatever
// line faults a scenario asked for) and sends unsolicited packets. Other
// threads change the model under m_mutex and hand fd work to the thread
// through RunOnLoop.
#include "sim/ModemSimulator.h"

#include "link/DiagFrame.h"
#include "platform/Event.h"
#include "sim/SimDataPort.h"
#include "sim/SimRegistry.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv::sim {

namespace {

// While nobody holds the slave open the master reports a hang-up forever;
// we then look again at this interval instead of polling it.
constexpr int kHangupRecheckMs = 100;
constexpr size_t kMaxRx = 16384;
constexpr size_t kMaxAtLine = 512;
constexpr size_t kMaxQueued = 65536;
// Command codes of the packets a modem sends on its own.
constexpr uint8_t kDiagLogF = 0x10;
constexpr uint8_t kDiagEventReportF = 0x60;

bool IsAtStart(const std::vector<uint8_t>& rx)
{
    return !rx.empty() && (rx[0] == 'A' || rx[0] == 'a') && (rx.size() < 2 || rx[1] == 'T' || rx[1] == 't');
}

} // namespace

ModemSimulator::ModemSimulator() : ModemSimulator(Options{}) {}

ModemSimulator::ModemSimulator(const Options& options) : m_opt(options), m_rng(options.seed)
{
    m_reg = new SimRegistration;
    m_data = new SimDataPort;
    if (m_opt.demoState)
        m_model.SeedDemo(TickMs());
    if (m_opt.pinLocked)
        m_model.SetPinLocked(true);
}

ModemSimulator::~ModemSimulator()
{
    Stop();
    delete m_data;
    delete m_reg;
}

bool ModemSimulator::OpenPty()
{
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return false;
    char name[128];
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) {
        ::close(m);
        return false;
    }
    struct termios tio;
    if (::tcgetattr(m, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(m, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_master = m;
    m_slave = name;
    m_hangup = false;
    m_rx.clear();
    m_out.clear();
    return true;
}

void ModemSimulator::ClosePty()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    m_slave.clear();
    m_plugged = false;
    m_rx.clear();
    m_out.clear();
}

bool ModemSimulator::PlugIn()
{
    if (!OpenPty())
        return false;
    if (m_opt.registerDevice && !m_reg->Register(SlavePath(), m_opt.comNumber)) {
        ClosePty();
        return false;
    }
    // The data interface after the diagnostic port: a watcher woken by the
    // first entry finds the port it looks for.
    if (m_opt.dataPort && !m_data->Open(m_opt.registerDevice)) {
        m_reg->Unregister();
        ClosePty();
        return false;
    }
    // Plugged only once the device is complete: whoever sees it finds it.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_plugged = true;
    return true;
}

bool ModemSimulator::Start()
{
    if (m_running)
        return true;
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    if (!PlugIn()) {
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        m_wake[0] = m_wake[1] = -1;
        return false;
    }
    m_stop = false;
    m_running = true;
    const int64_t now = TickMs();
    m_nextUnsolicited = m_opt.unsolicitedPeriodMs > 0 ? now + m_opt.unsolicitedPeriodMs : -1;
    m_thread = std::thread([this] { Loop(); });
    return true;
}

void ModemSimulator::Stop()
{
    if (!m_running)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    Wake();
    m_thread.join();
    m_running = false;
    m_data->Close();
    m_reg->Unregister();
    ClosePty();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_wake[0] = m_wake[1] = -1;
    m_changed.notify_all();
}

bool ModemSimulator::Running() const { return m_running; }

std::string ModemSimulator::SlavePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slave;
}

std::string ModemSimulator::DevicePath() const
{
    if (m_reg->Registered())
        return m_reg->LinkPath();
    return SlavePath();
}

int ModemSimulator::ComNumber() const { return m_reg->ComNumber(); }

std::string ModemSimulator::DataSlavePath() const { return m_data->SlavePath(); }

std::string ModemSimulator::DataDevicePath() const { return m_data->IsOpen() ? m_data->DevicePath() : std::string(); }

int ModemSimulator::DataComNumber() const { return m_data->ComNumber(); }

bool ModemSimulator::Plugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_plugged;
}

uint64_t ModemSimulator::Answered() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_answered;
}

uint64_t ModemSimulator::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void ModemSimulator::Wake()
{
    if (m_wake[1] >= 0) {
        char c = 1;
        (void)!::write(m_wake[1], &c, 1);
    }
}

void ModemSimulator::RunOnLoop(std::function<void()> fn)
{
    if (!m_running) {
        fn();
        return;
    }
    if (std::this_thread::get_id() == m_thread.get_id()) {
        fn();
        return;
    }
    CEvent done(true);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back([&] {
            fn();
            done.Set();
        });
    }
    Wake();
    done.Wait();
}

bool ModemSimulator::Unplug()
{
    bool was = false;
    RunOnLoop([&] {
        was = Plugged();
        m_data->Close();
        m_reg->Unregister();
        ClosePty();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replugAt = -1;
    });
    m_changed.notify_all();
    return was;
}

bool ModemSimulator::Replug()
{
    bool ok = false;
    RunOnLoop([&] {
        if (Plugged()) {
            ok = true;
            return;
        }
        ok = PlugIn();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replugAt = -1;
    });
    m_changed.notify_all();
    return ok;
}

bool ModemSimulator::WaitFor(const std::function<bool(ModemModel&)>& pred, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(m_model); });
}

// ---- the serving thread ----------------------------------------------------

int64_t ModemSimulator::NextTimeout(int64_t now) const
{
    int64_t next = -1;
    auto take = [&](int64_t t) {
        if (t >= 0 && (next < 0 || t < next))
            next = t;
    };
    if (!m_out.empty() && !m_hangup)
        take(m_out.front().dueMs);
    if (m_plugged && !m_hangup)
        take(m_nextUnsolicited);
    take(m_model.NextDeadline());
    take(m_replugAt);
    if (m_plugged && m_hangup)
        take(now + kHangupRecheckMs);
    if (next < 0)
        return -1;
    return std::clamp<int64_t>(next - now, 0, INT_MAX);
}

void ModemSimulator::Loop()
{
    std::vector<uint8_t> buf(4096);
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stop)
            break;
        while (!m_tasks.empty()) {
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
        int64_t now = TickMs();
        m_model.Advance(now);
        if (m_replugAt >= 0 && now >= m_replugAt) {
            m_replugAt = -1;
            lock.unlock();
            PlugIn();
            m_changed.notify_all();
            continue;
        }
        if (m_model.resetRequested) {
            // A modem reset drops off the bus and comes back a little later.
            m_model.resetRequested = false;
            lock.unlock();
            FlushDue(TickMs() + 1000); // the OK goes out before the modem leaves
            SleepMs(100);
            m_data->Close();
            m_reg->Unregister();
            ClosePty();
            lock.lock();
            m_replugAt = TickMs() + 2000;
            m_changed.notify_all();
            continue;
        }
        if (m_plugged && !m_hangup && m_nextUnsolicited >= 0 && now >= m_nextUnsolicited) {
            Queue(UnsolicitedFrame(), now);
            m_nextUnsolicited = now + m_opt.unsolicitedPeriodMs;
        }
        lock.unlock();
        FlushDue(now);
        lock.lock();

        struct pollfd fds[2];
        fds[0] = {m_wake[0], POLLIN, 0};
        int nfds = 1;
        const int master = m_master;
        if (master >= 0 && !m_hangup) {
            short ev = POLLIN;
            if (!m_out.empty() && m_out.front().dueMs <= now)
                ev |= POLLOUT;
            fds[1] = {master, ev, 0};
            nfds = 2;
        }
        int timeout = int(NextTimeout(now));
        lock.unlock();
        m_changed.notify_all();

        int rc = ::poll(fds, nfds_t(nfds), timeout);
        if (rc < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        now = TickMs();
        if (master >= 0) {
            lock.lock();
            if (m_hangup) {
                // Has somebody opened the slave again?
                struct pollfd p = {master, POLLIN, 0};
                if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP))
                    m_hangup = false;
                lock.unlock();
                continue;
            }
            lock.unlock();
        }
        if (nfds == 2 && fds[1].revents) {
            if (fds[1].revents & POLLIN) {
                ssize_t n = ::read(master, buf.data(), buf.size());
                if (n > 0) {
                    lock.lock();
                    OnBytes(buf.data(), size_t(n), now);
                    lock.unlock();
                }
            }
            if ((fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN)) {
                lock.lock();
                m_hangup = true; // the host closed the port
                m_out.clear();
                m_rx.clear();
                lock.unlock();
            }
        }
    }
}

// Called with m_mutex held.
void ModemSimulator::OnBytes(const uint8_t* data, size_t len, int64_t now)
{
    m_rx.insert(m_rx.end(), data, data + len);
    while (!m_rx.empty()) {
        if (IsAtStart(m_rx)) {
            if (m_rx.size() < 2)
                return;
            auto end = std::find_if(m_rx.begin(), m_rx.end(), [](uint8_t c) { return c == '\r' || c == '\n'; });
            if (end == m_rx.end()) {
                if (m_rx.size() > kMaxAtLine)
                    m_rx.clear();
                return;
            }
            std::string line(m_rx.begin(), end);
            m_rx.erase(m_rx.begin(), end + 1);
            OnAtLine(line, now);
            continue;
        }
        if (m_rx[0] == '\r' || m_rx[0] == '\n') {
            m_rx.erase(m_rx.begin());
            continue;
        }
        auto flag = std::find(m_rx.begin(), m_rx.end(), kDiagFlag);
        if (flag == m_rx.end()) {
            if (m_rx.size() > kMaxRx)
                m_rx.clear();
            return;
        }
        std::vector<uint8_t> piece(m_rx.begin(), flag);
        m_rx.erase(m_rx.begin(), flag + 1);
        if (!piece.empty())
            OnDiagPiece(piece.data(), piece.size(), now);
    }
}

void ModemSimulator::OnDiagPiece(const uint8_t* piece, size_t len, int64_t now)
{
    uint8_t payload[4096];
    size_t n = 0;
    if (!DecodeDiagPiece(piece, len, payload, sizeof payload, n) || n == 0)
        return; // a damaged request gets no answer, as on the real line
    ++m_received;
    if (m_silent)
        return;
    std::vector<uint8_t> reply = m_model.HandleDiag(payload, n, now);
    if (reply.empty())
        return;
    ++m_answered;
    std::vector<uint8_t> frame = EncodeDiagFrame(reply.data(), reply.size());
    if (m_badFcs > 0) {
        --m_badFcs;
        uint8_t& b = frame[frame.size() - 2];
        b ^= ((b ^ 0x01) == kDiagFlag || (b ^ 0x01) == kDiagEscape) ? 0x02 : 0x01;
    }
    QueueAnswer(std::move(frame), now);
}

void ModemSimulator::OnAtLine(const std::string& line, int64_t now)
{
    ++m_received;
    if (m_silent)
        return;
    std::string answer = m_model.HandleAt(line, now);
    if (answer.empty())
        return;
    ++m_answered;
    QueueAnswer(std::vector<uint8_t>(answer.begin(), answer.end()), now);
}

// Called with m_mutex held: applies the line faults a scenario asked for.
void ModemSimulator::QueueAnswer(std::vector<uint8_t> frame, int64_t now)
{
    int64_t due = now;
    if (m_delayCount != 0) {
        due += m_delayMs;
        if (m_delayCount > 0)
            --m_delayCount;
    }
    if (m_garbageNext > 0) {
        Queue(Garbage(m_garbageNext), due);
        m_garbageNext = 0;
    }
    if (m_noiseBefore > 0) {
        --m_noiseBefore;
        Queue(UnsolicitedFrame(), due);
    }
    if (m_halfPacket > 0) {
        --m_halfPacket;
        std::vector<uint8_t> extra = UnsolicitedFrame();
        frame.insert(frame.end(), extra.begin(), extra.begin() + ptrdiff_t(extra.size() / 2));
    }
    if (m_splitCount != 0 && frame.size() > 1) {
        if (m_splitCount > 0)
            --m_splitCount;
        size_t half = frame.size() / 2;
        Queue(std::vector<uint8_t>(frame.begin(), frame.begin() + ptrdiff_t(half)), due);
        Queue(std::vector<uint8_t>(frame.begin() + ptrdiff_t(half), frame.end()), due + m_splitMs);
        return;
    }
    Queue(std::move(frame), due);
}

void ModemSimulator::Queue(std::vector<uint8_t> bytes, int64_t due)
{
    size_t queued = 0;
    for (const auto& o : m_out)
        queued += o.bytes.size();
    if (queued + bytes.size() > kMaxQueued || m_master < 0)
        return; // nobody reads: a real modem's buffer overflows the same way
    // Keep the queue in time order; equal times keep their order.
    auto pos = std::upper_bound(m_out.begin(), m_out.end(), due,
                                [](int64_t t, const Outgoing& o) { return t < o.dueMs; });
    m_out.insert(pos, Outgoing{due, std::move(bytes)});
    m_changed.notify_all();
}

void ModemSimulator::FlushDue(int64_t now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_out.empty() && m_out.front().dueMs <= now && m_master >= 0 && !m_hangup) {
        auto& o = m_out.front();
        ssize_t n = ::write(m_master, o.bytes.data(), o.bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return; // wait for POLLOUT
            m_out.clear();
            return;
        }
        o.bytes.erase(o.bytes.begin(), o.bytes.begin() + n);
        if (o.bytes.empty())
            m_out.pop_front();
    }
}

std::vector<uint8_t> ModemSimulator::UnsolicitedFrame()
{
    std::vector<uint8_t> p;
    const uint32_t seq = m_packetSeq++;
    if (seq % 2 == 0) {
        // An event report: length, one event id with a short time stamp.
        p = {kDiagEventReportF, 8, 0, uint8_t(0x10 + seq % 7), 0x01, 0, 0, 0, 0, uint8_t(seq), uint8_t(seq >> 8)};
    } else {
        // A log packet: two length words, log code, 8-byte time stamp, payload.
        p = {kDiagLogF, 0, 24, 0, 24, 0, 0x69, 0x10};
        for (int i = 0; i < 8; ++i)
            p.push_back(uint8_t(m_rng()));
        for (int i = 0; i < 12; ++i)
            p.push_back(uint8_t(m_rng())); // may hold 0x7D/0x7E: escaped by the framing
    }
    return EncodeDiagFrame(p.data(), p.size());
}

std::vector<uint8_t> ModemSimulator::Garbage(size_t n)
{
    std::vector<uint8_t> g(n);
    for (auto& b : g)
        b = uint8_t(m_rng());
    return g;
}

} // namespace kv::sim
