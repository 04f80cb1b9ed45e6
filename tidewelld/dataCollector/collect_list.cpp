// Both list downloads. (Built with the firmware path.)
#include "main/main.h"

int CollectVariousList(const char*, const char*) { return 3; }
