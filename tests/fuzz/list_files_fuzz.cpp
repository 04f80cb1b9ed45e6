// The downloaded lists as arbitrary bytes, checked against connected devices and the updater.
#include "../support/device_list.h"
#include "fuzz_home.h"

static DeviceList devices, none;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string applications = FuzzHome() + "/Applications";
    setenv("TIDEWELL_APPLICATIONS_DIR", applications.c_str(), 1);
    const std::string contents = applications + "/Quenlar/Tidewell/Fetchwick.app/Contents";
    std::filesystem::create_directories(contents);
    std::ofstream(contents + "/info.plist") << "<plist><dict><key>CFBundleVersion</key><string>1.0.1.5</string>"
                                               "</dict></plist>\n";
    devices.Add(0, "Deck Unit 2", nullptr, 0x0123).Add(0, "Mixer", nullptr, 0x0105).Add(0, "Caf\xe9", nullptr, 0x0900);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteInput(fwVerInfoTxtPath, data, size);
    WriteInput(tarProductIdPath, data, size);
    ValidateFileVersion(fwVerInfoTxtPath, "091");
    ValidateFileVersion(tarProductIdPath, "091");
    UpdateTarProductIdList();
    UpdateFirmware(&devices.list);
    UpdateFwVerTidewell(&none.list);
    return 0;
}
