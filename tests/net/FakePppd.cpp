// A stand-in for pppd in the dial-up tests: it records its arguments and the
// option files it was given, then plays a script of pppd-like output.
//   FAKE_PPPD_ARGS=<file>     where the arguments go, one per line
//   FAKE_PPPD_SCRIPT=<file>   lines: "say TEXT", "sleep MS", "exit N",
//                             "counters DIR RX TX" (writes rx_bytes/tx_bytes),
//                             "hold" (wait for a signal), "ignoreterm",
//                             "child MS" (a child that keeps the output
//                             pipe open for MS ms, as a connect script does)
//   FAKE_PPPD_PIDS=<file>     its own pid and each child's, one per line
// SIGTERM prints "Terminating on signal 15." and exits with 5, as pppd does.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_term = 0;
void OnTerm(int) { g_term = 1; }

void Say(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void SleepMs(long ms)
{
    for (long t = 0; t < ms && !g_term; t += 10)
        usleep(10000);
}

void NotePid(pid_t pid)
{
    if (const char* file = std::getenv("FAKE_PPPD_PIDS"))
        std::ofstream(file, std::ios::app) << pid << "\n";
}

void WriteCounter(const std::string& dir, const char* name, const std::string& value)
{
    std::ofstream(dir + "/" + name) << value << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* argsFile = std::getenv("FAKE_PPPD_ARGS")) {
        std::ofstream out(argsFile);
        for (int i = 0; i < argc; ++i)
            out << argv[i] << "\n";
    }
    NotePid(getpid());
    std::signal(SIGTERM, OnTerm);
    const char* script = std::getenv("FAKE_PPPD_SCRIPT");
    std::ifstream in(script ? script : "");
    std::string line;
    bool ignoreTerm = false;
    while (std::getline(in, line)) {
        if (g_term && !ignoreTerm)
            break;
        g_term = 0;
        if (line.rfind("say ", 0) == 0) {
            Say(line.substr(4));
        } else if (line.rfind("sleep ", 0) == 0) {
            SleepMs(std::atol(line.c_str() + 6));
        } else if (line.rfind("exit ", 0) == 0) {
            return std::atoi(line.c_str() + 5);
        } else if (line.rfind("counters ", 0) == 0) {
            char dir[512], rx[32], tx[32];
            if (std::sscanf(line.c_str() + 9, "%511s %31s %31s", dir, rx, tx) == 3) {
                WriteCounter(dir, "rx_bytes", rx);
                WriteCounter(dir, "tx_bytes", tx);
            }
        } else if (line.rfind("child ", 0) == 0) {
            const long ms = std::atol(line.c_str() + 6);
            const pid_t child = fork();
            if (child == 0) {
                std::signal(SIGTERM, SIG_DFL);
                usleep(useconds_t(ms) * 1000);
                _exit(0);
            }
            if (child > 0)
                NotePid(child);
        } else if (line == "ignoreterm") {
            ignoreTerm = true;
            std::signal(SIGTERM, SIG_IGN);
        } else if (line == "hold") {
            for (;;) {
                pause();
                if (g_term && !ignoreTerm)
                    break;
            }
        }
    }
    if (g_term) {
        Say("Terminating on signal 15.");
        Say("Connection terminated.");
        return 5;
    }
    return 0;
}
