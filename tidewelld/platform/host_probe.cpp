#include "host_probe.h"

namespace platform {

namespace {

std::function<std::unique_ptr<HostProbe>()>& InstalledFactory()
{
    static std::function<std::unique_ptr<HostProbe>()> factory;
    return factory;
}

} // namespace

std::unique_ptr<HostProbe> MakeHostProbe()
{
    return InstalledFactory() ? InstalledFactory()() : MakeSystemHostProbe();
}

void SetHostProbeFactory(std::function<std::unique_ptr<HostProbe>()> factory)
{
    InstalledFactory() = std::move(factory);
}

} // namespace platform
