// List files: header validation and the target product list. (Built with the firmware path.)
#include "main/main.h"

bool ValidateFileVersion(const std::string&, const std::string&) { return false; }
bool UpdateTarProductIdList() { return true; }
