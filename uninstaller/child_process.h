// Child programs run to their end with one output stream captured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace uninstaller {

// kStdoutAlone: standard output, and standard error discarded.
enum class Captured { kStdout, kStderr, kStdoutAlone };

// What is kept of a captured stream: its end, where a result or the last error stands.
constexpr size_t kCapturedBytes = 64 * 1024;

struct ChildResult {
    bool started = false;
    int waitError = 0;  // the error of a failed wait: the child's status is unknown
    int status = 0;     // as from waitpid
    std::string output; // the last kCapturedBytes of the captured stream
};

// Starts argv[0] (a full path, or a name looked up in PATH) as oslib::Spawn does, collects
// the chosen stream through a pipe while the other streams stay the caller's, and reaps
// the child.
ChildResult RunChild(const std::vector<std::string>& argv, Captured captured);

// Why the child failed: "Cannot start <program>", "Cannot wait for <program>: <error>",
// "killed by signal N" or "exit status N"; empty when it exited with status 0.
std::string ChildFailure(const ChildResult& child, const std::string& program);

} // namespace uninstaller
