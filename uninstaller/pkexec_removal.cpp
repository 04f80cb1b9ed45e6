#include "pkexec_removal.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bundle.h"
#include "child_process.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/system_log.h"

namespace uninstaller {

namespace {

// pkexec's own results: the prompt was dismissed, or no authorisation was obtained.
constexpr int kDismissed = 126;
constexpr int kNotAuthorized = 127;

} // namespace

PrivilegedRemoval::Outcome PkexecRemoval::removeDownloader()
{
    // Rights only help where the folder is root's: a bundle in a folder the user may write
    // is the script's to remove, and the helper would refuse it anyway.
    struct stat info;
    if (lstat(fetchwick::BundlePath().c_str(), &info) != 0 || access(fetchwick::BundleFolder().c_str(), W_OK) == 0) {
        return Outcome::kNotNeeded;
    }
    const std::string helper =
        (std::filesystem::path(MainBundle().path()).parent_path() / TIDEWELL_REMOVAL_HELPER).string();
    ChildResult child = RunChild({"pkexec", helper}, Captured::kStdout);
    std::string failure = ChildFailure(child, "pkexec");
    if (failure.empty()) {
        return Outcome::kRemoved;
    }
    oslib::SystemLog("pkexec %s: %s", helper.c_str(), failure.c_str());
    bool refused = child.started && child.waitError == 0 && WIFEXITED(child.status) &&
                   (WEXITSTATUS(child.status) == kDismissed || WEXITSTATUS(child.status) == kNotAuthorized);
    return refused ? Outcome::kRefused : Outcome::kFailed;
}

} // namespace uninstaller
