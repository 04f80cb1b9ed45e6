// The operating system as the agent's modules reach it: one set of backends, installed when
// the agent starts (RunAgent) or by a test, which puts the set it replaced back.
#pragma once

#include <functional>
#include <memory>

#include "platform/device_watcher.h"
#include "platform/host_probe.h"
#include "platform/process.h"
#include "platform/process_list.h"
#include "platform/usb_bus.h"

namespace platform {

// What lives as long as the agent is an object; what each use needs afresh, a factory.
struct Backends {
    std::shared_ptr<UsbBus> usbBus;  // walked by the scans, under _lock
    std::function<std::unique_ptr<DeviceWatcher>()> makeDeviceWatcher;  // one per run of the agent
    std::shared_ptr<HostProbe> hostProbe;
    std::function<std::unique_ptr<ProcessSnapshot>()> takeProcessSnapshot;  // one per look
    std::shared_ptr<Launcher> launcher;  // starts the downloader
};

// This platform's set.
Backends SystemBackends();

// The set installed; empty until one is.
const Backends& Installed();

// Makes `backends` the set installed and returns the one it replaces. Never while a
// second thread of the agent runs.
Backends InstallBackends(Backends backends);

} // namespace platform
