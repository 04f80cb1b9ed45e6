#include "process.h"

#include <algorithm>
#include <cerrno>
#include <sys/wait.h>

#include "oslib/mutex.h"
#include "oslib/spawn.h"

namespace platform {

namespace {

class DetachedChildren final : public Launcher {
public:
    bool SpawnDetached(const std::string& path, const std::vector<std::string>& args) override
    {
        std::vector<std::string> argv{path};
        argv.insert(argv.end(), args.begin(), args.end());
        oslib::MutexLock guard(lock_);
        // Room first: a child that started must be remembered, or it is never reaped.
        children_.reserve(children_.size() + 1);
        oslib::Child child;
        int rc = oslib::Spawn(argv, oslib::ChildStream::kDiscarded, oslib::ChildStream::kDiscarded, child);
        if (rc != 0) {
            errno = rc;
            return false;
        }
        children_.push_back(child.pid);
        return true;
    }

    void ReapDetachedChildren() override
    {
        oslib::MutexLock guard(lock_);
        auto ended = [](pid_t pid) {
            int status = 0;
            pid_t rc = waitpid(pid, &status, WNOHANG);
            return rc == pid || (rc < 0 && errno == ECHILD);
        };
        children_.erase(std::remove_if(children_.begin(), children_.end(), ended), children_.end());
    }

private:
    // Guards the list alone: nothing under it takes another lock.
    oslib::Mutex lock_;
    std::vector<pid_t> children_ GUARDED_BY(lock_);
};

} // namespace

std::unique_ptr<Launcher> MakeSystemLauncher() { return std::make_unique<DetachedChildren>(); }

} // namespace platform
