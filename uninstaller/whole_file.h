// Whole files and streams read into memory.
#pragma once

#include <optional>
#include <string>

namespace uninstaller {

// The file's bytes; nullopt when it cannot be opened or read (a folder, for one).
std::optional<std::string> ReadWholeFile(const std::string& path);

// Everything up to the end of the descriptor's input; nullopt on a read error.
std::optional<std::string> ReadToEnd(int fd);

} // namespace uninstaller
