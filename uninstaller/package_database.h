// Which installed Debian package owns a path, as dpkg's database says.
#pragma once

#include <string>

namespace uninstaller {

// Whether `package` is among the installed packages that own `path`, asked of dpkg-query
// with the database in the folder `database` (empty: dpkg's own). False where dpkg is missing.
bool PackageOwns(const std::string& database, const std::string& package, const std::string& path);

} // namespace uninstaller
