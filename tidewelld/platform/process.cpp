#include "process.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <sys/wait.h>

#include "oslib/spawn.h"

namespace platform {

namespace {

std::mutex detachedLock;
std::vector<pid_t> detachedChildren;

} // namespace

bool SpawnDetached(const std::string& path, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    std::lock_guard<std::mutex> guard(detachedLock);
    // Room first: a child that started must be remembered, or it is never reaped.
    detachedChildren.reserve(detachedChildren.size() + 1);
    oslib::Child child;
    int rc = oslib::Spawn(argv, oslib::ChildStream::kDiscarded, oslib::ChildStream::kDiscarded, child);
    if (rc != 0) {
        errno = rc;
        return false;
    }
    detachedChildren.push_back(child.pid);
    return true;
}

void ReapDetachedChildren()
{
    std::lock_guard<std::mutex> guard(detachedLock);
    auto ended = [](pid_t pid) {
        int status = 0;
        pid_t rc = waitpid(pid, &status, WNOHANG);
        return rc == pid || (rc < 0 && errno == ECHILD);
    };
    detachedChildren.erase(std::remove_if(detachedChildren.begin(), detachedChildren.end(), ended),
                           detachedChildren.end());
}

} // namespace platform
