// Update decision. (Built with the firmware path.)
#include "main/main.h"

bool UpdateFirmware(UsbDevicesInfo*) { return false; }
bool UpdateFwVerTidewell(UsbDevicesInfo*) { return false; }
