// A temporary HOME laid out as the agent's start-up leaves it, with a downloader bundle
// folder of its own, for the tests of the firmware path.
#pragma once

#include <gtest/gtest.h>
#include <string>

#include "device_list.h"
#include "main/main.h"
#include "test_home.h"

class FirmwareHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildListPaths();
        MakeFolders(home_.file("Library/Quenlar"));
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
    }

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

    // A device of the vendor with only a product name (null: none).
    void AddDevice(const char* productName, uint16_t revision) { devices_.Add(0, productName, nullptr, revision); }

    TempHome home_;
    TempDir applications_;
    ScopedEnv applicationsEnv_{"TIDEWELL_APPLICATIONS_DIR", applications_.path()};
    DeviceList devices_;
};
