// The cost of one log line as the agent writes it under _lock, against a plain write(2) of
// the same entry to a file in the same folder, and against the way each line was written
// before (open, status, write, sync, close). Prints one JSON line of medians (microseconds).
//
//   bench_log [lines per sample, default 200] [samples, default 25]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "oslib/configuration.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"

namespace {

double Micros()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

// Median of `samples` timings of `lines` calls, per call.
double PerLine(int lines, int samples, const std::function<void()>& line)
{
    line();
    std::vector<double> perLine;
    for (int sample = 0; sample < samples; ++sample) {
        double start = Micros();
        for (int i = 0; i < lines; ++i) {
            line();
        }
        perLine.push_back((Micros() - start) / lines);
    }
    std::nth_element(perLine.begin(), perLine.begin() + samples / 2, perLine.end());
    return perLine[samples / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int lines = std::max(argc > 1 ? std::atoi(argv[1]) : 200, 1);
    int samples = std::max(argc > 2 ? std::atoi(argv[2]) : 25, 1);

    char home[] = "/tmp/tidewell-bench-XXXXXX";
    if (mkdtemp(home) == nullptr) {
        return 1;
    }
    oslib::Configuration configuration;
    configuration.home = home;
    oslib::InstallConfiguration(configuration);
    // The system log's half of a line goes nowhere: its cost is the journal's.
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    double logLine = 0;
    {
        oslib::UserFolders folders;
        logLine = PerLine(lines, samples, [] { TW_LOG(3, "CollectVariousList Result fw=%d pl=%d\n", 0, 0); });
        SyncLog();
    }
    const std::string entry = "[2026/12/07 10:00:00][INF] CollectVariousList Result fw=0 pl=0\n";
    const std::string plain = oslib::SupportFolder() + "plain.log";
    int file = open(plain.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    double write2 = PerLine(lines, samples, [&] { (void)!write(file, entry.data(), entry.size()); });
    close(file);
    double before = PerLine(lines / 10 + 1, samples, [&] {
        int each = open(plain.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        fstat(each, &info);
        (void)!write(each, entry.data(), entry.size());
        fsync(each);
        close(each);
    });
    std::filesystem::remove_all(home);
    std::printf("{\"line_us\": %.2f, \"write_us\": %.2f, \"before_us\": %.1f}\n", logLine, write2, before);
    return 0;
}
