// USB scan. (Built with the USB scan.)
#include "main/main.h"

int CheckUSBAudio(int, UsbDevicesInfo*) { return 0; }
