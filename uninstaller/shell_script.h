// Removal scripts as POSIX shell scripts, run by /bin/sh.
#pragma once

#include "platform.h"

namespace uninstaller {

// Loading reads the script and checks its syntax with "sh -n". A run gives the last
// line of the script's standard output, which must be an integer (no output: no
// result); a non-zero exit status or death by a signal is an error of the run. The
// script's standard error stays the program's.
class ShellScriptRunner : public ScriptRunner {
public:
    std::unique_ptr<Script> load(const std::string& path, std::optional<std::string>& error) override;
};

} // namespace uninstaller
