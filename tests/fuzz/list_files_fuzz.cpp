// The downloaded lists as arbitrary bytes: the header check of both, the target rows into
// the black list, the firmware rows against connected devices and against the updater.
#include <cstring>

#include "fuzz_home.h"

namespace {

UsbDevicesInfo devices;
UsbDevicesInfo none;

void AddDevice(const char* name, uint16_t revision)
{
    UsbDeviceInfo& slot = devices.devices[devices.deviceCount++];
    slot.vendorId = kVendorId;
    slot.productName = strdup(name);
    slot.productNameLen = static_cast<uint16_t>(std::strlen(name));
    slot.deviceRevision = revision;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string applications = FuzzHome() + "/Applications";
    setenv("TIDEWELL_APPLICATIONS_DIR", applications.c_str(), 1);
    std::string contents = applications + "/Quenlar/Tidewell/Fetchwick.app/Contents";
    platform::CreateFolderWithParents(contents);
    const char info[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                        "<key>CFBundleVersion</key><string>1.0.1.5</string></dict></plist>\n";
    WriteInput(contents + "/info.plist", reinterpret_cast<const uint8_t*>(info), sizeof info - 1);
    AddDevice("Deck Unit 2", 0x0123);
    AddDevice("Mixer", 0x0105);
    AddDevice("Caf\xe9", 0x0900);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteInput(fwVerInfoTxtPath, data, size);
    WriteInput(tarProductIdPath, data, size);
    ValidateFileVersion(fwVerInfoTxtPath, "091");
    ValidateFileVersion(tarProductIdPath, "091");
    UpdateTarProductIdList();
    UpdateFirmware(&devices);
    UpdateFwVerTidewell(&none);
    return 0;
}
