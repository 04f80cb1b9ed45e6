// Every point where Tidewell meets the downloader application Fetchwick.
#pragma once

#include <string>

#include "oslib/configuration.h"
#include "oslib/user_folders.h"

namespace fetchwick {

// "/Applications", or what the build or the configuration puts in its place.
inline const std::string& ApplicationsFolder() { return oslib::Configured().applicationsFolder; }

// The folder that holds the bundle: "/Applications/Quenlar/Tidewell".
inline std::string BundleFolder() { return ApplicationsFolder() + "/Quenlar/Tidewell"; }

inline const char* kBundleName = "Fetchwick.app";

inline std::string BundlePath() { return BundleFolder() + "/" + kBundleName; }

// The executable, started by this fixed path for every user.
inline std::string ExecutablePath() { return BundlePath() + "/Contents/MacOS/Fetchwick"; }

// Installed version: key "CFBundleVersion" of this file (lower-case "i", as the bundle ships it).
inline std::string InfoPlistPath() { return BundlePath() + "/Contents/info.plist"; }
inline const char* kVersionKey = "CFBundleVersion";

// Launch modes; the trailing blank is part of the argument.
inline const char* kModeUpdater = "-m ";
inline const char* kModeFirmware = "-f ";

// Preferences file, relative to the user's Library folder.
inline const char* kPreferencesRelativePath = "/Preferences/com.quenlar.Fetchwick.plist";
inline const char* kIntervalKey = "FwInterval";
inline const char* kLastCheckDateKey = "lastCheckDate";

// Hand-off file, passed with the launch mode.
inline std::string HandOffPath() { return oslib::SupportFolder() + "firm_version_up.txt"; }

// One line of the hand-off file: "<product>,<installed>,<latest>,<package address>", the
// updater's own row with the product "Tidewell".
struct HandOffRow {
    std::string product;
    std::string installed;
    std::string latest;      // a digit, ".", digits: the list's display form
    std::string packageUrl;  // http:// or https://, any letter case
};

// False when the line is no such row. A product name and an address may both hold commas:
// the address starts at the first ",http://" or ",https://" that leaves a name, an
// installed version and a latest version before it.
bool ParseHandOffRow(const std::string& line, HandOffRow& row);

} // namespace fetchwick
