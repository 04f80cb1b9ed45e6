// A HOME as the agent's start-up leaves it, in memory where possible (the log syncs every line).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "main/main.h"
#include "oslib/configuration.h"

#define FUZZ_CHECK(condition) ((condition) ? void() : std::abort())

inline const std::string& FuzzHome()
{
    // Never destroyed: the exit handler still needs it.
    static const std::string& home = *new std::string([] {
        std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tidewell-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(path.data()) != nullptr);
        oslib::Configuration configuration;
        configuration.home = path;
        configuration.applicationsFolder = path + "/Applications";
        oslib::InstallConfiguration(configuration);
        for (const char* folder : {".local/share/Quenlar", ".local/state/Quenlar", ".config/Quenlar"}) {
            std::filesystem::create_directories(path + "/" + folder);
        }
        BuildListPaths();
        std::atexit([] { std::filesystem::remove_all(FuzzHome()); });
        return path;
    }());
    return home;
}

inline void WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
    FUZZ_CHECK(std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size).flush());
}
