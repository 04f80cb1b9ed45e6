// The removal of the package that owns the downloader's bundle, through the system's
// package service, so that the package manager's records stay right.
#pragma once

#include "platform.h"

namespace uninstaller {

// When dpkg's database (in the folder `database`) says that `package` owns the downloader's
// bundle, asks PackageKit on the system bus to remove that package: it resolves the name to
// the installed package's id, as PackageKit's clients do, and lets PackageKit ask polkit for
// an administrator, the one prompt. Where the service is missing or fails, the package stays
// (kFailed), and `byHand` holds the command that removes it. A bundle that no package owns is
// `unowned`'s to remove.
class PackageKitRemoval : public PrivilegedRemoval {
public:
    PackageKitRemoval(std::string package, std::string database, PrivilegedRemoval& unowned)
        : package_(std::move(package)), database_(std::move(database)), unowned_(unowned)
    {
    }
    Outcome removeDownloader(std::string& byHand) override;

private:
    // kRemoved, kRefused, or kFailed with `why` set.
    Outcome removePackage(std::string& why);

    std::string package_;
    std::string database_;
    PrivilegedRemoval& unowned_;
};

} // namespace uninstaller
