// List files: the header check of both downloaded lists and the target product list.
#pragma once

#include <string>

#include "main/main.h"

constexpr const char* kListVersion = "091";  // the FormatVersion both list files carry

bool ValidateFileVersion(const std::string& path, const std::string& expectedVersion);
// Refills blackList from the target product list.
bool UpdateTarProductIdList() REQUIRES(_lock);
