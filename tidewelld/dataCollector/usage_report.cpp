// Usage reports. (Built with usage reporting.)
#include "main/main.h"

int sendData(MacInfo&, UsbDeviceInfo&, AppInfo&) { return -1; }
int sendData(MacInfo&, _xdate_save_info_t&) { return -1; }
void saveData(const _xdate_send_info_t*) {}
void SendSavedInfo(MacInfo*) {}
void NotifyDeviceConnect(bool) {}
