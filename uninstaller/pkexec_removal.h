// The removal with rights through polkit.
#pragma once

#include "platform.h"

namespace uninstaller {

// Runs "pkexec <helper>" and nothing else: the root-owned helper installed beside the
// uninstaller's bundle, whose polkit action names it and tells the administrator what is
// being approved. Whether rights are needed is decided on the downloader's bundle as the
// user sees it (TIDEWELL_APPLICATIONS_DIR applies); the helper itself takes nothing from
// the user. pkexec is looked up in PATH.
class PkexecRemoval : public PrivilegedRemoval {
public:
    Outcome removeDownloader() override;
};

} // namespace uninstaller
