// What the application watch and usage report tests share: a temporary HOME with the log
// folder, a stand-in process list, device lists, the analytics stand-in and a clean table.
#pragma once

#include <gtest/gtest.h>

#include "analytics_stub.h"
#include "device_list.h"
#include "main/main.h"
#include "platform/process_list.h"
#include "test_home.h"

class WatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolders(home.file("Library/Application Support/Quenlar"));
        platform::SetProcessSnapshotSource([this] { return std::make_unique<platform::ProcessLines>(processes); });
    }
    void TearDown() override
    {
        platform::SetProcessSnapshotSource(nullptr);
        for (AppExecStatus& row : _appStatus) {
            row.execStatus.clear();
            row.lastExecStatus.clear();
        }
        debugLevel = 3;
    }

    // One application watch of the tick: the table follows the list, then the collection.
    void Collect(DeviceList& devices)
    {
        UpdateAppStatus(0, &devices.list);
        CollectAppInfo(&mac, &devices.list);
    }

    void Run(const std::string& application)
    {
        processes.push_back("  4242 ??       S      0:01 /Applications/" + application + ".app/Contents/MacOS/" +
                            application);
    }

    std::string StorePath() const { return home.file("Library/Preferences/com.quenlar.Fetchwick.plist"); }

    TempHome home;
    AnalyticsStub analytics;
    std::vector<std::string> processes;
    MacInfo mac{"5A1B2C3D-0000-4111-8222-0123456789AB", "AMD EPYC", "Debian GNU/Linux 12"};
};
