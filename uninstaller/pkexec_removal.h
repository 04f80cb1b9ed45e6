// The removal with rights through polkit, for a bundle that no package owns.
#pragma once

#include "platform.h"

namespace uninstaller {

// Runs "<pkexec> <helper>" and nothing else, both by the absolute paths the build fixed: the
// root-owned helper of the installation, whose polkit action names it and tells the
// administrator what is being approved. Never a path from the running program's own place,
// which a user may have copied and changed. Whether rights are needed is decided on the
// downloader's bundle as the user sees it (TIDEWELL_APPLICATIONS_DIR applies); the helper
// itself takes nothing from the user. A helper that is missing, or that anyone but root may
// change, is never offered to the administrator.
class PkexecRemoval : public PrivilegedRemoval {
public:
    PkexecRemoval(std::string pkexec, std::string helper) : pkexec_(std::move(pkexec)), helper_(std::move(helper)) {}
    Outcome removeDownloader(std::string& byHand) override;

private:
    std::string pkexec_;
    std::string helper_;
};

} // namespace uninstaller
