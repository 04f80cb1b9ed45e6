// Device lists. (Built with the USB scan.)
#include "main/main.h"

void InitDevicesInfo(UsbDevicesInfo* list, const IdArray&, const IdArray&) { list->deviceCount = 0; }
bool CollectDeviceInfo(int, UsbDevicesInfo* list, int) { return list->deviceCount != 0; }
bool IsDuplicateDevices(UsbDevicesInfo&) { return false; }
bool RemoveDuplicateDevices(UsbDevicesInfo&) { return false; }
bool IsBlackListDevices(UsbDevicesInfo&) { return false; }
bool RemoveBlackListDevices(UsbDevicesInfo&) { return false; }
void CopyDevicesInfo(UsbDevicesInfo* dst, const UsbDevicesInfo*) { dst->deviceCount = 0; }
void ReleaseDevicesInfo(UsbDevicesInfo* list) { list->deviceCount = 0; }
std::string DeviceVersionText(uint16_t) { return std::string(); }
