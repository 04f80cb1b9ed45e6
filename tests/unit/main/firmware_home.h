// A temporary HOME laid out as the agent's start-up leaves it, with a downloader bundle
// folder of its own, for the tests of the firmware path.
#pragma once

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "main/main.h"
#include "test_home.h"

class FirmwareHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TIDEWELL_APPLICATIONS_DIR", applications_.path().c_str(), 1);
        BuildListPaths();
        MakeFolders(home_.file("Library/Quenlar"));
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
    }
    void TearDown() override
    {
        unsetenv("TIDEWELL_APPLICATIONS_DIR");
        ClearDevices();
    }

    std::string Log() const { return ReadFileText(home_.file("Library/Application Support/Quenlar/Tidewell.log")); }
    std::string HandOff() const { return ReadFileText(fwVerUpTxtPath); }
    std::string Preferences() const { return home_.file("Library/Preferences/com.quenlar.Fetchwick.plist"); }
    std::string BundleFile(const std::string& relative) const
    {
        return applications_.path() + "/Quenlar/Tidewell/Fetchwick.app/Contents/" + relative;
    }

    void WritePreferences(const std::string& dictBody)
    {
        WriteFileText(Preferences(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" +
                                         dictBody + "</dict></plist>\n");
    }
    void InstallUpdaterVersion(const std::string& version)
    {
        WriteFileText(BundleFile("info.plist"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                                                "<dict><key>CFBundleVersion</key><string>" +
                                                    version + "</string></dict></plist>\n");
    }

    // Appends a device to devices_; the test owns the strings until TearDown.
    void AddDevice(const char* productName, uint16_t revision)
    {
        UsbDeviceInfo& slot = devices_.devices[devices_.deviceCount++];
        slot = UsbDeviceInfo{};
        slot.vendorId = kVendorId;
        if (productName != nullptr) {
            slot.productName = strdup(productName);
            slot.productNameLen = static_cast<uint16_t>(std::strlen(productName));
        }
        slot.deviceRevision = revision;
    }
    void ClearDevices()
    {
        for (int i = 0; i < devices_.deviceCount; ++i) {
            std::free(devices_.devices[i].productName);
            devices_.devices[i] = UsbDeviceInfo{};
        }
        devices_.deviceCount = 0;
    }

    TempHome home_;
    TempDir applications_;
    UsbDevicesInfo devices_;
};
