// What the C++ tests share: a temporary HOME and folders, environment variables set for a
// scope, file helpers and polling.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// Sets an environment variable, or unsets it for a null value, and puts back its earlier state.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// A temporary HOME for one test: created empty, removed with everything in it.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;
    // The agent's log file, and what it holds so far.
    std::string LogPath() const;
    std::string Log() const;

private:
    std::string path_;
    ScopedEnv homeEnv_;
};

// A temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
void MakeFolders(const std::string& path);
// Sets the file's modification time to `seconds` since the epoch.
void SetFileTime(const std::string& path, double seconds);
// How often `part` occurs in `text`, overlapping occurrences included.
size_t Count(const std::string& text, const std::string& part);
// Polls `done` every 10 ms until it holds or `timeout` has passed; returns its last answer.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
