#include "pkexec_removal.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/system_log.h"
#include "oslib/text.h"

namespace uninstaller {

namespace {

// pkexec's own results: the prompt was dismissed; or no authorisation, whether refused or
// never asked for.
constexpr int kDismissed = 126;
constexpr int kNotAuthorized = 127;
// What pkexec says on standard error when the administrator was asked and said no. With any
// other 127 nobody was asked: no authentication agent, polkit unreachable, the program gone.
constexpr const char kRefusal[] = "Error executing command as another user: Not authorized";

// Why the helper may not be offered to the administrator; empty when it may.
std::string HelperFault(const std::string& helper)
{
    struct stat info;
    if (stat(helper.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IXUSR) == 0) {
        return "no program";
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "not root's alone to change";
    }
    return "";
}

} // namespace

PrivilegedRemoval::Outcome PkexecRemoval::removeDownloader(std::string&)
{
    // Rights only help where the folder is root's: a bundle in a folder the user may write
    // is the script's to remove, and the helper would refuse it anyway.
    struct stat info;
    if (lstat(fetchwick::BundlePath().c_str(), &info) != 0 || access(fetchwick::BundleFolder().c_str(), W_OK) == 0) {
        return Outcome::kNotNeeded;
    }
    if (std::string fault = HelperFault(helper_); !fault.empty()) {
        oslib::SystemLog("%s: %s; no administrator was asked", helper_.c_str(), fault.c_str());
        return Outcome::kFailed;
    }
    // The helper's complaints come on pkexec's standard error too.
    ChildResult child = RunChild({pkexec_, helper_}, Captured::kStderr);
    std::string failure = ChildFailure(child, pkexec_);
    if (failure.empty()) {
        return Outcome::kRemoved;
    }
    const std::string said = oslib::Trimmed(child.output);
    oslib::SystemLog("%s %s: %s%s%s", pkexec_.c_str(), helper_.c_str(), failure.c_str(), said.empty() ? "" : ": ",
                     said.c_str());
    const int status = child.started && child.waitError == 0 && WIFEXITED(child.status) ? WEXITSTATUS(child.status) : -1;
    const bool refused = status == kDismissed || (status == kNotAuthorized && said.find(kRefusal) != std::string::npos);
    return refused ? Outcome::kRefused : Outcome::kFailed;
}

} // namespace uninstaller
