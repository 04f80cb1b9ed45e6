// List download. (Built with the firmware path.)
#include "commXdata/commXdata.h"

char fwUpdateURL[1024] = "https://" TIDEWELL_LIST_HOST "/application/tidewell/firm_version_info.txt";
char tarProductURL[1024] = "https://" TIDEWELL_LIST_HOST "/application/tidewell/tar_product_info.txt";

size_t commXdata::onFirmVersionListReceive(char*, size_t size, size_t count, void*) { return size * count; }
unsigned commXdata::getFirmVersionList(const char*) { return 1; }
size_t commXdata::onTargetProductIDListReceive(char*, size_t size, size_t count, void*) { return size * count; }
unsigned commXdata::getTargetProductIDList(const char*) { return 1; }
void SetTemporaryURL() {}
void SetFwUpdateInfoURL() {}
void SetTarProductURL() {}
