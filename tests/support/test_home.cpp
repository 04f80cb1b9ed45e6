#include "test_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

std::string MakeTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tidewell-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    return pattern;
}

} // namespace

TempHome::TempHome() : path_(MakeTempFolder()), homeEnv_("HOME", path_) {}

TempHome::~TempHome()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempHome::file(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempHome::LogPath() const { return file("Library/Application Support/Quenlar/Tidewell.log"); }

std::string TempHome::Log() const { return ReadFileText(LogPath()); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        saved_ = old;
    }
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv()
{
    if (saved_) {
        setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

TempDir::TempDir() : path_(MakeTempFolder()) {}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileText(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

void MakeFolders(const std::string& path) { fs::create_directories(path); }

void SetFileTime(const std::string& path, double seconds)
{
    struct utimbuf times {};
    times.actime = static_cast<time_t>(seconds);
    times.modtime = static_cast<time_t>(seconds);
    utime(path.c_str(), &times);
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
