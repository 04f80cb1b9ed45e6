#include "stand_ins.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "oslib/descriptors.h"

namespace bench {

namespace {

// Forks one sleeper whose argv[0] reads like a desktop helper's command line, and returns
// once it has exec'd (the close-on-exec pipe reaches end of file), or -1.
pid_t StartSleeper(int number)
{
    char name[160];
    std::snprintf(name, sizeof name,
                  "/opt/Stand In/lib/helper-%03d --type=utility --lang=en-US --field-trial-handle=%d,i,%d", number,
                  number * 7919, number * 104729);
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(1);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        char* argv[] = {name, const_cast<char*>("3600"), nullptr};
        execv("/bin/sleep", argv);
        _exit(127);
    }
    close(ready[1]);
    char byte = 0;
    while (pid > 0 && read(ready[0], &byte, 1) > 0) {
    }
    close(ready[0]);
    return pid;
}

} // namespace

int CountProcesses()
{
    int count = 0;
    if (oslib::UniqueFolder proc{opendir("/proc")}) {
        while (dirent* entry = readdir(proc.get())) {
            count += std::isdigit(static_cast<unsigned char>(entry->d_name[0])) ? 1 : 0;
        }
    }
    return count;
}

StandIns::StandIns(int total)
{
    for (int missing = total - CountProcesses(); missing > 0; --missing) {
        pid_t pid = StartSleeper(started());
        if (pid < 0) {
            break;
        }
        pids_.push_back(pid);
    }
}

StandIns::~StandIns()
{
    for (pid_t pid : pids_) {
        kill(pid, SIGKILL);
    }
    for (pid_t pid : pids_) {
        waitpid(pid, nullptr, 0);
    }
}

} // namespace bench
