// What the fuzz targets share: a private HOME laid out as the agent's start-up leaves it,
// and the input written to a file there. The HOME sits on a memory file system where one
// is available, because the log file is synced after every line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "main/main.h"
#include "platform/user_folders.h"

inline const std::string& FuzzHome()
{
    // Never destroyed: the exit handler below still needs it.
    static const std::string& home = *new std::string([] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/tidewell-fuzz-XXXXXX" : "/tmp/tidewell-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        setenv("HOME", pattern.c_str(), 1);
        for (const char* folder : {"/Library/Quenlar", "/Library/Application Support/Quenlar", "/Library/Preferences"}) {
            platform::CreateFolderWithParents(pattern + folder);
        }
        BuildListPaths();
        std::atexit([] { std::filesystem::remove_all(FuzzHome()); });
        return pattern;
    }());
    return home;
}

inline void WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// Aborts (a finding) when an expectation of the target does not hold.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
