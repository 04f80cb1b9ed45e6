#include "child_process.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "oslib/spawn.h"

namespace uninstaller {

namespace {

// Reads the pipe to its end, so that the child never blocks on it, keeping the last
// kCapturedBytes. A read error ends the capture with what was read.
std::string ReadTail(int fd)
{
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
        if (text.size() > 2 * kCapturedBytes) {
            text.erase(0, text.size() - kCapturedBytes);
        }
    }
    return text.size() > kCapturedBytes ? text.substr(text.size() - kCapturedBytes) : text;
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& argv, Captured captured)
{
    ChildResult result;
    using oslib::ChildStream;
    const bool toStdout = captured != Captured::kStderr;
    const ChildStream others = captured == Captured::kStdoutAlone ? ChildStream::kDiscarded : ChildStream::kInherited;
    oslib::Child child;
    if (oslib::Spawn(argv, toStdout ? ChildStream::kPiped : others, toStdout ? others : ChildStream::kPiped, child) != 0) {
        return result;
    }
    result.started = true;
    result.output = ReadTail(child.pipe.get());
    child.pipe.reset();
    result.waitError = oslib::WaitForChild(child.pid, result.status);
    return result;
}

std::string ChildFailure(const ChildResult& child, const std::string& program)
{
    if (!child.started) {
        return "Cannot start " + program;
    }
    if (child.waitError != 0) {
        return "Cannot wait for " + program + ": " + std::strerror(child.waitError);
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
