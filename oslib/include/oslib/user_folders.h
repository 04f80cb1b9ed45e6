// The user's folders (NSHomeDirectory and the user Library folder on macOS), and the two
// folders of Tidewell's own files in them.
#pragma once

#include <string>

namespace oslib {

// The configured home (Configuration::home).
std::string HomeFolder();

// The user's Library folder: home + "/Library".
std::string LibraryFolder();

// home + "/Library/Quenlar/": the downloaded lists and their override files.
inline std::string ListFolder() { return HomeFolder() + "/Library/Quenlar/"; }

// Library + "/Application Support/Quenlar/": the log, the agent's lock and the hand-off file.
inline std::string SupportFolder() { return LibraryFolder() + "/Application Support/Quenlar/"; }

// Creates a folder together with its missing parents, each private to the user (0700);
// true when it exists afterwards.
bool CreateFolderWithParents(const std::string& path);

bool PathExists(const std::string& path);

} // namespace oslib
