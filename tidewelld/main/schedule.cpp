// Check schedule: when the lists are downloaded. (Built with the firmware path.)
#include "main/main.h"

bool DownloadVariousList(double) { return false; }
bool DownloadVariousListRetry() { return false; }
int32_t diffFileDateAndCurDate() { return 0; }
bool HasPastIntervalValue() { return false; }
