// A HOME as the agent's start-up leaves it, on stand-in backends; the configuration and the
// backends are put back at the end, and the agent's process-wide state is reset.
#pragma once

#include <cstdio>
#include <sys/stat.h>

#include "commXdata/commXdata.h"
#include "dataCollector/preferences.h"
#include "dataCollector/usage_report.h"
#include "dataCollector/usb_scan.h"
#include "device_list.h"
#include "fake_usb.h"
#include "main/main.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"
#include "platform/backends.h"
#include "test_home.h"

using ScopedBackends = Scoped<platform::Backends, platform::Installed, platform::InstallBackends>;

class AgentHome : public ::testing::Test {
protected:
    AgentHome()
    {
        BuildListPaths();
        InitDeviceLists();
    }
    ~AgentHome() override { ResetAgentState(); }

    void PointListsAt(const std::string& base)
    {
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s/fw", base.c_str());
        std::snprintf(tarProductURL, sizeof tarProductURL, "%s/pl", base.c_str());
    }

    std::string HandOff() const { return ReadFileText(fwVerUpTxtPath); }
    std::string BundleFile(const std::string& relative) const
    {
        return applications_.path() + "/Quenlar/Tidewell/Fetchwick.app/Contents/" + relative;
    }
    void WritePreferences(const std::string& body) const { WriteFileText(fetchwick::PreferencesPath(), Plist(body)); }
    void InstallUpdaterVersion(const std::string& version) const
    {
        WriteFileText(BundleFile("info.plist"), Plist("<key>CFBundleVersion</key><string>" + version + "</string>"));
    }
    // A stand-in downloader that adds its mode to Launches() at every start.
    void InstallRecordingDownloader() const
    {
        WriteFileText(BundleFile("MacOS/Fetchwick"), "#!/bin/sh\necho \"$1\" >> \"" + Launches() + "\"\n");
        chmod(BundleFile("MacOS/Fetchwick").c_str(), 0755);
    }
    std::string Launches() const { return applications_.path() + "/launches"; }

    TempHome home_;
    oslib::UserFolders folders_;
    TempDir applications_;
    ScopedConfiguration applicationsConfigured_{
        [this](oslib::Configuration& c) { c.applicationsFolder = applications_.path(); }};
    // An empty bus and no processes, until a test plugs or starts some; the system's launcher.
    std::shared_ptr<FakeBus> bus_ = std::make_shared<FakeBus>();
    std::vector<std::string> processes_;
    ScopedBackends backends_{[this](platform::Backends& b) {
        b = platform::SystemBackends();
        b.usbBus = bus_;
        b.takeProcessSnapshot = [this] { return std::make_unique<platform::ProcessLines>(processes_); };
    }};
    DeviceList devices_;

private:
    static std::string Plist(const std::string& body) { return "<plist><dict>" + body + "</dict></plist>\n"; }
};
