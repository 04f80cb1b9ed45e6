#include "child_process.h"

#include <sys/wait.h>

#include "oslib/spawn.h"

namespace uninstaller {

ChildResult RunChild(const std::vector<std::string>& argv, Captured captured)
{
    ChildResult result;
    const bool toStdout = captured == Captured::kStdout;
    oslib::Child child;
    if (oslib::Spawn(argv, toStdout ? oslib::ChildStream::kPiped : oslib::ChildStream::kInherited,
                     toStdout ? oslib::ChildStream::kInherited : oslib::ChildStream::kPiped, child) != 0) {
        return result;
    }
    result.started = true;
    oslib::ReadToEnd(child.pipe.get(), result.output);
    child.pipe.reset();
    result.status = oslib::WaitForChild(child.pid);
    return result;
}

std::string ChildFailure(const ChildResult& child, const std::string& program)
{
    if (!child.started) {
        return "Cannot start " + program;
    }
    if (WIFSIGNALED(child.status)) {
        return "killed by signal " + std::to_string(WTERMSIG(child.status));
    }
    if (WEXITSTATUS(child.status) != 0) {
        return "exit status " + std::to_string(WEXITSTATUS(child.status));
    }
    return "";
}

} // namespace uninstaller
