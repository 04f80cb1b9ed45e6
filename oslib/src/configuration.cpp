#include "oslib/configuration.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace oslib {

namespace {

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string VariableOr(const char* name, const char* fallback)
{
    std::string value = Variable(name);
    return value.empty() ? fallback : value;
}

std::string HomeFolder()
{
    std::string home = Variable("HOME");
    if (!home.empty()) {
        return home;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

// The service manager names the stream it connects standard error to; a file handed on
// to a child that redirected standard error is another one.
bool StandardErrorIsJournal(const std::string& journalStream)
{
    unsigned long long device = 0;
    unsigned long long inode = 0;
    int end = 0;
    struct stat info {};
    return journalStream.find_first_not_of("0123456789:") == std::string::npos &&
           std::sscanf(journalStream.c_str(), "%llu:%llu%n", &device, &inode, &end) == 2 &&
           static_cast<size_t>(end) == journalStream.size() && fstat(STDERR_FILENO, &info) == 0 &&
           info.st_dev == device && info.st_ino == inode;
}

std::string FirstSet(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (std::string value = Variable(name); !value.empty()) {
            return value;
        }
    }
    return "";
}

// A relative path is invalid and ignored; trailing slashes go, so that paths built on it
// name each folder one way.
std::string BaseDirectory(const char* name)
{
    std::string path = Variable(name);
    if (path.rfind('/', 0) != 0) {
        return "";
    }
    path.erase(std::max<size_t>(path.find_last_not_of('/') + 1, 1));
    return path;
}

Configuration& Installed()
{
    static Configuration configuration;
    return configuration;
}

} // namespace

Configuration ReadConfiguration()
{
    Configuration configuration;
    configuration.home = HomeFolder();
    configuration.applicationsFolder = VariableOr("TIDEWELL_APPLICATIONS_DIR", TIDEWELL_APPLICATIONS_DIR);
    configuration.standardErrorIsJournal = StandardErrorIsJournal(Variable("JOURNAL_STREAM"));
    configuration.analyticsHost = VariableOr("TIDEWELL_ANALYTICS_HOST", TIDEWELL_ANALYTICS_HOST);
    configuration.analyticsSite = VariableOr("TIDEWELL_ANALYTICS_SITE", TIDEWELL_ANALYTICS_SITE);
    configuration.caBundle = Variable("CURL_CA_BUNDLE");
    // The common convention: any value but "0".
    configuration.doNotTrack = VariableOr("DO_NOT_TRACK", "0") != "0";
    configuration.dataHome = BaseDirectory("XDG_DATA_HOME");
    configuration.stateHome = BaseDirectory("XDG_STATE_HOME");
    configuration.configHome = BaseDirectory("XDG_CONFIG_HOME");
    configuration.messageLocale = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    configuration.languages = Variable("LANGUAGE");
    return configuration;
}

const Configuration& Configured() { return Installed(); }

Configuration InstallConfiguration(Configuration configuration)
{
    std::swap(Installed(), configuration);
    return configuration;
}

} // namespace oslib
