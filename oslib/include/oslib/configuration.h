// What the environment of a program sets for packaging and tests, read once when it starts
// and constant after: code reads Configured(), never the environment. An empty variable
// counts as unset.
#pragma once

#include <string>

namespace oslib {

struct Configuration {
    std::string home;                // HOME, else the password database's entry, else "/"
    std::string applicationsFolder;  // TIDEWELL_APPLICATIONS_DIR, else the build's "/Applications"
    bool standardErrorIsJournal = false;  // JOURNAL_STREAM ("<device>:<inode>") names standard error
    // The agent's.
    std::string analyticsHost;  // TIDEWELL_ANALYTICS_HOST (host or host:port), else the build's
    std::string analyticsSite;  // TIDEWELL_ANALYTICS_SITE, else the build's
    std::string caBundle;       // CURL_CA_BUNDLE: trusted instead of the system's store; empty: none
    bool doNotTrack = false;    // DO_NOT_TRACK set to anything but "0": no usage reports
    // The XDG base directories, each when it is an absolute path; empty: the default in the home.
    std::string dataHome;       // XDG_DATA_HOME; home + "/.local/share"
    std::string stateHome;      // XDG_STATE_HOME; home + "/.local/state"
    std::string configHome;     // XDG_CONFIG_HOME; home + "/.config"
    // The uninstaller's.
    std::string messageLocale;  // the first of LC_ALL, LC_MESSAGES and LANG that is set
    std::string languages;      // LANGUAGE, colon-separated
};

// This process's environment, the build's values where it sets none.
Configuration ReadConfiguration();

// The configuration installed; empty until a program (at start-up) or a test installs one.
const Configuration& Configured();

// Makes `configuration` the one installed and returns the one it replaces. Never while
// another thread of the program runs.
Configuration InstallConfiguration(Configuration configuration);

} // namespace oslib
