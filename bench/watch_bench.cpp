// One application watch on a machine with many processes: the agent's /proc pass against
// the seven "ps -ax | grep -E" pipelines it replaces, side by side in one run. Prints one
// JSON line of medians (CPU and wall milliseconds).
//
//   bench_watch [total processes, default 500] [agent runs, default 50] [pipeline runs, default 7]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "dataCollector/app_table.h"
#include "platform/backends.h"
#include "stand_ins.h"

namespace {

double Millis(const timespec& t) { return t.tv_sec * 1e3 + t.tv_nsec / 1e6; }
double Millis(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

double Clock(clockid_t id)
{
    timespec now{};
    clock_gettime(id, &now);
    return Millis(now);
}

// CPU of this process and of every child it has waited for (their own waited-for
// children included), in milliseconds.
double CpuWithChildren()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return Clock(CLOCK_PROCESS_CPUTIME_ID) + Millis(children.ru_utime) + Millis(children.ru_stime);
}

// The share of this process's CPU time spent in the kernel between two readings.
double KernelShare(const rusage& before, const rusage& after)
{
    double user = Millis(after.ru_utime) - Millis(before.ru_utime);
    double system = Millis(after.ru_stime) - Millis(before.ru_stime);
    return user + system > 0 ? system / (user + system) : 0;
}

struct Sample {
    double cpu;
    double wall;
};

// Medians of CPU and wall time over `runs` calls, after one call that warms caches up.
Sample Measure(int runs, const std::function<void()>& work)
{
    work();
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < runs; ++i) {
        double cpu0 = CpuWithChildren();
        double wall0 = Clock(CLOCK_MONOTONIC);
        work();
        wall.push_back(Clock(CLOCK_MONOTONIC) - wall0);
        cpu.push_back(CpuWithChildren() - cpu0);
    }
    auto median = [](std::vector<double>& values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return {median(cpu), median(wall)};
}

// The search as the system it was written for runs it: one pipeline per row, of which
// only the first line is read (testing it costs nothing beside the pipeline).
void SearchWithPipelines(const AppExecStatus (&table)[kWatchedApps])
{
    for (const AppExecStatus& row : table) {
        std::string command = "ps -ax | grep -E '" + row.bundleName + "/Contents/MacOS/" + row.execName + "'";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char line[512];
            bool read = std::fgets(line, sizeof line, pipe) != nullptr;
            (void)read;
            pclose(pipe);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    int total = argc > 1 ? std::atoi(argv[1]) : 500;
    int agentRuns = std::max(argc > 2 ? std::atoi(argv[2]) : 50, 1);
    int pipelineRuns = std::max(argc > 3 ? std::atoi(argv[3]) : 7, 1);

    platform::InstallBackends(platform::SystemBackends());
    bench::StandIns standIns(total);
    int processes = bench::CountProcesses();

    AppExecStatus table[kWatchedApps];
    copyAPStatus(table);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    Sample agent = Measure(agentRuns, [&table] { searchProcess(table); });
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    Sample pipelines = Measure(pipelineRuns, [&table] { SearchWithPipelines(table); });

    std::printf("{\"processes\": %d, \"stand_ins\": %d, \"agent_cpu_ms\": %.3f, \"agent_wall_ms\": %.3f, "
                "\"agent_kernel_share\": %.3f, \"pipelines_cpu_ms\": %.3f, \"pipelines_wall_ms\": %.3f}\n",
                processes, standIns.started(), agent.cpu, agent.wall, KernelShare(before, after), pipelines.cpu,
                pipelines.wall);
    return 0;
}
