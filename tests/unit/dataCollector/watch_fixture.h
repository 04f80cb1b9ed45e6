// What the application watch and usage report tests share: a temporary HOME with the log
// folder, a stand-in process list, device lists, the analytics stand-in and a clean table.
#pragma once

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

#include "../commXdata/analytics_stub.h"
#include "main/main.h"
#include "platform/process_list.h"
#include "test_home.h"

// A device list whose strings it owns.
class DeviceList {
public:
    DeviceList() = default;
    ~DeviceList() { ReleaseDevicesInfo(&list); }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // serial may be null: a device without a serial number string.
    DeviceList& Add(uint16_t productId, const char* product, const char* serial, uint16_t revision = 0x0123)
    {
        UsbDeviceInfo& slot = list.devices[list.deviceCount++];
        slot.vendorId = 0x3A7C;
        slot.productId = productId;
        slot.deviceRevision = revision;
        Own(product, slot.productName, slot.productNameLen);
        Own(serial, slot.serialNumber, slot.serialNumberLen);
        return *this;
    }

    UsbDevicesInfo list;

private:
    static void Own(const char* text, char*& field, uint16_t& length)
    {
        if (text != nullptr && *text != '\0') {
            field = strdup(text);
            length = static_cast<uint16_t>(std::strlen(text));
        }
    }
};

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

    std::string Log() const { return ReadFileText(home.file("Library/Application Support/Quenlar/Tidewell.log")); }
    std::string StorePath() const { return home.file("Library/Preferences/com.quenlar.Fetchwick.plist"); }

    TempHome home;
    AnalyticsStub analytics;
    std::vector<std::string> processes;
    MacInfo mac{"5A1B2C3D-0000-4111-8222-0123456789AB", "AMD EPYC", "Debian GNU/Linux 12"};
};
