// The Linux host probe, with the files it reads made replaceable for tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host_probe.h"

namespace platform {

struct LinuxHostFiles {
    std::vector<std::string> osRelease;  // the first that exists is read
    std::string cpuinfo;
    std::string deviceTreeModel;
};

LinuxHostFiles SystemHostFiles();

// Hardware UUID: the machine id hashed with this product's own application id (the raw
// machine id must not leave the host). System version: PRETTY_NAME of os-release,
// else NAME, else "Linux".
// Processor: "model name" of cpuinfo; chip: the device-tree model, else cpuinfo's "Hardware".
std::unique_ptr<HostProbe> MakeLinuxHostProbe(LinuxHostFiles files);

} // namespace platform
