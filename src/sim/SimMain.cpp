// korvianet-modem-sim: the modem simulator as a program. Prints the tty it
// serves on its first line, then takes control commands on stdin and on an
// optional unix socket until it is told to quit or gets SIGINT/SIGTERM.
#include "engine/DrvComm.h"
#include "log/NumberParse.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: korvianet-modem-sim [options]\n"
    "\n"
    "A simulated Korvia USB modem on a pseudo-terminal. It registers itself as a\n"
    "modem of the current driver in the settings folder (device list, PortName,\n"
    "dosdevices/comN link), prints the tty it serves on the first line of its\n"
    "output and answers DIAG requests and AT commands until stopped. A second pty\n"
    "is the modem's data interface (registered as interface MI_00 with a COM\n"
    "number of its own, named on standard error): it answers a dialler's chat\n"
    "(AT -> OK, ATDT#777 or ATD*99# -> CONNECT) and then takes the call's bytes,\n"
    "so KORVIANET_RAS_BACKEND=pppd dials through the system's pppd.\n"
    "\n"
    "options:\n"
    "  --config-dir DIR   settings folder (default: $KORVIANET_CONFIG_DIR,\n"
    "                     $XDG_CONFIG_HOME/korvianet, ~/.config/korvianet)\n"
    "  --control PATH     also take control commands on a unix socket at PATH\n"
    "  --empty            start with no messages and no phonebook entries\n"
    "  --pin-locked       the card asks for its PIN at start\n"
    "  --pin CODE         the card's PIN (default 1234; the unblock code is 12345678)\n"
    "  --com N            register as COM N (default: the lowest free number from 3)\n"
    "  --no-register      do not register (serve the ptys only)\n"
    "  --no-data-port     no data interface (the diagnostic port only)\n"
    "  --quiet-line       no periodic unsolicited packets\n"
    "  -h, --help         this text\n"
    "\n"
    "Control commands come one per line on stdin or the socket; each reply ends\n"
    "with a line \"OK\" or \"ERR <why>\". Commands:\n"
    "  state                          the model in key=value lines\n"
    "  call NUMBER [NAME]             incoming call (call waiting during a call)\n"
    "  call-restricted | call-unavailable\n"
    "  answer | hangup                the far end answers / hangs up\n"
    "  sms NUMBER TEXT | sms-ruim NUMBER TEXT | voicemail N\n"
    "  signal DBM_1X [DBM_EVDO] | service on|off|1x|evdo|hybrid | roaming N\n"
    "  battery MILLIVOLTS [CHARGER]\n"
    "  card absent|invalid|present|pin-locked|puk-locked|unlocked | pin CODE | puk CODE\n"
    "  layout short|long | send-report N | report-delay MS\n"
    "  unplug | replug | replug-after MS | drop\n"
    "  no-carrier                     the data interface loses the carrier (a call\n"
    "                                 ends with NO CARRIER, else the next dial fails)\n"
    "  silent on|off | garbage N | garbage-next N | delay MS [COUNT] | split MS [COUNT]\n"
    "  bad-fcs [COUNT] | half-packet [COUNT] | noise-before [COUNT] | unsolicited on|off|MS\n"
    "  list-sms [memory|ruim] | list-pb [memory|ruim] | sent | calls | empty | help | quit\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

struct Client {
    int fd;
    std::string pending;
};

