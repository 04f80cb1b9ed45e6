#include "host_probe.h"

#include <cstdio>

#include "oslib/text.h"
#include "process.h"

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

std::optional<std::string> ReadMarkedLine(const std::string& command, const std::string& marker)
{
    ShellPipe pipe(command);
    if (pipe.stream() == nullptr) {
        return std::nullopt;
    }
    char line[512] = {};
    bool read = std::fgets(line, sizeof line, pipe.stream()) != nullptr;
    // Like the profiler's reader: a line that ends the output without a line end counts
    // as no answer.
    bool atEnd = !read || std::feof(pipe.stream());
    pipe.close();
    if (atEnd) {
        return std::nullopt;
    }
    std::string text(line);
    size_t at = text.find(marker);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    return oslib::Trimmed(text.substr(at + marker.size()));
}

} // namespace platform
