#include "package_database.h"

#include <sstream>
#include <vector>

#include "child_process.h"
#include "oslib/text.h"

namespace uninstaller {

bool PackageOwns(const std::string& database, const std::string& package, const std::string& path)
{
    // "-S" takes a path without wildcards as that exact path, and prints
    // "<package>[, <package>...]: <path>"; it says on standard error when no package has it.
    if (path.find_first_of("*?[]\\") != std::string::npos) {
        return false;
    }
    std::vector<std::string> command{"/usr/bin/dpkg-query", "-S", path};
    if (!database.empty()) {
        command.insert(command.begin() + 1, "--admindir=" + database);
    }
    ChildResult query = RunChild(command, Captured::kStdoutAlone);
    if (!ChildFailure(query, "dpkg-query").empty()) {
        return false;
    }
    const std::string tail = ": " + path;
    std::istringstream lines(query.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() <= tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
            continue;
        }
        std::istringstream owners(line.substr(0, line.size() - tail.size()));
        for (std::string owner; std::getline(owners, owner, ',');) {
            owner = oslib::Trimmed(owner);
            // "<name>:<architecture>" for a package of several architectures.
            if (owner == package || owner.rfind(package + ":", 0) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace uninstaller
