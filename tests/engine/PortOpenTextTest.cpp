// The message line when the modem's port will not open: the reason and what
// to do for a busy or forbidden port, the bare text otherwise.
#include "EngineFixture.h"

#include "engine/CommPortLink.h"
#include "engine/DmTexts.h"
#include "host/PortOpenText.h"
#include "sim/ModemSimulator.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;

namespace {

bool StartsWithBareText(const std::string& s)
{
    return s.rfind(dmtext::kPortNotOpened, 0) == 0;
}

} // namespace

TEST(PortOpenText, BusyAndForbiddenPortsSayWhichAndWhatToDo)
{
    for (int err : {EACCES, EPERM}) {
        const std::string t = PortNotOpenedText(err);
        EXPECT_TRUE(StartsWithBareText(t)) << t;
        EXPECT_NE(t.find("No permission"), std::string::npos) << t;
        EXPECT_NE(t.find("dialout"), std::string::npos) << t;
        EXPECT_EQ(t.find("Another program"), std::string::npos) << t;
    }
    for (int err : {EBUSY, EWOULDBLOCK}) {
        const std::string t = PortNotOpenedText(err);
        EXPECT_TRUE(StartsWithBareText(t)) << t;
        EXPECT_NE(t.find("Another program"), std::string::npos) << t;
        EXPECT_EQ(t.find("No permission"), std::string::npos) << t;
    }
    // Anything else (no device, not a tty, unknown) keeps the old text.
    for (int err : {0, ENOENT, ENOTTY, ENODEV, EIO})
        EXPECT_EQ(PortNotOpenedText(err), dmtext::kPortNotOpened) << err;
}

TEST(PortOpenText, TheEngineShowsABusyPortOnTheMessageLine)
{
    kvtest::TempSettings settings;
    sim::ModemSimulator::Options o;
    o.registerDevice = false;
    sim::ModemSimulator simulator(o);
    ASSERT_TRUE(simulator.Start());

    // Another program holds the modem's port the way a serial program does
    // (exclusive tty and a lock). The child of this threaded process only
    // makes system calls: no threads after fork.
    const std::string path = simulator.SlavePath();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    close(ready[1]); // a child that dies unheard ends the read
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);

    CHeadlessHost host;
    CCommPort port;
    CCommPortLink link{port};
    CDmEngine engine{host, link};
    port.SetDevicePath(simulator.SlavePath());
    engine.SetDiscovery([] { return PortChoice{1, DEVICE_KIND_NV}; });
    const bool opened = engine.UserDmRestart();
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_EQ(ok, 'y');
    EXPECT_FALSE(opened);
    EXPECT_EQ(host.MessageLine(), PortNotOpenedText(EBUSY));
    EXPECT_EQ(link.OpenError(), EBUSY);

    // Once the other program lets go, a restart opens the port.
    EXPECT_TRUE(engine.UserDmRestart());
    engine.StopDmEngine();
    simulator.Stop();
}
