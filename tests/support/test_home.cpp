#include "test_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
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

TempHome::TempHome() : path_(MakeTempFolder())
{
    const char* home = std::getenv("HOME");
    hadHome_ = home != nullptr;
    if (hadHome_) {
        savedHome_ = home;
    }
    setenv("HOME", path_.c_str(), 1);
}

TempHome::~TempHome()
{
    if (hadHome_) {
        setenv("HOME", savedHome_.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempHome::file(const std::string& relative) const { return path_ + "/" + relative; }

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
