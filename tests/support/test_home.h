// Temporary folders and HOME, scoped configurations and environment variables, file helpers and polling.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utime.h>

#include "oslib/configuration.h"

// Installs what `change` makes of the installed seam; puts that back at the end.
template <typename Seam, const Seam& (*Installed)(), Seam (*Install)(Seam)>
class Scoped {
public:
    explicit Scoped(const std::function<void(Seam&)>& change)
    {
        Seam changed = Installed();
        change(changed);
        previous_ = Install(std::move(changed));
    }
    ~Scoped() { Install(std::move(previous_)); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    Seam previous_;
};
using ScopedConfiguration = Scoped<oslib::Configuration, oslib::Configured, oslib::InstallConfiguration>;

// For what a child reads from its environment.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), had_(std::getenv(name) != nullptr), saved_(had_ ? std::getenv(name) : "")
    {
        Set(name, value);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { Set(name_.c_str(), had_ ? saved_.c_str() : nullptr); }

private:
    static void Set(const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); }
    std::string name_;
    bool had_;
    std::string saved_;
};

inline std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void MakeFolders(const std::string& path) { std::filesystem::create_directories(path); }

inline void WriteFileText(const std::string& path, const std::string& text)
{
    MakeFolders(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class TempDir {
public:
    TempDir() { EXPECT_NE(nullptr, mkdtemp(path_.data())); }
    ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
    const std::string& path() const { return path_; }

private:
    std::string path_ = (std::filesystem::temp_directory_path() / "tidewell-test-XXXXXX").string();
    std::error_code ignored_;
};

class TempHome : public TempDir {
public:
    std::string file(const std::string& relative) const { return path() + "/" + relative; }
    std::string LogPath() const { return file(".local/state/Quenlar/Tidewell.log"); }
    std::string Log() const { return ReadFileText(LogPath()); }

private:
    ScopedConfiguration homeConfigured_{[this](oslib::Configuration& c) { c.home = path(); }};
};

// The permission bits of the file at path itself (a symlink's own).
inline unsigned Mode(const std::string& path) { return unsigned(std::filesystem::symlink_status(path).permissions()); }

inline void SetFileTime(const std::string& path, double seconds)
{
    const utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    utime(path.c_str(), &times);
}

inline size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Polls every 10 ms until `done` holds or `timeout` has passed; returns a last answer.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}
