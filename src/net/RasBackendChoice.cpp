// Which dial-up service the program uses. The simulated modem registers an
// instance path marked "&SIM"; when discovery takes that one, dialling goes
// to the simulated service: the simulator's data port answers a chat script
// but carries no PPP, so pppd could dial it but never bring a link up.
// KORVIANET_RAS_BACKEND=sim or =pppd decides instead (=pppd runs the system's
// pppd over the simulator's data port, as far as the chat). The choice is made
// again each time a client is initialised (at start, after every hang-up and
// when the modem comes back), so a simulator started later is picked up. A
// client made while no modem is there (the one the unplug's request 240
// leaves behind) keeps the service of the modem that was there last: the
// modem that comes back is most likely the same one, and an empty discovery
// says nothing about which service it needs. Each service object lives for
// the rest of the process so its connections survive a client.
#include "engine/DrvComm.h"
#include "log/DebugLog.h"
#include "net/PppdBackend.h"
#include "net/RasBackend.h"
#include "net/SimRasBackend.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kvnet {

namespace {

std::mutex g_lock;
std::shared_ptr<IRasBackend> g_given;
std::shared_ptr<IRasBackend> g_sim;
std::shared_ptr<IRasBackend> g_pppd;
// The service of the modem discovery found last (false before any).
bool g_lastFoundSim = false;

// Whether the modem discovery takes is the simulator; without a modem, the
// answer for the one that was there last.
bool SimulatorTaken()
{
    kv::PortDiscovery pd;
    if (pd.FindComPort() == 0)
        return g_lastFoundSim;
    std::string upper = pd.TakenInstance();
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    g_lastFoundSim = upper.find("&SIM") != std::string::npos;
    return g_lastFoundSim;
}

} // namespace

std::shared_ptr<IRasBackend> DefaultRasBackend()
{
    std::lock_guard<std::mutex> g(g_lock);
    if (g_given)
        return g_given;
    const char* env = std::getenv("KORVIANET_RAS_BACKEND");
    const bool sim = env && *env ? std::strcmp(env, "sim") == 0 : SimulatorTaken();
    if (sim) {
        if (!g_sim) {
            g_sim = std::make_shared<CSimRasBackend>();
            DEBUG_LOG(LEVEL_RAS, "dial-up: the simulated service\n");
        }
        return g_sim;
    }
    if (!g_pppd) {
        CPppdBackend::Config cfg;
        g_pppd = std::make_shared<CPppdBackend>(cfg);
        DEBUG_LOG(LEVEL_RAS, "dial-up: pppd\n");
    }
    return g_pppd;
}

void SetDefaultRasBackend(std::shared_ptr<IRasBackend> backend)
{
    std::lock_guard<std::mutex> g(g_lock);
    g_given = std::move(backend);
}

} // namespace kvnet