int ListenOn(const std::string& path)
{
    struct sockaddr_un addr {};
    if (path.size() >= sizeof addr.sun_path)
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void WriteAll(int fd, const std::string& text)
{
    size_t off = 0;
    while (off < text.size()) {
        ssize_t n = ::write(fd, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        off += size_t(n);
    }
}

// Runs every complete line of pending; true when one of them was "quit".
bool RunLines(kv::sim::ModemSimulator& sim, std::string& pending, int outFd)
{
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "quit" || line == "exit") {
            WriteAll(outFd, "OK\n");
            return true;
        }
        WriteAll(outFd, sim.Command(line));
    }
    if (pending.size() > 4096)
        pending.clear();
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    kv::sim::ModemSimulator::Options opt;
    opt.dataPort = true;
    std::string controlPath, pin;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "korvianet-modem-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--config-dir") {
            ::setenv("KORVIANET_CONFIG_DIR", value(), 1);
        } else if (a == "--control") {
            controlPath = value();
        } else if (a == "--empty") {
            opt.demoState = false;
        } else if (a == "--pin-locked") {
            opt.pinLocked = true;
        } else if (a == "--pin") {
            pin = value();
        } else if (a == "--com") {
            const char* text = value();
            const auto com = kv::DecimalInRange<int>(text, 0, 255);
            if (!com) {
                std::fprintf(stderr, "korvianet-modem-sim: --com needs a number from 0 to 255, not '%s'\n", text);
                return 2;
            }
            opt.comNumber = *com;
        } else if (a == "--no-register") {
            opt.registerDevice = false;
        } else if (a == "--no-data-port") {
            opt.dataPort = false;
        } else if (a == "--quiet-line") {
            opt.unsolicitedPeriodMs = 0;
        } else {
            std::fprintf(stderr, "korvianet-modem-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    if (::pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    // Registering in a settings folder that another user owns would hand
    // them the modem we mean to offer our own user.
    if (std::string why; opt.registerDevice && !kv::SettingsDirUsable(&why)) {
        std::fprintf(stderr, "korvianet-modem-sim: %s\n", why.c_str());
        return 1;
    }
    kv::sim::ModemSimulator sim(opt);
    if (!pin.empty() && sim.Command("pin " + pin).rfind("OK", 0) != 0) {
        std::fprintf(stderr, "korvianet-modem-sim: bad PIN %s\n", pin.c_str());
        return 2;
    }
    if (!sim.Start()) {
        std::fprintf(stderr, "korvianet-modem-sim: cannot open or register a pty: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    if (opt.registerDevice)
        std::fprintf(stderr, "korvianet-modem-sim: registered as COM%d (%s)\n", sim.ComNumber(),
                     sim.DevicePath().c_str());
    if (opt.dataPort && opt.registerDevice)
        std::fprintf(stderr, "korvianet-modem-sim: data port COM%d (%s -> %s)\n", sim.DataComNumber(),
                     sim.DataDevicePath().c_str(), sim.DataSlavePath().c_str());
    else if (opt.dataPort)
        std::fprintf(stderr, "korvianet-modem-sim: data port %s\n", sim.DataSlavePath().c_str());

    int listenFd = -1;
    if (!controlPath.empty() && (listenFd = ListenOn(controlPath)) < 0) {
        std::fprintf(stderr, "korvianet-modem-sim: cannot listen on %s\n", controlPath.c_str());
        sim.Stop();
        return 1;
    }

    bool stdinOpen = true;
    std::string stdinPending;
    std::vector<Client> clients;
    bool quit = false;
    while (!quit) {
        std::vector<struct pollfd> fds;
        fds.push_back({g_signalPipe[0], POLLIN, 0});
        fds.push_back({stdinOpen ? 0 : -1, POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        char buf[1024];
        if (fds[1].revents) {
            ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0)
                stdinOpen = false; // keep serving without a console
            else {
                stdinPending.append(buf, size_t(n));
                quit = RunLines(sim, stdinPending, 1);
            }
        }
        if (listenFd >= 0 && fds[2].revents) {
            int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0 && clients.size() < 16)
                clients.push_back({c, ""});
            else if (c >= 0)
                ::close(c);
        }
        for (size_t i = 0; i < clients.size() && !quit;) {
            const short rev = fds.size() > 3 + i ? fds[3 + i].revents : 0;
            bool drop = false;
            if (rev) {
                ssize_t n = ::read(clients[i].fd, buf, sizeof buf);
                if (n <= 0)
                    drop = true;
                else {
                    clients[i].pending.append(buf, size_t(n));
                    quit = RunLines(sim, clients[i].pending, clients[i].fd);
                }
            }
            if (drop) {
                ::close(clients[i].fd);
                clients.erase(clients.begin() + ptrdiff_t(i));
                fds.erase(fds.begin() + ptrdiff_t(3 + i));
            } else {
                ++i;
            }
        }
    }

    for (const Client& c : clients)
        ::close(c.fd);
    if (listenFd >= 0) {
        ::close(listenFd);
        ::unlink(controlPath.c_str());
    }
    sim.Stop();
    return 0;
}
