// DJ application watch. (Built with usage reporting.)
#include "main/main.h"

AppExecStatus _appStatus[kWatchedApps];

uint16_t CalcSerialHash(const char*) { return 0; }
void UpdateAppStatus(uint8_t, UsbDevicesInfo*) {}
void CollectAppInfo(MacInfo*, UsbDevicesInfo*) {}
void searchProcess(AppExecStatus (&)[kWatchedApps]) {}
void copyAPStatus(AppExecStatus (&)[kWatchedApps]) {}
