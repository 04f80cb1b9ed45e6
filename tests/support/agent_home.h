// A HOME as the agent's start-up leaves it; the agent's process-wide state is reset at the end.
#pragma once

#include <cstdio>
#include <sys/stat.h>

#include "commXdata/commXdata.h"
#include "dataCollector/app_table.h"
#include "dataCollector/preferences.h"
#include "dataCollector/usage_report.h"
#include "dataCollector/usb_scan.h"
#include "device_list.h"
#include "fake_usb.h"
#include "main/check_interval.h"
#include "main/main.h"
#include "main/schedule.h"
#include "oslib/icu_date.h"
#include "oslib/log.h"
#include "platform/host_probe.h"
#include "platform/process_list.h"
#include "test_home.h"

class AgentHome : public ::testing::Test {
protected:
    AgentHome()
    {
        BuildListPaths();
        InitDeviceLists();
        MakeFolders(home_.file("Library/Quenlar"));
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
    }
    ~AgentHome() override
    {
        if (bus_ != nullptr) {
            // An empty scan lets go of what the last one kept.
            bus_->plugged.clear();
            UsbDevicesInfo empty;
            UnansweredDevices unanswered;
            CheckUSBAudio(kVendorId, &empty, unanswered);
            ReleaseDevicesInfo(&empty);
        }
        platform::InstallUsbBus(nullptr);
        platform::SetProcessSnapshotSource(nullptr);
        platform::SetHostProbeFactory(nullptr);
        ReleaseDevicesInfo(&_usbQnlDevInfo);
        ReleaseDevicesInfo(&_usbQnlAllDevInfo);
        whiteList.clear();
        blackList.clear();
        for (AppExecStatus& row : _appStatus) {
            row.execStatus.clear();
            row.lastExecStatus.clear();
        }
        NotifyDeviceConnect(false);
        SetUsageReportsAllowed(true);
        _connect = 0;
        _macInfo = MacInfo{};
        _schedule = DownloadSchedule{};
        _clock = oslib::NowMillis;
        debugLevel = 3;
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", savedFw_.c_str());
        std::snprintf(tarProductURL, sizeof tarProductURL, "%s", savedPl_.c_str());
    }

    FakeBus& InstallFakeBus()
    {
        auto bus = std::make_unique<FakeBus>();
        bus_ = bus.get();
        platform::InstallUsbBus(std::move(bus));
        return *bus_;
    }
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
    void WritePreferences(const std::string& body) const { WriteFileText(FetchwickPreferencesPath(), Plist(body)); }
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
    TempDir applications_;
    ScopedEnv applicationsEnv_{"TIDEWELL_APPLICATIONS_DIR", applications_.path()};
    DeviceList devices_;

private:
    static std::string Plist(const std::string& body) { return "<plist><dict>" + body + "</dict></plist>\n"; }
    FakeBus* bus_ = nullptr;
    const std::string savedFw_ = fwUpdateURL, savedPl_ = tarProductURL;
};
