// The user's folders (NSHomeDirectory and the user Library folder on macOS).
#pragma once

#include <string>

namespace platform {

// $HOME, or the password database's entry when HOME is unset or empty.
std::string HomeFolder();

// The user's Library folder: home + "/Library".
std::string LibraryFolder();

// Creates a folder together with its missing parents, each private to the user (0700);
// true when it exists afterwards.
bool CreateFolderWithParents(const std::string& path);

bool PathExists(const std::string& path);

} // namespace platform
