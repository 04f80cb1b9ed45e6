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

// Preferences file (oslib/fetchwick_preferences.h reads and writes it).
inline std::string PreferencesPath() { return oslib::PreferencesFolder() + "com.quenlar.Fetchwick.plist"; }
inline const char* kIntervalKey = "FwInterval";
inline const char* kLastCheckDateKey = "lastCheckDate";

// Hand-off file, passed with the launch mode.
inline std::string HandOffPath() { return oslib::SupportFolder() + "firm_version_up.txt"; }

} // namespace fetchwick
