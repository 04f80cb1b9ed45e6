#include "platform/backends.h"

#include <utility>

namespace platform {

namespace {

Backends& InstalledSet()
{
    static Backends backends;
    return backends;
}

} // namespace

Backends SystemBackends()
{
    return Backends{MakeSystemUsbBus(), MakeSystemDeviceWatcher, MakeSystemHostProbe(), TakeSystemProcessSnapshot,
                    MakeSystemLauncher()};
}

const Backends& Installed() { return InstalledSet(); }

Backends InstallBackends(Backends backends)
{
    std::swap(InstalledSet(), backends);
    return backends;
}

} // namespace platform
