// Host information. (Built with usage reporting.)
#include "main/main.h"

int CollectMacInfo(MacInfo*) { return -1; }
